#include "merge/spreadsheet.h"

#include "card/files.h"
#include "card/syserror.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace {

// Real sheets nest a dozen elements deep; the XML reader keeps a record for
// every open element, so a file nesting millions deep is refused early.
constexpr int kMaxDepth = 100;
// The last row and column both spreadsheet programs have.
constexpr qint64 kMaxRow = 1048576;
constexpr qint64 kMaxColumn = 16384;
// Number formats are at most this long in the programs that write them.
constexpr qsizetype kMaxFormatCode = 255;
// Sheet names listed when the one asked for is not there.
constexpr qsizetype kNamesShown = 20;

const QString kNotSpreadsheet =
    QStringLiteral("表計算ソフトのファイル (.xlsx, .ods) ではありません");

QString megabytes(qint64 bytes)
{
    return QString::number(std::max<qint64>(1, bytes >> 20));
}

// ---------------------------------------------------------------------------
// The zip container

// Watches the bytes of an XML entry as they are read. It refuses a DTD (a
// spreadsheet never has one, and it is where entity expansion would hide)
// and any run of text, tag, comment, CDATA section or processing
// instruction longer than the limit, because the XML reader holds a whole
// run in memory at once.
class MarkupGuard
{
public:
    enum class Fault
    {
        None,
        LongRun,
        Dtd
    };

    explicit MarkupGuard(qint64 maxRun) : maxRun(maxRun) {}

    Fault Take(unsigned char c)
    {
        last = (last << 8) | c;
        ++run;
        switch (in) {
        case In::Markup:
            // A run is a tag and the text after it: only '<' starts a new one
            // ('>' may stand in text and in attribute values).
            if (c == '<')
                run = 0;
            else if ((last & 0xFFFFFFFF) == 0x3C212D2D) // "<!--"
                in = In::Comment;
            else if ((last & 0xFFFFFF) == 0x3C215B) // "<!["
                in = In::CData;
            else if ((last & 0xFFFF00) == 0x3C2100 && c != '-') // "<!" and no comment
                return Fault::Dtd;
            else if ((last & 0xFFFF) == 0x3C3F) // "<?"
                in = In::Pi;
            break;
        case In::Comment:
            if ((last & 0xFFFFFF) == 0x2D2D3E) { // "-->"
                in = In::Markup;
                run = 0;
            }
            break;
        case In::CData:
            if ((last & 0xFFFFFF) == 0x5D5D3E) { // "]]>"
                in = In::Markup;
                run = 0;
            }
            break;
        case In::Pi:
            if ((last & 0xFFFF) == 0x3F3E) { // "?>"
                in = In::Markup;
                run = 0;
            }
            break;
        }
        return run > maxRun ? Fault::LongRun : Fault::None;
    }

private:
    enum class In
    {
        Markup,
        Comment,
        CData,
        Pi
    };
    qint64 maxRun;
    In in = In::Markup;
    quint64 last = 0; // the bytes just taken, the newest lowest
    qint64 run = 0;
};

// One entry of the archive as a stream: it ends in an error past `cap`
// uncompressed bytes, whatever the entry claims, and past what MarkupGuard
// allows.
class Entry final : public QIODevice
{
public:
    enum class Fault
    {
        None,
        Broken,
        TooLarge,
        LongRun,
        Dtd
    };

    Entry(QuaZip &zip, qint64 cap, qint64 maxRun) : file(&zip), cap(cap), guard(maxRun) {}
    ~Entry() override
    {
        if (file.isOpen())
            file.close();
    }

    bool Open()
    {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    // After the whole entry was read: false when its checksum does not match.
    bool CloseChecked()
    {
        file.close();
        return file.getZipError() == UNZ_OK;
    }
    bool isSequential() const override { return true; }
    Fault fault = Fault::None;

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (fault != Fault::None)
            return -1;
        const qint64 room = cap - total;
        const qint64 n = file.read(data, std::min(max, room + 1));
        if (n < 0) {
            fault = Fault::Broken;
            return -1;
        }
        if (n > room) {
            fault = Fault::TooLarge;
            return -1;
        }
        for (qint64 k = 0; k < n; ++k) {
            const MarkupGuard::Fault f = guard.Take(static_cast<unsigned char>(data[k]));
            if (f != MarkupGuard::Fault::None) {
                fault = f == MarkupGuard::Fault::Dtd ? Fault::Dtd : Fault::LongRun;
                return -1;
            }
        }
        total += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QuaZipFile file;
    qint64 cap;
    qint64 total = 0;
    MarkupGuard guard;
};

class Archive
{
public:
    Archive(std::unique_ptr<QIODevice> source, const QString &path, const SpreadsheetLimits &limits)
        : path(path), limits(limits), device(std::move(source)), zip(device.get())
    {
        if (!zip.open(QuaZip::mdUnzip))
            Fail(QStringLiteral("zip ファイルとして読めません (壊れています)"));
    }

    [[noreturn]] void Fail(const QString &reason) const { throw ListError(path, reason); }

    // Part names are matched without regard to case, as the package formats
    // ask.
    bool Has(const QString &name) { return zip.setCurrentFile(name, QuaZip::csInsensitive); }

    // The entry `name` as a stream of at most `cap` bytes; throws when it is
    // missing, encrypted, claims to be larger than `cap` or expands too much.
    std::unique_ptr<Entry> Open(const QString &name, qint64 cap)
    {
        if (!Has(name))
            Fail(QStringLiteral("%1 がありません (壊れたファイルです)").arg(name));
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info))
            Fail(QStringLiteral("%1 が読めません (壊れています)").arg(name));
        if (info.flags & 1)
            Fail(QStringLiteral("パスワードで保護されたファイルは読めません"));
        if (info.uncompressedSize > static_cast<quint64>(cap))
            TooLarge(name, cap);
        if (info.uncompressedSize > static_cast<quint64>(limits.ratioAbove) &&
            info.uncompressedSize / std::max<quint64>(1, info.compressedSize) >
                static_cast<quint64>(limits.maxRatio))
            Fail(QStringLiteral("%1 の圧縮率が %2 倍を超えます (zip 爆弾とみなして読みません)")
                     .arg(name)
                     .arg(limits.maxRatio));
        auto entry = std::make_unique<Entry>(zip, cap, limits.runBytes);
        if (!entry->Open())
            Fail(QStringLiteral("%1 を展開できません (圧縮方式 %2)").arg(name).arg(info.method));
        return entry;
    }

    // A small entry whole; nullopt when it is larger than `cap`.
    std::optional<QByteArray> ReadSmall(const QString &name, qint64 cap)
    {
        std::unique_ptr<Entry> entry = Open(name, qint64(1) << 30);
        QByteArray bytes(cap + 1, Qt::Uninitialized);
        qint64 got = 0;
        while (got <= cap) {
            const qint64 n = entry->read(bytes.data() + got, cap + 1 - got);
            if (n < 0)
                Fail(QStringLiteral("%1 が壊れています (展開できません)").arg(name));
            if (n == 0)
                break;
            got += n;
        }
        if (got > cap)
            return std::nullopt;
        bytes.truncate(got);
        return bytes;
    }

    [[noreturn]] void TooLarge(const QString &name, qint64 cap) const
    {
        Fail(QStringLiteral("%1 が大きすぎます (展開すると %2 MB を超えます)")
                 .arg(name, megabytes(cap)));
    }

    const QString path;
    const SpreadsheetLimits limits;

private:
    std::unique_ptr<QIODevice> device;
    QuaZip zip;
};

// The XML of one entry, read token by token. Every failure (the entry's
// bounds, a damaged stream, XML that is not well formed, nesting too deep)
// throws one ListError naming the entry.
class Xml
{
public:
    Xml(Archive &archive, const QString &name, qint64 cap)
        : archive(archive), name(name), cap(cap), entry(archive.Open(name, cap)),
          reader(entry.get())
    {}

