#include "print/pdftext.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <map>
#include <optional>
#include <vector>

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
    explicit CMapReader(const QByteArray &text) : s(text) {}

    // The next token, or nullopt at the end; `hex` is set for <...>.
    std::optional<QByteArray> Next(bool &hex)
    {
        while (pos < s.size() && QChar::isSpace(uchar(s[pos])))
            ++pos;
        if (pos >= s.size())
            return std::nullopt;
        const qsizetype start = pos;
        hex = s[pos] == '<' && (pos + 1 >= s.size() || s[pos + 1] != '<');
        if (hex) {
            const qsizetype end = s.indexOf('>', pos);
            if (end < 0)
                return std::nullopt;
            pos = end + 1;
            return s.mid(start + 1, end - start - 1);
        }
        if (s[pos] == '[' || s[pos] == ']') {
            ++pos;
            return s.mid(start, 1);
        }
        // A dictionary's "<<" or ">>" is taken a character at a time.
        if (s[pos] == '<' || s[pos] == '>') {
            ++pos;
            return s.mid(start, 1);
        }
        while (pos < s.size() && !QChar::isSpace(uchar(s[pos])) && s[pos] != '<' && s[pos] != '[' &&
               s[pos] != ']')
            ++pos;
        return s.mid(start, pos - start);
    }
    qsizetype Pos() const { return pos; }

private:
    const QByteArray &s;
    qsizetype pos = 0;
};

std::optional<QString> utf16OfHex(const QByteArray &hex)
{
    if (hex.isEmpty() || hex.size() % 4 != 0)
        return std::nullopt;
    QString out;
    for (qsizetype i = 0; i < hex.size(); i += 4) {
        bool ok = false;
        const uint unit = hex.mid(i, 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        out += QChar(char16_t(unit));
    }
    return out;
}

QByteArray hex4(uint v)
{
    return QByteArray::number(v, 16).toUpper().rightJustified(4, '0');
}

// The map with radicals replaced, or nullopt when it needs no change or is
// not the kind of map Qt writes (codes of two bytes).
std::optional<QByteArray> fixCMap(const QByteArray &cmap)
{
    std::map<uint, QString> map;
    CMapReader r(cmap);
    qsizetype firstBlock = -1, afterLast = -1;
    bool hex = false;
    auto code = [&](bool isHex, const std::optional<QByteArray> &t) -> std::optional<uint> {
        bool ok = false;
        const uint v = t && isHex && t->size() == 4 ? t->toUInt(&ok, 16) : 0;
        return ok ? std::optional<uint>(v) : std::nullopt;
    };
    while (auto t = r.Next(hex)) {
        if (hex || (*t != "beginbfchar" && *t != "beginbfrange"))
            continue;
        if (firstBlock < 0)
            firstBlock = cmap.lastIndexOf('\n', r.Pos() - t->size()) + 1;
        const bool range = *t == "beginbfrange";
        const QByteArray end = range ? "endbfrange" : "endbfchar";
        for (;;) {
            bool h = false;
            auto first = r.Next(h);
            if (!first)
                return std::nullopt;
            if (!h && *first == end)
                break;
            const auto lo = code(h, first);
            std::optional<uint> hi = lo;
            if (range)
                hi = code(h, r.Next(h));
            auto dst = r.Next(h);
            if (!lo || !hi || *hi < *lo || !dst)
                return std::nullopt;
            if (range && !h && *dst == "[") {
                for (uint c = *lo;; ++c) {
                    auto item = r.Next(h);
                    if (!item)
                        return std::nullopt;
                    if (!h && *item == "]")
                        break;
                    const auto s = h ? utf16OfHex(*item) : std::nullopt;
                    if (!s)
                        return std::nullopt;
                    map[c] = *s;
                }
                continue;
            }
            auto s = h ? utf16OfHex(*dst) : std::nullopt;
            if (!s)
                return std::nullopt;
            for (uint c = *lo; c <= *hi; ++c) {
                map[c] = *s;
                (*s)[s->size() - 1] = QChar(char16_t((*s)[s->size() - 1].unicode() + 1));
            }
        }
        afterLast = r.Pos();
    }
    if (firstBlock < 0)
        return std::nullopt;
    bool changed = false;
    const auto &table = kanjiOfRadicals();
    for (auto &[c, s] : map) {
        if (s.size() == 1 && isRadical(s[0].unicode())) {
            if (const auto it = table.constFind(s[0].unicode()); it != table.constEnd()) {
                s = QString(QChar(*it));
                changed = true;
            }
        }
    }
    if (!changed)
        return std::nullopt;
    QByteArray out = cmap.left(firstBlock);
    for (auto it = map.begin(); it != map.end();) {
        QByteArray block;
        int n = 0;
        for (; it != map.end() && n < 100; ++it, ++n) {
            block += '<' + hex4(it->first) + "> <";
            for (const QChar u : it->second)
                block += hex4(u.unicode());
            block += ">\n";
        }
        out += QByteArray::number(n) + " beginbfchar\n" + block + "endbfchar\n";
    }
    while (afterLast < cmap.size() && (cmap[afterLast] == '\r' || cmap[afterLast] == '\n'))
        ++afterLast;
    out += cmap.mid(afterLast);
    return out;
}

qsizetype skipEol(const QByteArray &s, qsizetype pos)
{
    if (pos < s.size() && s[pos] == '\r')
        ++pos;
    if (pos < s.size() && s[pos] == '\n')
        ++pos;
    return pos;
}

struct XrefEntry
{
    qint64 offset;
    QByteArray rest; // generation and kind, as written
    bool inUse;
};

struct Replacement
{
    qsizetype from, to; // the old object's bytes
    QByteArray bytes;
};

} // namespace

