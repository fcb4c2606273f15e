#include "print/pdftext.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <algorithm>

namespace {

constexpr char16_t kFirstRadical = 0x2E80, kLastRadical = 0x2FDF;

bool isRadical(char16_t c)
{
    return c >= kFirstRadical && c <= kLastRadical;
}

// The kanji each radical stands for. The Kangxi radicals decompose to their
// kanji; the supplement's mostly do not, so those are found as the engine
// found them: the unified ideograph the Noto faces draw with the same glyph.
// Radicals with neither stay as they are.
const QHash<char16_t, char16_t> &kanjiOfRadicals()
{
    static const QHash<char16_t, char16_t> table = [] {
        QHash<char16_t, char16_t> t;
        QString radicals;
        for (char16_t r = kFirstRadical; r <= kLastRadical; ++r) {
            const QString k = QString(QChar(r)).normalized(QString::NormalizationForm_KC);
            if (k.size() == 1 && k[0].unicode() != r)
                t.insert(r, k[0].unicode());
            else
                radicals += QChar(r);
        }
        // QRawFont needs the font database, which needs the application.
        if (radicals.isEmpty() || !QGuiApplication::instance())
            return t;
        QString kanji;
        for (char16_t k = 0x4E00; k <= 0x9FFF; ++k)
            kanji += QChar(k);
        for (const char *family : {"Noto Sans CJK JP", "Noto Serif CJK JP"}) {
            const QRawFont raw = QRawFont::fromFont(QFont(QString::fromLatin1(family)));
            if (!raw.isValid() || !raw.familyName().startsWith(QLatin1String("Noto")))
                continue;
            QHash<quint32, char16_t> byGlyph;
            const QList<quint32> glyphs = raw.glyphIndexesForString(kanji);
            for (qsizetype i = glyphs.size() - 1; i >= 0; --i)
                if (glyphs[i] != 0)
                    byGlyph.insert(glyphs[i], kanji[i].unicode());
            const QList<quint32> radicalGlyphs = raw.glyphIndexesForString(radicals);
            for (qsizetype i = 0; i < radicalGlyphs.size(); ++i) {
                const char16_t r = radicals[i].unicode();
                const auto it = byGlyph.constFind(radicalGlyphs[i]);
                if (radicalGlyphs[i] != 0 && it != byGlyph.constEnd() && !t.contains(r))
                    t.insert(r, *it);
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

// Rewrites one code point of four hex digits at `digits`, when it is a
// radical standing for a kanji, with that kanji's four digits.
void fixCodePoint(char *digits)
{
    bool ok = false;
    const uint unit = QByteArray(digits, 4).toUInt(&ok, 16);
    if (!ok || !isRadical(char16_t(unit)))
        return;
    const auto &table = kanjiOfRadicals();
    const auto it = table.constFind(char16_t(unit));
    if (it == table.constEnd())
        return;
    const QByteArray kanji = QByteArray::number(uint(*it), 16).toUpper().rightJustified(4, '0');
    std::copy(kanji.begin(), kanji.end(), digits);
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
                // A run of codes over a radical would need a run of kanji,
                // which the radicals' order does not give: only one code.
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