    // The next element start or end, text, or EndDocument.
    QXmlStreamReader::TokenType Next()
    {
        for (;;) {
            const QXmlStreamReader::TokenType t = reader.readNext();
            switch (t) {
            case QXmlStreamReader::StartElement:
                if (++depth > kMaxDepth)
                    archive.Fail(QStringLiteral("%1 の XML の入れ子が深すぎます").arg(name));
                return t;
            case QXmlStreamReader::EndElement:
                --depth;
                return t;
            case QXmlStreamReader::Characters:
            case QXmlStreamReader::EndDocument:
                return t;
            case QXmlStreamReader::Invalid:
                Fail();
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference:
                archive.Fail(QStringLiteral("%1 の DTD は読みません").arg(name));
            default:
                continue;
            }
        }
    }

    // After a StartElement: on to its end, its content unread.
    void Skip()
    {
        const int outer = depth - 1;
        while (depth > outer)
            if (Next() == QXmlStreamReader::EndDocument)
                Fail();
    }

    // After a StartElement: the text directly inside it (not inside its
    // child elements), at most `max` characters; on to its end.
    QString Text(qsizetype max = ListReader::kMaxCellLength)
    {
        QString text;
        const int outer = depth - 1;
        while (depth > outer) {
            const QXmlStreamReader::TokenType t = Next();
            if (t == QXmlStreamReader::Characters && text.size() < max)
                text += reader.text().left(max - text.size());
            else if (t == QXmlStreamReader::StartElement)
                Skip();
            else if (t == QXmlStreamReader::EndDocument)
                Fail();
        }
        return text;
    }

    // Reads the rest of the entry, which must be well formed and match its
    // checksum.
    void Finish()
    {
        while (Next() != QXmlStreamReader::EndDocument) {
        }
        if (!entry->CloseChecked())
            archive.Fail(QStringLiteral("%1 が壊れています (CRC が合いません)").arg(name));
    }

    bool Is(QStringView local) const { return reader.name() == local; }
    bool Is(const QString &ns, QStringView local) const
    {
        return reader.name() == local && reader.namespaceUri() == ns;
    }
    QString Attribute(QStringView local) const
    {
        for (const QXmlStreamAttribute &a : reader.attributes())
            if (a.name() == local)
                return a.value().toString();
        return {};
    }
    QString Attribute(const QString &ns, QStringView local) const
    {
        for (const QXmlStreamAttribute &a : reader.attributes())
            if (a.name() == local && a.namespaceUri() == ns)
                return a.value().toString();
        return {};
    }

    [[noreturn]] void Fail() const
    {
        switch (entry->fault) {
        case Entry::Fault::TooLarge:
            archive.TooLarge(name, cap);
        case Entry::Fault::LongRun:
            archive.Fail(QStringLiteral("%1 に長すぎる値があります (%2 MB を超えます)")
                             .arg(name, megabytes(archive.limits.runBytes)));
        case Entry::Fault::Dtd:
            archive.Fail(QStringLiteral("%1 の DTD は読みません").arg(name));
        case Entry::Fault::Broken:
            archive.Fail(QStringLiteral("%1 が壊れています (展開できません)").arg(name));
        case Entry::Fault::None:
            break;
        }
        archive.Fail(QStringLiteral("%1 が壊れています (XML の %2 行目)")
                         .arg(name)
                         .arg(reader.lineNumber()));
    }

    Archive &archive;
    const QString name;
    int depth = 0;

private:
    qint64 cap;
    std::unique_ptr<Entry> entry;

public:
    QXmlStreamReader reader;
};

// Keeps a row's cells as ListRow wants them: placed by column, at most
// kMaxCells kept, each cut to kMaxCellLength, and the row ending with its
// last non-empty cell.
class RowBuilder
{
public:
    void Start(ListRow &row)
    {
        row.cells.clear();
        row.count = 0;
        last = -1;
    }
    // `text` in columns [column, column + repeat), from 0.
    void Put(ListRow &row, qint64 column, qint64 repeat, const QString &text)
    {
        if (text.isEmpty() || repeat <= 0)
            return;
        last = std::max(last, column + repeat - 1);
        const qint64 end = std::min<qint64>(column + repeat, ListReader::kMaxCells);
        if (column >= end)
            return;
        if (row.cells.size() < end)
            row.cells.resize(end);
        const QString cut = text.left(ListReader::kMaxCellLength);
        for (qint64 c = column; c < end; ++c)
            row.cells[c] = cut;
    }
    // False for a row with no text.
    bool Finish(ListRow &row) const
    {
        if (last < 0)
            return false;
        row.count = last + 1;
        const qsizetype kept = std::min<qint64>(row.count, ListReader::kMaxCells);
        if (row.cells.size() < kept)
            row.cells.resize(kept);
        return true;
    }

private:
    qint64 last = -1;
};

// ---------------------------------------------------------------------------
// Numbers as a spreadsheet program shows them

// The decimal digits of `x` (finite, not negative) rounded to `decimals`
// places, as the programs round: from the 15 significant digits they keep,
// halves away from zero. The integer part has no leading zeros ("" for 0).
struct Digits
{
    QString integer;
    QString fraction;
};

Digits roundDecimal(double x, int decimals)
{
    Digits d;
    if (x == 0) {
        d.fraction = QString(decimals, u'0');
        return d;
    }
    const QString e = QString::number(x, 'e', 14); // d.dddddddddddddde+XX
    QString digits = e.left(1) + e.mid(2, 14);
    int point = e.mid(e.indexOf(u'e') + 1).toInt() + 1; // digits before the point
    if (point <= 0) {
        digits.prepend(QString(-point, u'0'));
        point = 0;
    } else if (point > digits.size()) {
        digits.append(QString(point - digits.size(), u'0'));
    }
    QString kept = digits.left(point + decimals);
    if (kept.size() < point + decimals)
        kept.append(QString(point + decimals - kept.size(), u'0'));
    if (point + decimals < digits.size() && digits[point + decimals] >= u'5') {
        qsizetype k = kept.size() - 1;
        for (; k >= 0 && kept[k] == u'9'; --k)
            kept[k] = u'0';
        if (k >= 0)
            kept[k] = QChar(kept[k].unicode() + 1);
        else {
            kept.prepend(u'1');
            ++point;
        }
    }
    d.integer = kept.left(point);
    d.fraction = kept.mid(point);
    while (d.integer.startsWith(u'0'))
        d.integer.remove(0, 1);
    return d;
}

// The general format: the 15 significant digits the programs keep, no
// trailing zeros, whole numbers without a point; an exponent only for very
// large or very small values (1.5E+20).
QString general(double v)
{
    if (v == 0)
        return QStringLiteral("0");
    const QString e = QString::number(std::fabs(v), 'e', 14);
    QString digits = e.left(1) + e.mid(2, 14);
    const int exponent = e.mid(e.indexOf(u'e') + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);
    QString out;
    if (exponent >= 15 || exponent < -9) {
        out = digits.left(1);
        if (digits.size() > 1)
            out += u'.' + digits.mid(1);
        out += QStringLiteral("E%1%2")
                   .arg(QChar(exponent < 0 ? u'-' : u'+'))
                   .arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent < 0) {
        out = QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    } else if (digits.size() <= exponent + 1) {
        out = digits + QString(exponent + 1 - digits.size(), u'0');
    } else {
        out = digits.left(exponent + 1) + u'.' + digits.mid(exponent + 1);
    }
    return v < 0 ? u'-' + out : out;
}

struct Era
{
    int year, month, day;
    const char16_t *name, *kanji, *latin;
};
// Newest first.
constexpr Era kEras[] = {{2019, 5, 1, u"令和", u"令", u"R"},
                         {1989, 1, 8, u"平成", u"平", u"H"},
                         {1926, 12, 25, u"昭和", u"昭", u"S"},
                         {1912, 7, 30, u"大正", u"大", u"T"},
                         {1868, 1, 1, u"明治", u"明", u"M"}};

