#include "card/font.h"
#include "card/sjis.h"

#include <QFontMetricsF>
#include <QHash>
#include <QRawFont>
#include <QStringList>
#include <cmath>

std::string Font::defaultFaceName()
{
    // "ＭＳ Ｐゴシック" in code page 932.
    return "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
}

void installFontSubstitutions()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The stored face names stay as they are (files keep them); drawing uses
    // Noto CJK, which has a real bold, and the IPA faces where Noto is not
    // installed. The fixed-pitch gothic faces draw with the Mono cut: its Latin
    // letters and digits are half-width like theirs, so a text laid out in
    // columns with blanks keeps its columns and its width. No fixed-pitch
    // serif cut exists, so the fixed mincho faces share the proportional one.
    const QStringList gothic = {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic")};
    const QStringList fixedGothic = {QStringLiteral("Noto Sans Mono CJK JP"),
                                     QStringLiteral("IPAGothic")};
    const QStringList mincho = {QStringLiteral("Noto Serif CJK JP"), QStringLiteral("IPAPMincho")};
    const QStringList fixedMincho = {QStringLiteral("Noto Serif CJK JP"),
                                     QStringLiteral("IPAMincho")};
    const struct
    {
        const char *face;
        const QStringList &drawnWith;
    } faces[] = {
        {"ＭＳ Ｐゴシック", gothic}, {"ＭＳ ＵＩ Gothic", gothic},   {"MS PGothic", gothic},
        {"MS UI Gothic", gothic},    {"メイリオ", gothic},           {"Meiryo", gothic},
        {"Meiryo UI", gothic},       {"游ゴシック", gothic},         {"Yu Gothic", gothic},
        {"Yu Gothic UI", gothic},    {"ＭＳ ゴシック", fixedGothic}, {"MS Gothic", fixedGothic},
        {"ＭＳ Ｐ明朝", mincho},     {"MS PMincho", mincho},         {"游明朝", mincho},
        {"Yu Mincho", mincho},       {"ＭＳ 明朝", fixedMincho},     {"MS Mincho", fixedMincho},
    };
    for (const auto &f : faces)
        QFont::insertSubstitutions(QString::fromUtf8(f.face), f.drawnWith);
}

QFont WindowFont()
{
    installFontSubstitutions();
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    return f;
}

namespace {

// What the face that draws a family says of its lines, read once a family:
// the part of the em above the baseline of its ideographic em box (negative
// when it declares none, from its OS/2 and head tables), and the ems in its
// cell (a positive toolkit height is the cell height, ascent + descent, and
// Qt sizes fonts by the em; an em box is the cell).
struct FaceLines
{
    double boxAscent = -1;
    double emPerCell = 1;
};

const FaceLines &faceLines(const QFont &face)
{
    static QHash<QString, FaceLines> cache;
    auto it = cache.constFind(face.family());
    if (it != cache.constEnd())
        return *it;
    QFont probe = face;
    probe.setPixelSize(1000);
    FaceLines lines;
    const QRawFont raw = QRawFont::fromFont(probe);
    const QByteArray os2 = raw.fontTable("OS/2"), head = raw.fontTable("head");
    auto be16 = [](const QByteArray &table, int offset) {
        return static_cast<std::int16_t>((static_cast<unsigned char>(table[offset]) << 8) |
                                         static_cast<unsigned char>(table[offset + 1]));
    };
    if (os2.size() >= 74 && head.size() >= 20) {
        const int unitsPerEm = static_cast<std::uint16_t>(be16(head, 18));
        const int typoAscender = be16(os2, 68), typoDescender = be16(os2, 70),
                  typoLineGap = be16(os2, 72);
        if (unitsPerEm > 0 && typoAscender > 0 && typoDescender <= 0 && typoLineGap == 0 &&
            typoAscender - typoDescender == unitsPerEm)
            lines.boxAscent = static_cast<double>(typoAscender) / unitsPerEm;
    }
    if (lines.boxAscent <= 0) {
        const QFontMetricsF fm(probe);
        const double cell = fm.ascent() + fm.descent();
        lines.emPerCell = cell > 0 ? 1000.0 / cell : 1.0;
    }
    return *cache.insert(face.family(), lines);
}

} // namespace

LineBox MeasureLineBox(const QFont &drawn, const QFontMetrics &fm)
{
    const double ascent = faceLines(drawn).boxAscent;
    const int em = drawn.pixelSize();
    if (ascent <= 0 || em <= 0)
        return {fm.ascent(), fm.height()};
    const int above = static_cast<int>(std::lround(em * ascent));
    return {above, above + static_cast<int>(std::lround(em * (1.0 - ascent)))};
}

QFont Font::toQFont() const
{
    installFontSubstitutions();
    QFont f(sjis::toUnicode(name));
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeout);
    if (pitch == Pitch::Fixed) {
        f.setFixedPitch(true);
        f.setStyleHint(QFont::TypeWriter);
    }
    // Far beyond any page; only a damaged file holds such heights.
    constexpr long long kLargest = 1 << 16;
    long long px = height < 0 ? -static_cast<long long>(height)
                              : static_cast<long long>(height * faceLines(f).emPerCell);
    if (px > kLargest)
        px = kLargest;
    // Qt refuses a pixel size of 0; such a font draws nothing readable anyway.
    f.setPixelSize(px > 0 ? static_cast<int>(px) : 1);
    return f;
}