QByteArray FixPdfTextMaps(const QByteArray &pdf)
{
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0)
        return pdf;
    bool ok = false;
    const qsizetype xrefPos =
        pdf.mid(startxref + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    if (!ok || xrefPos <= 0 || xrefPos >= startxref || !pdf.mid(xrefPos).startsWith("xref"))
        return pdf;
    const qsizetype trailer = pdf.indexOf("trailer", xrefPos);
    if (trailer < 0 || trailer > startxref)
        return pdf;
    const QByteArray trailerText = pdf.mid(trailer, startxref - trailer);
    // Another section before this one (an update) would keep its old offsets.
    if (trailerText.contains("/Prev") || trailerText.contains("/XRefStm"))
        return pdf;

    // The table: subsections of "first count", then one line per object.
    struct Subsection
    {
        qint64 first;
        std::vector<XrefEntry> entries;
    };
    std::vector<Subsection> table;
    QHash<qint64, qint64> offsetOf;
    {
        const QList<QByteArray> lines = pdf.mid(xrefPos, trailer - xrefPos).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].simplified().split(' ');
            if (lines[i].trimmed().isEmpty())
                continue;
            if (f.size() != 2)
                return pdf;
            bool ok1 = false, ok2 = false;
            Subsection sub{f[0].toLongLong(&ok1), {}};
            const qint64 count = f[1].toLongLong(&ok2);
            if (!ok1 || !ok2 || count < 0 || i + count >= lines.size())
                return pdf;
            for (qint64 k = 0; k < count; ++k) {
                const QByteArray &line = lines[++i];
                if (line.size() < 18)
                    return pdf;
                XrefEntry e{line.left(10).toLongLong(&ok1), line.mid(10), line.at(17) == 'n'};
                if (!ok1)
                    return pdf;
                if (e.inUse)
                    offsetOf.insert(sub.first + k, e.offset);
                sub.entries.push_back(e);
            }
            table.push_back(std::move(sub));
        }
    }

    std::vector<Replacement> replacements;
    static const QRegularExpression length(
        QStringLiteral("^\\s*<<\\s*/Length\\s+(\\d+)\\s*>>\\s*$"));
    QList<qint64> seen;
    for (qsizetype ref = pdf.indexOf("/ToUnicode"); ref >= 0 && ref < xrefPos;
         ref = pdf.indexOf("/ToUnicode", ref + 1)) {
        const QList<QByteArray> f = pdf.mid(ref + 10, 32).simplified().split(' ');
        bool isNum = false;
        const qint64 num = f.value(0).toLongLong(&isNum);
        if (!isNum || f.value(1) != "0" || !f.value(2).startsWith('R') || seen.contains(num) ||
            !offsetOf.contains(num))
            continue;
        seen.append(num);
        const qsizetype at = offsetOf.value(num);
        const QByteArray head = QByteArray::number(num) + " 0 obj";
        const qsizetype stream = pdf.indexOf("stream", at);
        if (!pdf.mid(at).startsWith(head) || stream < 0 || stream >= xrefPos)
            continue;
        // Only a plain stream: a filtered or indirect length is not Qt's map.
        const auto lm =
            length.match(QString::fromLatin1(pdf.mid(at + head.size(), stream - at - head.size())));
        if (!lm.hasMatch())
            continue;
        const qsizetype data = skipEol(pdf, stream + 6);
        const qsizetype size = lm.captured(1).toLongLong();
        const qsizetype endobj = pdf.indexOf("endobj", data + size);
        if (data + size > xrefPos || endobj < 0 || endobj >= xrefPos)
            continue;
        const auto fixed = fixCMap(pdf.mid(data, size));
        if (!fixed)
            continue;
        const qsizetype to = skipEol(pdf, endobj + 6);
        replacements.push_back({at, to,
                                head + "\n<< /Length " + QByteArray::number(fixed->size()) +
                                    " >>\nstream\n" + *fixed + "\nendstream\nendobj\n"});
    }
    if (replacements.empty())
        return pdf;
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement &a, const Replacement &b) { return a.from < b.from; });
    for (size_t i = 1; i < replacements.size(); ++i)
        if (replacements[i].from < replacements[i - 1].to)
            return pdf;

    // Where an old offset lands: shifted by every replacement before it. An
    // object that started inside a replaced one would be lost: give up.
    auto moved = [&](qint64 old) -> std::optional<qint64> {
        qint64 shift = 0;
        for (const Replacement &r : replacements) {
            if (old >= r.to)
                shift += r.bytes.size() - (r.to - r.from);
            else if (old > r.from)
                return std::nullopt;
        }
        return old + shift;
    };
    QByteArray out;
    out.reserve(pdf.size() + 4096);
    qsizetype copied = 0;
    for (const Replacement &r : replacements) {
        out += pdf.mid(copied, r.from - copied);
        out += r.bytes;
        copied = r.to;
    }
    out += pdf.mid(copied, xrefPos - copied);
    const qint64 newXref = out.size();
    out += "xref\n";
    for (const Subsection &sub : table) {
        out += QByteArray::number(sub.first) + ' ' +
               QByteArray::number(qint64(sub.entries.size())) + '\n';
        for (const XrefEntry &e : sub.entries) {
            qint64 offset = e.offset;
            if (e.inUse) {
                const auto m = moved(e.offset);
                if (!m)
                    return pdf;
                offset = *m;
            }
            out += QByteArray::number(offset).rightJustified(10, '0') + e.rest + '\n';
        }
    }
    out += trailerText + "startxref\n" + QByteArray::number(newXref) + "\n%%EOF\n";
    return out;
}