const char *const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char *const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
const char16_t *const kJapaneseDays[] = {u"日", u"月", u"火", u"水", u"木", u"金", u"土"};

// One number format code: up to four sections (positive; negative; zero;
// text), each a list of tokens. What it cannot show as the program would
// (conditions, exponents, fractions) it shows in the general format.
class NumberFormat
{
public:
    explicit NumberFormat(const QString &code)
    {
        if (code.size() > kMaxFormatCode || code.isEmpty() ||
            code.compare(QStringLiteral("General"), Qt::CaseInsensitive) == 0)
            return;
        for (const QString &text : Split(code))
            sections.push_back(Compile(text));
        if (sections.size() > 4)
            sections.resize(4);
    }

    bool IsDate() const { return !sections.empty() && sections[0].date; }

    QString Format(double v, bool date1904) const
    {
        if (sections.empty())
            return general(v);
        const std::size_t n = sections.size();
        const Section *s = &sections[0];
        bool minus = v < 0;
        if (v < 0 && n >= 2) {
            s = &sections[1];
            minus = false; // the section writes its own sign
        } else if (v == 0 && n >= 3) {
            s = &sections[2];
        }
        if (s->unsupported)
            return general(v);
        if (s->date)
            return Date(*s, v, date1904);
        return Number(*s, minus ? v : std::fabs(v), minus);
    }

private:
    struct Token
    {
        enum Kind
        {
            Literal,
            Digit,     // 0 # ?
            Point,     // .
            General,   // General or @: the value in the general format
            Part,      // a date or time part: y m d h s e g a (letter, count)
            Elapsed,   // [h] [m] [s]
            AmPm,      // AM/PM, A/P, 午前/午後
            SubSecond, // .0 .00 .000 after seconds
        };
        Token(Kind kind, const QString &text = {}, char16_t c = 0, int count = 0)
            : kind(kind), text(text), c(c), count(count)
        {}
        Kind kind;
        QString text; // Literal; AmPm: "AM/PM", "A/P", ...
        char16_t c;   // Digit: 0 # ?; Part, Elapsed: the lower-case letter
        int count;
        bool minute = false; // Part 'm' that means minutes
    };
    struct Section
    {
        std::vector<Token> tokens;
        bool date = false;
        bool unsupported = false;
        bool grouping = false;
        bool twelveHour = false;
        int decimals = 0;
        int percents = 0;
        int scale = 0; // thousands divided away by commas after the digits
        int subSecond = 0;
    };

    // The sections of `code`: split at ';' outside quotes and brackets.
    static QStringList Split(const QString &code)
    {
        QStringList out;
        QString cur;
        bool quoted = false, bracket = false;
        for (qsizetype i = 0; i < code.size(); ++i) {
            const QChar c = code[i];
            if (c == u'\\' && !quoted && i + 1 < code.size()) {
                cur += c;
                cur += code[++i];
                continue;
            }
            if (c == u'"' && !bracket)
                quoted = !quoted;
            else if (c == u'[' && !quoted)
                bracket = true;
            else if (c == u']' && !quoted)
                bracket = false;
            if (c == u';' && !quoted && !bracket) {
                out << cur;
                cur.clear();
                continue;
            }
            cur += c;
        }
        out << cur;
        return out;
    }

    static Section Compile(const QString &code)
    {
        Section s;
        std::vector<Token> &t = s.tokens;
        const auto literal = [&](const QString &text) {
            if (!t.empty() && t.back().kind == Token::Literal && t.back().c == 0)
                t.back().text += text;
            else
                t.push_back({Token::Literal, text});
        };
        const auto startsWith = [&](qsizetype i, QStringView what) {
            return QStringView(code).mid(i).startsWith(what, Qt::CaseInsensitive);
        };
        for (qsizetype i = 0; i < code.size(); ++i) {
            const QChar c = code[i];
            const char16_t lower = c.toLower().unicode();
            if (c == u'"') {
                const qsizetype end = code.indexOf(u'"', i + 1);
                literal(code.mid(i + 1, end < 0 ? -1 : end - i - 1));
                i = end < 0 ? code.size() : end;
            } else if (c == u'\\' || c == u'_' || c == u'*') {
                // An escaped character; the space a character takes; a fill.
                if (i + 1 < code.size()) {
                    if (c == u'\\')
                        literal(code.mid(i + 1, 1));
                    else if (c == u'_')
                        literal(QStringLiteral(" "));
                    ++i;
                }
            } else if (c == u'[') {
                const qsizetype end = code.indexOf(u']', i + 1);
                const QString inner = code.mid(i + 1, end < 0 ? -1 : end - i - 1);
                i = end < 0 ? code.size() : end;
                const QString low = inner.toLower();
                if (inner.startsWith(u'$')) {
                    literal(inner.mid(1).section(u'-', 0, 0)); // [$¥-411]: the currency sign
                } else if (!low.isEmpty() &&
                           (low.count(u'h') == low.size() || low.count(u'm') == low.size() ||
                            low.count(u's') == low.size())) {
                    t.push_back(
                        Token{Token::Elapsed, {}, low[0].unicode(), static_cast<int>(low.size())});
                    s.date = true;
                } else if (low.startsWith(u'<') || low.startsWith(u'>') || low.startsWith(u'=')) {
                    s.unsupported = true; // a condition
                }
                // Colours, [DBNum1] and the like change nothing in the text.
            } else if (startsWith(i, u"General")) {
                t.push_back({Token::General});
                i += 6;
            } else if (c == u'@') {
                t.push_back({Token::General});
            } else if (startsWith(i, u"AM/PM") || startsWith(i, u"A/P")) {
                const qsizetype len = startsWith(i, u"AM/PM") ? 5 : 3;
                t.push_back({Token::AmPm, code.mid(i, len)});
                s.twelveHour = true;
                s.date = true;
                i += len - 1;
            } else if (startsWith(i, u"午前/午後")) {
                t.push_back({Token::AmPm, code.mid(i, 5)});
                s.twelveHour = true;
                s.date = true;
                i += 4;
            } else if (lower == u'e' && i + 1 < code.size() &&
                       (code[i + 1] == u'+' || code[i + 1] == u'-')) {
                s.unsupported = true; // scientific
                ++i;
            } else if (c == u'0' || c == u'#' || c == u'?') {
                if (!t.empty() && t.back().kind == Token::SubSecond && c == u'0')
                    ++t.back().count;
                else
                    t.push_back(Token{Token::Digit, {}, c.unicode()});
            } else if (c == u'.') {
                t.push_back({Token::Point});
            } else if (c == u',') {
                t.push_back({Token::Literal, QStringLiteral(",")});
                t.back().c = u','; // a separator or a scale, by its place
            } else if (c == u'%') {
                ++s.percents;
                literal(QStringLiteral("%"));
            } else if (lower == u'y' || lower == u'm' || lower == u'd' || lower == u'h' ||
                       lower == u's' || lower == u'e' || lower == u'g' ||
                       (lower == u'a' && startsWith(i, u"aaa"))) {
                int n = 1;
                while (i + n < code.size() && code[i + n].toLower() == QChar(lower))
                    ++n;
                t.push_back(Token{Token::Part, {}, lower, n});
                s.date = true;
                i += n - 1;
                // Seconds with decimals: ss.00
                if (lower == u's' && i + 2 < code.size() && code[i + 1] == u'.' &&
                    code[i + 2] == u'0') {
                    t.push_back(Token{Token::SubSecond, {}, 0, 0});
                    ++i;
                }
            } else {
                literal(QString(c));
            }
        }
        if (s.date)
            return FinishDate(s);
        return FinishNumber(s);
    }

