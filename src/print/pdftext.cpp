#include "print/pdftext.h"

#include "card/sjis.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char16_t kFirstRadical = 0x2E80, kLastRadical = 0x2FDF;

// Which code points of the basic plane card text can hold: the characters
// code page 932 draws (not its control characters).
std::vector<bool> cardCharacters()
{
    // Every one-byte character and every two-byte code; a code the page does
    // not assign decodes as U+FFFD, and its trail byte on its own.
    std::string codes;
    for (int b = 0x20; b < 0x7F; ++b)
        codes += char(b);
    for (int b = 0xA1; b < 0xE0; ++b)
        codes += char(b);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!sjis::isLeadByte(uchar(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            codes += char(lead);
            codes += char(trail);
        }
    }
    std::vector<bool> card(0x10000, false);
    for (const QChar c : sjis::toUnicode(codes))
        if (c.unicode() != 0xFFFD && c.category() != QChar::Other_Control && !c.isSurrogate())
            card[c.unicode()] = true;
    return card;
}

// The card character each code point of a text map stands for, where the two
// differ. Qt writes for a glyph the lowest code point its font draws with it:
// a code point code page 932 lacks, written for the glyph of a card
// character, stands for that character (a space written as U+0009, as Qt
// draws tabs with the space; 　 as U+2003; ～ as 〜 U+301C; ・ as U+2027; a
// kanji as its radical, since Noto CJK draws the CJK radicals U+2E80..U+2FDF
// with the glyphs of their kanji). The Kangxi radicals decompose to their
// kanji whatever the face; the rest is found as the engine found it, in the
// faces the stored face names draw with. Code points with neither stay.
const QHash<char16_t, char16_t> &cardCharacterOf()
{
    static const QHash<char16_t, char16_t> table = [] {
        QHash<char16_t, char16_t> t;
        for (char16_t r = kFirstRadical; r <= kLastRadical; ++r) {
            const QString k = QString(QChar(r)).normalized(QString::NormalizationForm_KC);
            if (k.size() == 1 && k[0].unicode() != r)
                t.insert(r, k[0].unicode());
        }
        // QRawFont needs the font database, which needs the application.
        if (!QGuiApplication::instance())
            return t;
        const std::vector<bool> card = cardCharacters();
        // The whole plane, U+0001 first; no surrogate, so one glyph each.
        QString plane;
        plane.reserve(0xFFFF);
        for (char32_t u = 1; u < 0x10000; ++u)
            plane += QChar(QChar::isSurrogate(u) ? char16_t(0xFFFF) : char16_t(u));
        // The Mono cut maps as the proportional one.
        for (const char *family : {"Noto Sans CJK JP", "Noto Serif CJK JP"}) {
            const QRawFont raw = QRawFont::fromFont(QFont(QString::fromLatin1(family)));
            if (!raw.isValid() || !raw.familyName().startsWith(QLatin1String("Noto")))
                continue;
            const QList<quint32> glyphs = raw.glyphIndexesForString(plane);
            // The lowest code point and the lowest card character of each
            // glyph (a font has at most 65535).
            std::vector<char16_t> lowest(0x10000, 0), lowestCard(0x10000, 0);
            for (qsizetype i = 0; i < glyphs.size(); ++i) {
                const char16_t u = char16_t(i + 1);
                const quint32 g = glyphs[i];
                if (g == 0 || g >= 0x10000 || QChar::isSurrogate(u))
                    continue;
                if (lowest[g] == 0)
                    lowest[g] = u;
                if (card[u] && lowestCard[g] == 0)
                    lowestCard[g] = u;
            }
            for (std::size_t g = 0; g < lowest.size(); ++g) {
                const char16_t written = lowest[g];
                if (written != 0 && !card[written] && lowestCard[g] != 0 && !t.contains(written))
                    t.insert(written, lowestCard[g]);
            }
        }
        return t;
    }();
    return table;
}

// A ToUnicode map as Qt writes it: hex strings, arrays and keywords.
class CMapReader
{
public:
    CMapReader(const char *text, qsizetype size) : s(text), n(size) {}

