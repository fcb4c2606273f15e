#include "card/font.h"
#include "card/sjis.h"

#include <QFontMetricsF>
#include <QHash>

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
    // the IPA faces, proportional for the P face and fixed for the other.
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
}

QFont WindowFont()
{
    installFontSubstitutions();
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    return f;
}

namespace {

// A positive toolkit height is the cell height (ascent + descent); Qt sizes
// fonts by the em. The ratio is a property of the face, measured once.
double emPerCell(const QFont &face)
{
    static QHash<QString, double> cache;
    auto it = cache.constFind(face.family());
    if (it != cache.constEnd())
        return *it;
    QFont probe = face;
    probe.setPixelSize(1000);
    QFontMetricsF fm(probe);
    double cell = fm.ascent() + fm.descent();
    double ratio = cell > 0 ? 1000.0 / cell : 1.0;
    cache.insert(face.family(), ratio);
    return ratio;
}

} // namespace

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
                              : static_cast<long long>(height * emPerCell(f));
    if (px > kLargest)
        px = kLargest;
    // Qt refuses a pixel size of 0; such a font draws nothing readable anyway.
    f.setPixelSize(px > 0 ? static_cast<int>(px) : 1);
    return f;
}