    static Section FinishDate(Section s)
    {
        std::vector<Token> &t = s.tokens;
        // Outside the date, digits, points and commas are plain text.
        for (Token &k : t) {
            if (k.kind == Token::Digit) {
                k = Token{Token::Literal, QString(QChar(k.c))};
            } else if (k.kind == Token::Point) {
                k = Token{Token::Literal, QStringLiteral(".")};
            } else if (k.kind == Token::SubSecond) {
                s.subSecond = std::min(k.count, 3);
                k.count = s.subSecond;
            }
        }
        // "m" and "mm" are minutes after hours or before seconds.
        const auto isHour = [](const Token &k) {
            return (k.kind == Token::Part || k.kind == Token::Elapsed) && k.c == u'h';
        };
        const auto isSecond = [](const Token &k) {
            return (k.kind == Token::Part || k.kind == Token::Elapsed) && k.c == u's';
        };
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Token::Part || t[i].c != u'm' || t[i].count > 2)
                continue;
            for (std::size_t j = i; j-- > 0;) {
                if (t[j].kind == Token::Part || t[j].kind == Token::Elapsed) {
                    t[i].minute = isHour(t[j]);
                    break;
                }
            }
            for (std::size_t j = i + 1; j < t.size() && !t[i].minute; ++j) {
                if (t[j].kind == Token::Part || t[j].kind == Token::Elapsed) {
                    t[i].minute = isSecond(t[j]);
                    break;
                }
            }
        }
        return s;
    }

    static Section FinishNumber(Section s)
    {
        std::vector<Token> &t = s.tokens;
        std::size_t digits = 0;
        bool afterPoint = false;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind == Token::Digit) {
                ++digits;
                if (afterPoint)
                    ++s.decimals;
            } else if (t[i].kind == Token::Point) {
                afterPoint = true;
            } else if (t[i].kind == Token::Literal && t[i].text.contains(u'/') && digits > 0) {
                s.unsupported = true; // a fraction
            }
        }
        // A comma between integer digits groups thousands; commas right after
        // the last digit (before the point) divide by a thousand each.
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Token::Literal || t[i].c != u',')
                continue;
            const auto digitAt = [&](std::size_t j) {
                return j < t.size() && t[j].kind == Token::Digit;
            };
            bool before = false, after = false;
            for (std::size_t j = i; j-- > 0 && !before;)
                if (t[j].kind == Token::Point)
                    break;
                else
                    before = t[j].kind == Token::Digit;
            std::size_t j = i + 1;
            while (j < t.size() && t[j].kind == Token::Literal && t[j].c == u',')
                ++j;
            after = digitAt(j);
            bool inFraction = false;
            for (std::size_t k = 0; k < i; ++k)
                inFraction = inFraction || t[k].kind == Token::Point;
            if (before && after && !inFraction) {
                s.grouping = true;
                t[i].text.clear();
            } else if (before && !inFraction) {
                ++s.scale;
                t[i].text.clear();
            }
        }
        return s;
    }

    static QString Number(const Section &s, double v, bool minus)
    {
        double x = std::fabs(v);
        for (int k = 0; k < s.percents; ++k)
            x *= 100;
        for (int k = 0; k < s.scale; ++k)
            x /= 1000;
        if (!std::isfinite(x))
            return general(v);
        const Digits d = roundDecimal(x, s.decimals);
        // The integer digits into the integer placeholders, from the right;
        // digits beyond them go with the first one.
        std::vector<const Token *> integers, fractions;
        bool afterPoint = false;
        for (const Token &k : s.tokens) {
            if (k.kind == Token::Point)
                afterPoint = true;
            else if (k.kind == Token::Digit)
                (afterPoint ? fractions : integers).push_back(&k);
        }
        std::vector<QString> intText(integers.size());
        const qsizetype nInt = static_cast<qsizetype>(integers.size());
        if (s.grouping && nInt > 0) {
            qsizetype minDigits = 0;
            for (const Token *k : integers)
                minDigits += k->c == u'0' ? 1 : 0;
            QString plain = d.integer;
            if (plain.size() < minDigits)
                plain.prepend(QString(minDigits - plain.size(), u'0'));
            QString grouped;
            for (qsizetype k = 0; k < plain.size(); ++k) {
                if (k > 0 && (plain.size() - k) % 3 == 0)
                    grouped += u',';
                grouped += plain[k];
            }
            intText[0] = grouped;
        } else {
            const qsizetype len = d.integer.size();
            for (qsizetype j = 0; j < nInt; ++j) {
                const qsizetype idx = len - nInt + j;
                if (idx >= 0)
                    intText[j] = d.integer.mid(idx, 1);
                else if (integers[j]->c == u'0')
                    intText[j] = QStringLiteral("0");
                else if (integers[j]->c == u'?')
                    intText[j] = QStringLiteral(" ");
                if (j == 0 && len > nInt)
                    intText[0] = d.integer.left(len - nInt + 1);
            }
        }
        std::vector<QString> fracText(fractions.size());
        for (std::size_t j = 0; j < fractions.size(); ++j)
            fracText[j] = d.fraction.mid(static_cast<qsizetype>(j), 1);
        for (std::size_t j = fractions.size(); j-- > 0;) {
            if (fracText[j] != QStringLiteral("0") || fractions[j]->c == u'0')
                break;
            fracText[j] = fractions[j]->c == u'?' ? QStringLiteral(" ") : QString();
        }
        QString out;
        std::size_t ii = 0, fi = 0;
        afterPoint = false;
        for (const Token &k : s.tokens) {
            switch (k.kind) {
            case Token::Literal:
                out += k.text;
                break;
            case Token::Digit:
                out += afterPoint ? fracText[fi++] : intText[ii++];
                break;
            case Token::Point:
                afterPoint = true;
                out += u'.';
                break;
            case Token::General:
                out += general(std::fabs(v));
                break;
            default:
                break;
            }
        }
        const auto allZero = [](const QString &digits) {
            return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c == u'0'; });
        };
        const bool zero = allZero(d.integer) && allZero(d.fraction);
        if (minus && !(zero && (nInt > 0 || !fractions.empty())))
            out.prepend(u'-');
        return out;
    }

    static QString Date(const Section &s, double v, bool date1904)
    {
        // The last day both programs show: 9999-12-31.
        const double last = date1904 ? 2957003 : 2958465;
        if (v < 0 || v >= last + 1)
            return general(v);
        qint64 days = static_cast<qint64>(std::floor(v));
        const qint64 perSecond =
            s.subSecond == 0 ? 1 : (s.subSecond == 1 ? 10 : (s.subSecond == 2 ? 100 : 1000));
        const qint64 perDay = 86400 * perSecond;
        qint64 units = std::llround((v - static_cast<double>(days)) * static_cast<double>(perDay));
        if (units >= perDay) {
            ++days;
            units -= perDay;
        }
        const qint64 sub = units % perSecond;
        const qint64 secondsOfDay = units / perSecond;
        const int hour = static_cast<int>(secondsOfDay / 3600);
        const int minute = static_cast<int>(secondsOfDay / 60 % 60);
        const int second = static_cast<int>(secondsOfDay % 60);

        // The 1900 system counts a 29 February 1900 that never was (day 60),
        // and shows day 0 as 1900-01-00.
        int year = 1900, month = 1, day = 0;
        if (date1904) {
            const QDate d = QDate(1904, 1, 1).addDays(days);
            year = d.year();
            month = d.month();
            day = d.day();
        } else if (days <= 31) {
            day = static_cast<int>(days);
        } else if (days <= 60) {
            month = 2;
            day = static_cast<int>(days - 31);
        } else {
            const QDate d = QDate(1899, 12, 30).addDays(days);
            year = d.year();
            month = d.month();
            day = d.day();
        }
        const int weekday = static_cast<int>((days + (date1904 ? 5 : 6)) % 7); // 0 is Sunday
        const Era *era = nullptr;
        for (const Era &e : kEras)
            if (std::tuple(year, month, day) >= std::tuple(e.year, e.month, e.day)) {
                era = &e;
                break;
            }
        const auto pad = [](qint64 n, int width) {
            return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
        };

        QString out;
        for (const Token &k : s.tokens) {
            switch (k.kind) {
            case Token::Literal:
                out += k.text;
                break;
            case Token::AmPm: {
                const qsizetype slash = k.text.indexOf(u'/');
                out += hour < 12 ? k.text.left(slash) : k.text.mid(slash + 1);
                break;
            }
            case Token::Elapsed: {
                const qint64 total = days * 86400 + secondsOfDay;
                const qint64 n = k.c == u'h' ? total / 3600 : (k.c == u'm' ? total / 60 : total);
                out += pad(n, k.count);
                break;
            }
            case Token::SubSecond:
                out += u'.' + pad(sub, k.count);
                break;
            case Token::Part:
                switch (k.c) {
                case u'y':
                    out += k.count <= 2 ? pad(year % 100, 2) : QString::number(year);
                    break;
                case u'm':
                    if (k.minute)
                        out += pad(minute, std::min(k.count, 2));
                    else if (k.count <= 2)
                        out += pad(month, k.count);
                    else if (k.count == 3)
                        out += QString::fromLatin1(kMonths[month - 1]).left(3);
                    else if (k.count == 4)
                        out += QString::fromLatin1(kMonths[month - 1]);
                    else
                        out += QString::fromLatin1(kMonths[month - 1]).left(1);
                    break;
                case u'd':
                    if (k.count <= 2)
                        out += pad(day, k.count);
                    else if (k.count == 3)
                        out += QString::fromLatin1(kDays[weekday]).left(3);
                    else
                        out += QString::fromLatin1(kDays[weekday]);
                    break;
                case u'a':
                    out += QString::fromUtf16(kJapaneseDays[weekday]);
                    if (k.count >= 4)
                        out += QStringLiteral("曜日");
                    break;
                case u'h': {
                    int h = hour;
                    if (s.twelveHour)
                        h = h % 12 == 0 ? 12 : h % 12;
                    out += pad(h, std::min(k.count, 2));
                    break;
                }
                case u's':
                    out += pad(second, std::min(k.count, 2));
                    break;
                case u'e':
                    out += pad(era ? year - era->year + 1 : year, std::min(k.count, 2));
                    break;
                case u'g':
                    if (era)
                        out += QString::fromUtf16(k.count == 1   ? era->latin
                                                  : k.count == 2 ? era->kanji
                                                                 : era->name);
                    break;
                default:
                    break;
                }
                break;
            default:
                break;
            }
        }
        return out;
    }

    std::vector<Section> sections;
};