    // The next token, or false at the end. A hex string <...> comes back as
    // its digits, with `hex` set and `at` their offset.
    bool Next(QByteArrayView &token, bool &hex, qsizetype &at)
    {
        while (pos < n && QChar::isSpace(uchar(s[pos])))
            ++pos;
        if (pos >= n)
            return false;
        const qsizetype start = pos;
        hex = s[pos] == '<' && (pos + 1 >= n || s[pos + 1] != '<');
        if (hex) {
            qsizetype end = pos + 1;
            while (end < n && s[end] != '>')
                ++end;
            if (end >= n)
                return false;
            pos = end + 1;
            at = start + 1;
            token = QByteArrayView(s + at, end - at);
            return true;
        }
        // Brackets, and a dictionary's "<<" or ">>", a character at a time.
        if (s[pos] == '[' || s[pos] == ']' || s[pos] == '<' || s[pos] == '>') {
            ++pos;
        } else {
            while (pos < n && !QChar::isSpace(uchar(s[pos])) && s[pos] != '<' && s[pos] != '[' &&
                   s[pos] != ']')
                ++pos;
        }
        at = start;
        token = QByteArrayView(s + start, pos - start);
        return true;
    }

private:
    const char *s;
    qsizetype n;
    qsizetype pos = 0;
};

// Rewrites one code point of four hex digits at `digits`, when it stands for
// another card character, with that character's four digits.
void fixCodePoint(char *digits)
{
    bool ok = false;
    const uint unit = QByteArray(digits, 4).toUInt(&ok, 16);
    if (!ok)
        return;
    const auto &table = cardCharacterOf();
    const auto it = table.constFind(char16_t(unit));
    if (it == table.constEnd())
        return;
    const QByteArray character = QByteArray::number(uint(*it), 16).toUpper().rightJustified(4, '0');
    std::copy(character.begin(), character.end(), digits);
}

} // namespace

void FixTextMapInPlace(char *cmap, qsizetype size)
{
    CMapReader r(cmap, size);
    QByteArrayView t;
    bool hex = false;
    qsizetype at = 0;
    auto next = [&] { return r.Next(t, hex, at); };
    while (next()) {
        if (hex || (t != "beginbfchar" && t != "beginbfrange"))
            continue;
        const bool range = t == "beginbfrange";
        const QByteArrayView end = range ? "endbfrange" : "endbfchar";
        while (next() && !(!hex && t == end)) {
            // bfchar: <code> <text>; bfrange: <lo> <hi> <text> or [<text> ...].
            if (!hex)
                return;
            const QByteArrayView lo = t;
            QByteArrayView hi = t;
            if (range) {
                if (!next() || !hex)
                    return;
                hi = t;
            }
            if (!next())
                return;
            if (!hex && t == "[") {
                while (next() && hex)
                    if (t.size() == 4)
                        fixCodePoint(cmap + at);
                if (hex || t != "]")
                    return;
            } else if (hex && t.size() == 4 && lo == hi) {
                // A run of codes over such a code point would need a run of
                // the characters, which their order does not give: only one
                // code.
                fixCodePoint(cmap + at);
            }
        }
    }
}

PdfTextMapFilter::PdfTextMapFilter(QIODevice &target) : target(target)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 PdfTextMapFilter::writeData(const char *data, qint64 size)
{
    static constexpr QByteArrayView kBegin = "begincmap", kEnd = "endcmap";
    // A map is a few kilobytes; a "map" longer than this is not one of ours.
    constexpr qsizetype kLongestMap = 4 << 20;
    held.append(data, size);
    for (;;) {
        if (!inMap) {
            const qsizetype begin = held.indexOf(kBegin);
            if (begin < 0) {
                // The start of a marker split across writes stays behind.
                const qsizetype pass = std::max<qsizetype>(0, held.size() - kBegin.size() + 1);
                forward(pass);
                return size;
            }
            forward(begin);
            inMap = true;
        }
        const qsizetype end = held.indexOf(kEnd);
        if (end < 0) {
            if (held.size() > kLongestMap) {
                forward(held.size());
                inMap = false;
            }
            return size;
        }
        FixTextMapInPlace(held.data(), end);
        forward(end + kEnd.size());
        inMap = false;
    }
}

void PdfTextMapFilter::Flush()
{
    forward(held.size());
    inMap = false;
}

void PdfTextMapFilter::forward(qsizetype n)
{
    if (n <= 0)
        return;
    target.write(held.constData(), n);
    held.remove(0, n);
}