// The built-in number formats a workbook refers to by number only, as a
// Japanese spreadsheet program shows them.
QString builtinFormat(int id)
{
    switch (id) {
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 5:
        return QStringLiteral("\"¥\"#,##0;\"¥\"\\-#,##0");
    case 6:
        return QStringLiteral("\"¥\"#,##0;[Red]\"¥\"\\-#,##0");
    case 7:
        return QStringLiteral("\"¥\"#,##0.00;\"¥\"\\-#,##0.00");
    case 8:
        return QStringLiteral("\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 14:
        return QStringLiteral("yyyy/m/d");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 18:
        return QStringLiteral("h:mm AM/PM");
    case 19:
        return QStringLiteral("h:mm:ss AM/PM");
    case 20:
        return QStringLiteral("h:mm");
    case 21:
        return QStringLiteral("h:mm:ss");
    case 22:
        return QStringLiteral("yyyy/m/d h:mm");
    case 27:
    case 36:
    case 50:
    case 57:
        return QStringLiteral("ge.m.d");
    case 28:
    case 29:
    case 51:
    case 54:
    case 58:
        return QStringLiteral("ggge\"年\"m\"月\"d\"日\"");
    case 30:
        return QStringLiteral("m/d/yy");
    case 31:
        return QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
    case 32:
        return QStringLiteral("h\"時\"mm\"分\"");
    case 33:
        return QStringLiteral("h\"時\"mm\"分\"ss\"秒\"");
    case 34:
    case 52:
        return QStringLiteral("yyyy\"年\"m\"月\"");
    case 35:
    case 53:
        return QStringLiteral("m\"月\"d\"日\"");
    case 37:
        return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
        return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
        return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40:
        return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 45:
        return QStringLiteral("mm:ss");
    case 46:
        return QStringLiteral("[h]:mm:ss");
    case 47:
        return QStringLiteral("mm:ss.0");
    default:
        return {}; // 0 (General), 49 (@) and the rest
    }
}

// The date of an ISO 8601 text as a serial day number, or nullopt.
std::optional<double> isoSerial(const QString &text, bool date1904)
{
    QDateTime when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!when.isValid()) {
        const QDate date = QDate::fromString(text.trimmed(), Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        when = QDateTime(date, QTime(0, 0));
    }
    const QDate base = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    const qint64 days = base.daysTo(when.date());
    if (days < (date1904 ? 0 : 61))
        return std::nullopt;
    return static_cast<double>(days) + when.time().msecsSinceStartOfDay() / 86400000.0;
}

// ---------------------------------------------------------------------------
// Office Open XML workbooks

// "_xHHHH_" stands for the character HHHH in the workbook's strings.
QString decodeEscapes(const QString &s)
{
    if (!s.contains(QStringLiteral("_x")))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
            bool ok = false;
            const ushort code = s.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok && s.mid(i + 2, 4).size() == 4) {
                out += QChar(code);
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// A part name from a relationship target: relative to `folder`, or to the
// package root when it starts with '/'.
QString resolvePart(const QString &folder, const QString &target)
{
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    QStringList parts;
    if (!decoded.startsWith(u'/'))
        parts = folder.split(u'/', Qt::SkipEmptyParts);
    for (const QString &p : decoded.split(u'/', Qt::SkipEmptyParts)) {
        if (p == QStringLiteral("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (p != QStringLiteral(".")) {
            parts << p;
        }
    }
    return parts.join(u'/');
}

QString folderOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

QString relationshipsOf(const QString &part)
{
    const QString folder = folderOf(part);
    const QString file = part.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    return (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") + file +
           QStringLiteral(".rels");
}

struct Relationship
{
    QString id;
    QString kind; // the last part of its type: worksheet, sharedStrings, styles, ...
    QString part;
};

// The relationships of `part`; none when it has no relationships part.
std::vector<Relationship> readRelationships(Archive &archive, const QString &part)
{
    std::vector<Relationship> out;
    const QString name = relationshipsOf(part);
    if (!archive.Has(name))
        return out;
    Xml xml(archive, name, archive.limits.partBytes);
    while (xml.Next() != QXmlStreamReader::EndDocument) {
        if (xml.reader.isStartElement() && xml.Is(u"Relationship") &&
            xml.Attribute(u"TargetMode") != QStringLiteral("External"))
            out.push_back({xml.Attribute(u"Id"), xml.Attribute(u"Type").section(u'/', -1),
                           resolvePart(folderOf(part), xml.Attribute(u"Target"))});
    }
    return out;
}

const Relationship *findRelationship(const std::vector<Relationship> &rels, const QString &id)
{
    for (const Relationship &r : rels)
        if (r.id == id)
            return &r;
    return nullptr;
}

QString namesList(const QStringList &names)
{
    QStringList shown = names.mid(0, kNamesShown);
    if (names.size() > kNamesShown)
        shown << QStringLiteral("…");
    return shown.join(QStringLiteral("、"));
}

[[noreturn]] void unknownSheet(const Archive &archive, const QString &sheet,
                               const QStringList &names)
{
    archive.Fail(
        QStringLiteral("シート「%1」がありません (シート: %2)").arg(sheet, namesList(names)));
}

// A workbook's shared strings, held as one text and the ends of its strings.
class SharedStrings
{
public:
    void Read(Archive &archive, const QString &part)
    {
        Xml xml(archive, part, archive.limits.sharedBytes);
        while (xml.Next() != QXmlStreamReader::EndDocument) {
            if (!xml.reader.isStartElement() || !xml.Is(u"si"))
                continue;
            if (static_cast<qsizetype>(ends.size()) >= archive.limits.sharedCount)
                archive.Fail(QStringLiteral("共有文字列が多すぎます (%1 個まで)")
                                 .arg(archive.limits.sharedCount));
            const QString text = richText(xml);
            if (pool.size() + text.size() > archive.limits.sharedChars)
                archive.Fail(QStringLiteral("共有文字列の文字数が多すぎます (%1 文字まで)")
                                 .arg(archive.limits.sharedChars));
            pool += text;
            ends.push_back(pool.size());
        }
        pool.squeeze();
    }
    qsizetype size() const { return static_cast<qsizetype>(ends.size()); }
    QString At(qsizetype i) const
    {
        const qsizetype start = i == 0 ? 0 : ends[i - 1];
        return pool.mid(start, ends[i] - start);
    }

    // After the start of <si> or <is>: its text, the runs joined, the
    // phonetic guides (furigana) left out; on to its end.
    static QString richText(Xml &xml)
    {
        QString text;
        const int outer = xml.depth - 1;
        while (xml.depth > outer) {
            const QXmlStreamReader::TokenType t = xml.Next();
            if (t == QXmlStreamReader::EndDocument)
                xml.Fail();
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (xml.Is(u"t"))
                text += xml.Text(ListReader::kMaxCellLength - text.size());
            else if (xml.Is(u"rPh") || xml.Is(u"phoneticPr"))
                xml.Skip();
        }
        return decodeEscapes(text).left(ListReader::kMaxCellLength);
    }

private:
    QString pool;
    std::vector<qsizetype> ends;
};

class XlsxReader final : public ListReader
{
public:
    XlsxReader(std::unique_ptr<Archive> zip, const QString &workbook, const QString &sheet)
        : archive(std::move(zip))
    {
        struct Sheet
        {
            QString name, id;
        };
        std::vector<Sheet> sheets;
        {
            Xml xml(*archive, workbook, archive->limits.partBytes);
            bool root = true;
            while (xml.Next() != QXmlStreamReader::EndDocument) {
                if (!xml.reader.isStartElement())
                    continue;
                if (root && !xml.Is(u"workbook"))
                    archive->Fail(kNotSpreadsheet);
                root = false;
                if (xml.Is(u"sheet")) {
                    sheets.push_back({xml.Attribute(u"name"), xml.Attribute(u"id")});
                } else if (xml.Is(u"workbookPr")) {
                    const QString v = xml.Attribute(u"date1904");
                    date1904 = v == QStringLiteral("1") || v == QStringLiteral("true");
                }
            }
        }
        const std::vector<Relationship> rels = readRelationships(*archive, workbook);
        for (const Sheet &s : sheets)
            if (const Relationship *r = findRelationship(rels, s.id);
                r && r->kind == QStringLiteral("worksheet"))
                sheetNames << s.name;
        const Relationship *chosen = nullptr;
        if (sheet.isEmpty()) {
            for (const Sheet &s : sheets) {
                const Relationship *r = findRelationship(rels, s.id);
                if (r && r->kind == QStringLiteral("worksheet")) {
                    chosen = r;
                    break;
                }
            }
            if (!chosen)
                archive->Fail(QStringLiteral("表のシートがありません"));
        } else {
            QStringList names;
            for (const Sheet &s : sheets) {
                names << s.name;
                if (s.name.compare(sheet, Qt::CaseInsensitive) != 0 || chosen)
                    continue;
                chosen = findRelationship(rels, s.id);
                if (!chosen)
                    archive->Fail(
                        QStringLiteral("シート「%1」の場所がありません (壊れたファイルです)")
                            .arg(s.name));
                if (chosen->kind != QStringLiteral("worksheet"))
                    archive->Fail(
                        QStringLiteral("シート「%1」は表のシートではありません").arg(s.name));
            }
            if (!chosen)
                unknownSheet(*archive, sheet, names);
        }
        sheetPart = chosen->part;
        for (const Relationship &r : rels) {
            if (r.kind == QStringLiteral("sharedStrings") && archive->Has(r.part))
                shared.Read(*archive, r.part);
            else if (r.kind == QStringLiteral("styles") && archive->Has(r.part))
                ReadStyles(r.part);
        }
        Rewind();
    }

    // The worksheets' names in the workbook's order.
    QStringList sheetNames;

    void Rewind() override
    {
        xml.reset();
        xml = std::make_unique<Xml>(*archive, sheetPart, archive->limits.sheetBytes);
        done = false;
        previousRow = 0;
        for (;;) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument) {
                done = true; // no sheetData: no rows
                return;
            }
            if (t == QXmlStreamReader::StartElement && xml->Is(u"sheetData"))
                return;
        }
    }

    bool Next(ListRow &row) override
    {
        while (!done) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndElement && xml->Is(u"sheetData")) {
                xml->Finish();
                done = true;
                return false;
            }
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (!xml->Is(u"row")) {
                xml->Skip();
                continue;
            }
            const QString r = xml->Attribute(u"r");
            qint64 line = previousRow + 1;
            if (!r.isEmpty()) {
                bool ok = false;
                line = r.toLongLong(&ok);
                if (!ok || line < 1)
                    archive->Fail(QStringLiteral("行番号「%1」が正しくありません").arg(r.left(20)));
            }
            previousRow = std::min(line, kMaxRow + 1);
            if (ReadRow(row, line))
                return true;
        }
        return false;
    }

private:
    // After the start of <row>: its cells into `row`; false for a row with
    // no text.
    bool ReadRow(ListRow &row, qint64 line)
    {
        builder.Start(row);
        qint64 column = -1;
        const int outer = xml->depth - 1;
        while (xml->depth > outer) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (!xml->Is(u"c")) {
                xml->Skip();
                continue;
            }
            const QString ref = xml->Attribute(u"r");
            column = ref.isEmpty() ? column + 1 : Column(ref, line);
            const QString type = xml->Attribute(u"t");
            const QString style = xml->Attribute(u"s");
            QString value, inlineText;
            bool hasInline = false;
            const int cellOuter = xml->depth - 1;
            while (xml->depth > cellOuter) {
                const QXmlStreamReader::TokenType u = xml->Next();
                if (u == QXmlStreamReader::EndDocument)
                    xml->Fail();
                if (u != QXmlStreamReader::StartElement)
                    continue;
                if (xml->Is(u"v")) {
                    value = xml->Text();
                } else if (xml->Is(u"is")) {
                    inlineText = SharedStrings::richText(*xml);
                    hasInline = true;
                } else {
                    xml->Skip();
                }
            }
            builder.Put(row, column, 1, Shown(type, value, hasInline, inlineText, style, line));
        }
        if (!builder.Finish(row))
            return false;
        if (line > kMaxRow)
            archive->Fail(
                QStringLiteral("%1 行目: %2 行目より下の行は読めません").arg(line).arg(kMaxRow));
        row.line = static_cast<int>(line);
        return true;
    }

    // The column of a cell reference such as "C7", from 0.
    qint64 Column(const QString &ref, qint64 line) const
    {
        qint64 column = 0;
        qsizetype i = 0;
        for (; i < ref.size() && i < 4; ++i) {
            const char16_t c = ref[i].toUpper().unicode();
            if (c < u'A' || c > u'Z')
                break;
            column = column * 26 + (c - u'A' + 1);
        }
        bool digits = i < ref.size();
        for (qsizetype k = i; k < ref.size(); ++k)
            digits = digits && ref[k] >= u'0' && ref[k] <= u'9';
        if (i == 0 || !digits || column > kMaxColumn)
            archive->Fail(QStringLiteral("%1 行目: セル番地「%2」が正しくありません")
                              .arg(line)
                              .arg(ref.left(20)));
        return column - 1;
    }

    QString Shown(const QString &type, const QString &value, bool hasInline,
                  const QString &inlineText, const QString &style, qint64 line)
    {
        if (!hasInline && value.isEmpty())
            return {};
        if (type == QStringLiteral("s")) {
            bool ok = false;
            const qsizetype i = value.trimmed().toLongLong(&ok);
            if (!ok || i < 0 || i >= shared.size())
                archive->Fail(QStringLiteral("%1 行目: 共有文字列 %2 番がありません")
                                  .arg(line)
                                  .arg(value.left(20)));
            return shared.At(i);
        }
        if (type == QStringLiteral("inlineStr"))
            return hasInline ? inlineText : decodeEscapes(value);
        if (type == QStringLiteral("str"))
            return decodeEscapes(value);
        if (type == QStringLiteral("e"))
            return value;
        if (type == QStringLiteral("b")) {
            const QString v = value.trimmed();
            return v == QStringLiteral("1")   ? QStringLiteral("TRUE")
                   : v == QStringLiteral("0") ? QStringLiteral("FALSE")
                                              : v;
        }
        if (value.trimmed().isEmpty())
            return {};
        const NumberFormat &format = FormatOf(style);
        if (type == QStringLiteral("d")) {
            const std::optional<double> serial = isoSerial(value, date1904);
            if (!serial)
                return value;
            if (format.IsDate())
                return format.Format(*serial, date1904);
            static const NumberFormat dateOnly(QStringLiteral("yyyy/m/d"));
            static const NumberFormat dateTime(QStringLiteral("yyyy/m/d h:mm"));
            return (*serial == std::floor(*serial) ? dateOnly : dateTime).Format(*serial, date1904);
        }
        bool ok = false;
        const double v = value.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return value;
        return format.Format(v, date1904);
    }

    const NumberFormat &FormatOf(const QString &style)
    {
        bool ok = false;
        const qsizetype xf = style.toLongLong(&ok);
        const int id = ok && xf >= 0 && xf < static_cast<qsizetype>(xfFormats.size())
                           ? xfFormats[static_cast<std::size_t>(xf)]
                           : 0;
        auto it = compiled.find(id);
        if (it == compiled.end())
            it = compiled.emplace(id, NumberFormat(codes.value(id, builtinFormat(id)))).first;
        return it->second;
    }

    void ReadStyles(const QString &part)
    {
        Xml styles(*archive, part, archive->limits.partBytes);
        int cellXfs = -1; // the depth of <cellXfs>, while inside it
        while (styles.Next() != QXmlStreamReader::EndDocument) {
            if (styles.reader.isEndElement() && styles.depth < cellXfs)
                cellXfs = -1;
            if (!styles.reader.isStartElement())
                continue;
            if (styles.Is(u"numFmt")) {
                bool ok = false;
                const int id = styles.Attribute(u"numFmtId").toInt(&ok);
                if (ok)
                    codes.insert(id, styles.Attribute(u"formatCode"));
            } else if (styles.Is(u"cellXfs")) {
                cellXfs = styles.depth;
            } else if (styles.Is(u"xf") && cellXfs >= 0 && styles.depth == cellXfs + 1) {
                xfFormats.push_back(styles.Attribute(u"numFmtId").toInt());
            }
        }
    }

    std::unique_ptr<Archive> archive;
    QString sheetPart;
    bool date1904 = false;
    SharedStrings shared;
    QHash<int, QString> codes;  // numFmtId -> the workbook's own format code
    std::vector<int> xfFormats; // cell style -> numFmtId
    std::map<int, NumberFormat> compiled;
    std::unique_ptr<Xml> xml;
    RowBuilder builder;
    qint64 previousRow = 0;
    bool done = false;
};

// ---------------------------------------------------------------------------
// OpenDocument spreadsheets

const QString kOfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kTableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kTextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

// A repeat count: at least 1; a value beyond any sheet is held to 2^31 so
// that sums of them stay far inside 64 bits.
qint64 repeatCount(const QString &text)
{
    if (text.isEmpty())
        return 1;
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok)
        return text.size() > 9 && text.front().isDigit() ? qint64(1) << 31 : 1;
    return std::clamp<qint64>(n, 1, qint64(1) << 31);
}

class OdsReader final : public ListReader
{
public:
    OdsReader(std::unique_ptr<Archive> zip, const QString &sheet)
        : archive(std::move(zip)), sheet(sheet)
    {
        Rewind();
    }

    void Rewind() override
    {
        xml.reset();
        xml = std::make_unique<Xml>(*archive, QStringLiteral("content.xml"),
                                    archive->limits.sheetBytes);
        rowsAbove = 0;
        repeatLeft = 0;
        done = false;
        QStringList names;
        for (;;) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                break;
            if (t != QXmlStreamReader::StartElement || !xml->Is(kTableNs, u"table"))
                continue;
            const QString name = xml->Attribute(kTableNs, u"name");
            if (sheet.isEmpty() || name.compare(sheet, Qt::CaseInsensitive) == 0) {
                tableDepth = xml->depth;
                return;
            }
            names << name;
            xml->Skip();
        }
        if (!sheet.isEmpty())
            unknownSheet(*archive, sheet, names);
        done = true; // no sheet at all: no rows
    }

    // Every table's name, in the document's order: the whole content read
    // once, each table skipped over.
    QStringList SheetNames()
    {
        QStringList names;
        Xml scan(*archive, QStringLiteral("content.xml"), archive->limits.sheetBytes);
        while (scan.Next() != QXmlStreamReader::EndDocument)
            if (scan.reader.isStartElement() && scan.Is(kTableNs, u"table")) {
                names << scan.Attribute(kTableNs, u"name");
                scan.Skip();
            }
        return names;
    }

    bool Next(ListRow &row) override
    {
        if (repeatLeft > 0) {
            --repeatLeft;
            ++held.line;
            if (held.line > kMaxRow)
                TooFarDown(held.line);
            row = held;
            return true;
        }
        while (!done) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t == QXmlStreamReader::EndElement && xml->depth < tableDepth) {
                xml->Finish();
                done = true;
                return false;
            }
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (xml->Is(kTableNs, u"table-row")) {
                const qint64 repeat =
                    repeatCount(xml->Attribute(kTableNs, u"number-rows-repeated"));
                const qint64 line = rowsAbove + 1;
                rowsAbove += repeat;
                if (!ReadRow(held))
                    continue;
                if (line > kMaxRow)
                    TooFarDown(line);
                held.line = static_cast<int>(line);
                repeatLeft = repeat - 1;
                row = held;
                return true;
            }
            // Rows are also found inside these; everything else at the
            // table's level (columns, shapes, forms) is left unread.
            if (!xml->Is(kTableNs, u"table-header-rows") && !xml->Is(kTableNs, u"table-rows") &&
                !xml->Is(kTableNs, u"table-row-group"))
                xml->Skip();
        }
        return false;
    }

private:
    [[noreturn]] void TooFarDown(qint64 line) const
    {
        archive->Fail(
            QStringLiteral("%1 行目: %2 行目より下の行は読めません").arg(line).arg(kMaxRow));
    }

    // After the start of <table:table-row>: its cells; false for a row with
    // no text.
    bool ReadRow(ListRow &row)
    {
        builder.Start(row);
        qint64 column = 0;
        const int outer = xml->depth - 1;
        while (xml->depth > outer) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t != QXmlStreamReader::StartElement)
                continue;
            const bool covered = xml->Is(kTableNs, u"covered-table-cell");
            if (!covered && !xml->Is(kTableNs, u"table-cell")) {
                xml->Skip();
                continue;
            }
            const qint64 repeat = repeatCount(xml->Attribute(kTableNs, u"number-columns-repeated"));
            // A covered cell is hidden under a merged one: it shows nothing.
            if (covered) {
                xml->Skip();
            } else {
                builder.Put(row, column, repeat, CellText());
            }
            column += repeat;
        }
        return builder.Finish(row);
    }

    // After the start of <table:table-cell>: the text it shows, its
    // paragraphs joined by line breaks; on to its end.
    QString CellText()
    {
        const QString valueType = xml->Attribute(kOfficeNs, u"value-type");
        const QString value = xml->Attribute(kOfficeNs, u"value");
        const QString dateValue = xml->Attribute(kOfficeNs, u"date-value");
        const QString booleanValue = xml->Attribute(kOfficeNs, u"boolean-value");
        const QString stringValue = xml->Attribute(kOfficeNs, u"string-value");
        QString text;
        bool paragraphs = false;
        const int cellDepth = xml->depth;
        while (xml->depth >= cellDepth) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (xml->depth == cellDepth + 1 && (xml->Is(kTextNs, u"p") || xml->Is(kTextNs, u"h"))) {
                if (paragraphs)
                    Append(text, u"\n");
                paragraphs = true;
                Paragraph(text);
            } else {
                xml->Skip(); // notes, frames, lists
            }
        }
        if (paragraphs)
            return text;
        // A file written without the shown text: its value, plainly.
        if (valueType == QStringLiteral("string"))
            return stringValue;
        if (valueType == QStringLiteral("boolean"))
            return booleanValue == QStringLiteral("true") ? QStringLiteral("TRUE")
                                                          : QStringLiteral("FALSE");
        if (valueType == QStringLiteral("date")) {
            const QDateTime when = QDateTime::fromString(dateValue, Qt::ISODate);
            const QDate date = QDate::fromString(dateValue.left(10), Qt::ISODate);
            if (!date.isValid())
                return dateValue;
            QString shown =
                QStringLiteral("%1/%2/%3").arg(date.year()).arg(date.month()).arg(date.day());
            if (when.isValid() && when.time() != QTime(0, 0))
                shown += when.time().toString(QStringLiteral(" H:mm"));
            return shown;
        }
        if (!value.isEmpty()) {
            bool ok = false;
            const double v = value.toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return value;
            return valueType == QStringLiteral("percentage") ? general(v * 100) + u'%' : general(v);
        }
        return {};
    }

    static void Append(QString &text, QStringView more)
    {
        if (text.size() < kMaxCellLength)
            text += more.left(kMaxCellLength - text.size());
    }

    // After the start of <text:p>: its text onto `text`. Runs of white
    // space in the XML are one space, and none at the paragraph's ends;
    // <text:s>, <text:tab> and <text:line-break> are the kept ones.
    void Paragraph(QString &text)
    {
        bool space = false;   // a run of white space waits for more text
        bool started = false; // text in this paragraph so far
        const auto put = [&](QStringView s) {
            if (space && started)
                Append(text, u" ");
            space = false;
            started = true;
            Append(text, s);
        };
        const int pDepth = xml->depth;
        while (xml->depth >= pDepth) {
            const QXmlStreamReader::TokenType t = xml->Next();
            if (t == QXmlStreamReader::EndDocument)
                xml->Fail();
            if (t == QXmlStreamReader::Characters) {
                const QStringView chunk = xml->reader.text();
                qsizetype i = 0;
                while (i < chunk.size()) {
                    qsizetype j = i;
                    while (j < chunk.size() && !IsXmlSpace(chunk[j]))
                        ++j;
                    if (j > i)
                        put(chunk.mid(i, j - i));
                    if (j < chunk.size())
                        space = true;
                    while (j < chunk.size() && IsXmlSpace(chunk[j]))
                        ++j;
                    i = j;
                }
                continue;
            }
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (xml->Is(kTextNs, u"s")) {
                bool ok = false;
                const qint64 n = xml->Attribute(kTextNs, u"c").toLongLong(&ok);
                const qint64 count = ok ? std::clamp<qint64>(n, 1, kMaxCellLength) : 1;
                if (space && started)
                    Append(text, u" ");
                space = false;
                started = true;
                if (text.size() < kMaxCellLength)
                    Append(text, QString(count, u' '));
                xml->Skip();
            } else if (xml->Is(kTextNs, u"tab")) {
                put(u"\t");
                xml->Skip();
            } else if (xml->Is(kTextNs, u"line-break")) {
                put(u"\n");
                xml->Skip();
            } else if (xml->Is(kTextNs, u"ruby-text") || xml->Is(kTextNs, u"note") ||
                       xml->Is(kOfficeNs, u"annotation")) {
                xml->Skip(); // furigana, notes and comments are not shown in the cell
            }
            // Spans, links, ruby bases and fields: their text is read on.
        }
    }

    static bool IsXmlSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

    std::unique_ptr<Archive> archive;
    QString sheet;
    std::unique_ptr<Xml> xml;
    int tableDepth = 0;
    RowBuilder builder;
    qint64 rowsAbove = 0;  // rows of the sheet before the next one read
    qint64 repeatLeft = 0; // copies of `held` still to give
    ListRow held;
    bool done = false;
};

// ---------------------------------------------------------------------------

std::unique_ptr<ListReader> openArchive(std::unique_ptr<Archive> archive, const QString &sheet)
{
    if (archive->Has(QStringLiteral("[Content_Types].xml"))) {
        QString workbook;
        for (const Relationship &r : readRelationships(*archive, QString()))
            if (r.kind == QStringLiteral("officeDocument")) {
                workbook = r.part;
                break;
            }
        if (workbook.isEmpty())
            workbook = QStringLiteral("xl/workbook.xml");
        if (workbook.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
            archive->Fail(QStringLiteral(
                "バイナリ形式のブック (.xlsb) は読めません。.xlsx で保存してください"));
        if (archive->Has(workbook))
            return std::make_unique<XlsxReader>(std::move(archive), workbook, sheet);
    }
    if (archive->Has(QStringLiteral("mimetype"))) {
        const std::optional<QByteArray> type = archive->ReadSmall(QStringLiteral("mimetype"), 256);
        if (type &&
            (type->trimmed() == "application/vnd.oasis.opendocument.spreadsheet" ||
             type->trimmed() == "application/vnd.oasis.opendocument.spreadsheet-template")) {
            const QString manifest = QStringLiteral("META-INF/manifest.xml");
            if (archive->Has(manifest)) {
                Xml xml(*archive, manifest, archive->limits.partBytes);
                while (xml.Next() != QXmlStreamReader::EndDocument)
                    if (xml.reader.isStartElement() && xml.Is(u"encryption-data"))
                        archive->Fail(QStringLiteral("パスワードで保護されたファイルは読めません"));
            }
            return std::make_unique<OdsReader>(std::move(archive), sheet);
        }
    }
    archive->Fail(kNotSpreadsheet);
}

} // namespace

std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &sheet)
{
    return OpenSpreadsheet(path, sheet, SpreadsheetLimits{});
}

std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &sheet,
                                            const SpreadsheetLimits &limits)
{
    auto file = std::make_unique<QFile>();
    try {
        files::OpenForReading(*file, path);
    } catch (const FileError &e) {
        throw ListError(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
    return openArchive(std::make_unique<Archive>(std::move(file), path, limits), sheet);
}

std::unique_ptr<ListReader> OpenSpreadsheet(const QByteArray &bytes, const QString &path,
                                            const QString &sheet, const SpreadsheetLimits &limits)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    return openArchive(std::make_unique<Archive>(std::move(buffer), path, limits), sheet);
}

QStringList SpreadsheetSheetNames(const QString &path)
{
    std::unique_ptr<ListReader> reader = OpenSpreadsheet(path, QString());
    if (auto *xlsx = dynamic_cast<XlsxReader *>(reader.get()))
        return xlsx->sheetNames;
    if (auto *ods = dynamic_cast<OdsReader *>(reader.get()))
        return ods->SheetNames();
    return {};
}
