#include "merge/csv.h"

#include "card/files.h"
#include "card/sjis.h"
#include "card/syserror.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

// Validity of UTF-8, fed byte by byte across chunks: no overlong forms, no
// surrogates, nothing above U+10FFFF.
class Utf8Check
{
public:
    bool Take(unsigned char b)
    {
        if (need == 0) {
            if (b < 0x80)
                return true;
            lo = 0x80;
            hi = 0xBF;
            if (b >= 0xC2 && b <= 0xDF)
                need = 1;
            else if (b >= 0xE0 && b <= 0xEF) {
                need = 2;
                lo = b == 0xE0 ? 0xA0 : 0x80;
                hi = b == 0xED ? 0x9F : 0xBF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                need = 3;
                lo = b == 0xF0 ? 0x90 : 0x80;
                hi = b == 0xF4 ? 0x8F : 0xBF;
            } else
                return false;
            return true;
        }
        if (b < lo || b > hi)
            return false;
        lo = 0x80;
        hi = 0xBF;
        --need;
        return true;
    }
    bool Complete() const { return need == 0; }

private:
    int need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
};

// Validity of code page 932: a lead byte 81-9F or E0-FC followed by a trail
// byte 40-7E or 80-FC; single bytes 80, A0 and FD-FF are not characters.
class SjisCheck
{
public:
    bool Take(unsigned char b)
    {
        if (lead) {
            lead = false;
            return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
        }
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            return true;
        lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        return lead;
    }
    bool Complete() const { return !lead; }

private:
    bool lead = false;
};

} // namespace

CsvReader::CsvReader(const QString &path) : path(path)
{
    auto file = std::make_unique<QFile>();
    try {
        files::OpenForReading(*file, path);
    } catch (const FileError &e) {
        throw ListError(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
    device = std::move(file);
    CheckEncoding();
    Rewind();
}

CsvReader::CsvReader(const QByteArray &bytes, const QString &path) : path(path), memory(bytes)
{
    auto buffer = std::make_unique<QBuffer>(&memory);
    buffer->open(QIODevice::ReadOnly);
    device = std::move(buffer);
    CheckEncoding();
    Rewind();
}

CsvReader::~CsvReader() = default;

void CsvReader::CheckEncoding()
{
    device->seek(0);
    const QByteArray head = device->peek(4);
    const auto bom = [&](const char *mark, qsizetype n) {
        return head.startsWith(QByteArray(mark, n));
    };
    if (bom("\xFF\xFE\x00\x00", 4) || bom("\x00\x00\xFE\xFF", 4))
        throw ListError(
            path,
            QStringLiteral("UTF-32 の CSV は読めません。UTF-8 か Shift-JIS で保存してください"));
    if (bom("\xFF\xFE", 2) || bom("\xFE\xFF", 2))
        throw ListError(
            path,
            QStringLiteral("UTF-16 の CSV は読めません。UTF-8 か Shift-JIS で保存してください"));
    start = bom("\xEF\xBB\xBF", 3) ? 3 : 0;

    Utf8Check u8;
    SjisCheck sj;
    bool u8ok = true, sjok = true;
    int lines = 1, failedLine = 0;
    bool afterCr = false;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device->read(chunk.data(), kChunkBytes);
        if (n < 0)
            throw ListError(
                path,
                QStringLiteral("読めません (%1)").arg(JapaneseErrorText(device->errorString())));
        if (n == 0)
            break;
        for (qint64 k = 0; k < n && (u8ok || sjok); ++k) {
            const auto b = static_cast<unsigned char>(chunk[k]);
            if (u8ok && !u8.Take(b)) {
                u8ok = false;
                failedLine = lines;
            }
            if (sjok)
                sjok = sj.Take(b);
            // CRLF, LF and CR each end a line, as they end rows.
            if (b == '\r' || (b == '\n' && !afterCr))
                ++lines;
            afterCr = b == '\r';
        }
        if (!u8ok && !sjok)
            break;
    }
    if (u8ok && !u8.Complete()) {
        u8ok = false;
        failedLine = lines;
    }
    utf8 = u8ok;
    if (!u8ok && !(sjok && sj.Complete()))
        throw ListError(path, QStringLiteral("%1 行目: UTF-8 として読めないバイトがあり、"
                                             "Shift-JIS としても読めません")
                                  .arg(failedLine));
}

void CsvReader::Rewind()
{
    device->seek(start);
    decoder = std::make_unique<QStringDecoder>(QStringDecoder::Utf8);
    carry.clear();
    atEnd = false;
    text.clear();
    pos = 0;
    line = 1;
}

bool CsvReader::Refill()
{
    if (atEnd)
        return false;
    text.remove(0, pos);
    pos = 0;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    const qint64 n = device->read(chunk.data(), kChunkBytes);
    if (n < 0)
        throw ListError(
            path, QStringLiteral("読めません (%1)").arg(JapaneseErrorText(device->errorString())));
    chunk.truncate(n);
    atEnd = n == 0;
    if (utf8) {
        text += (*decoder)(chunk);
    } else {
        // Cut after the last whole character; a lead byte waits for its trail.
        std::string bytes = carry + chunk.toStdString();
        std::size_t whole = 0;
        for (std::size_t k = 0; k < bytes.size();) {
            const std::size_t len = sjis::isLeadByte(static_cast<unsigned char>(bytes[k])) ? 2 : 1;
            if (k + len > bytes.size() && !atEnd)
                break;
            k += len;
            whole = std::min(k, bytes.size());
        }
        carry = bytes.substr(whole);
        bytes.resize(whole);
        text += sjis::toUnicode(bytes);
    }
    return !atEnd || pos < text.size();
}

bool CsvReader::Has(qsizetype ahead)
{
    while (pos + ahead >= text.size())
        if (!Refill() && pos + ahead >= text.size())
            return false;
    return true;
}

bool CsvReader::AtLineBreak()
{
    return Has(0) && (At(0) == u'\n' || At(0) == u'\r');
}

void CsvReader::EndOfRow()
{
    if (!AtLineBreak())
        return;
    if (At(0) == u'\r' && Has(1) && At(1) == u'\n')
        ++pos;
    ++pos;
    ++line;
}

QString CsvReader::Cell()
{
    QString cell;
    const auto add = [&](QChar c) {
        if (cell.size() < kMaxCellLength)
            cell += c;
    };
    if (Has(0) && At(0) == u'"') {
        const int startLine = line;
        ++pos;
        for (;;) {
            if (!Has(0))
                throw ListError(
                    path, QStringLiteral("%1 行目: 引用符 \" が閉じていません").arg(startLine));
            const QChar c = At(0);
            ++pos;
            if (c == u'"') {
                if (Has(0) && At(0) == u'"') {
                    add(u'"');
                    ++pos;
                    continue;
                }
                break;
            }
            // Inside quotes a CRLF is one line break, as outside.
            if (c == u'\r' && Has(0) && At(0) == u'\n') {
                add(u'\r');
                add(At(0));
                ++pos;
                ++line;
                continue;
            }
            if (c == u'\n' || c == u'\r')
                ++line;
            add(c);
        }
        if (Has(0) && At(0) != u',' && !AtLineBreak())
            throw ListError(
                path, QStringLiteral("%1 行目: 引用符で囲んだ値のあとに文字があります").arg(line));
        return cell;
    }
    while (Has(0) && At(0) != u',' && !AtLineBreak()) {
        add(At(0));
        ++pos;
    }
    return cell;
}

bool CsvReader::Next(ListRow &row)
{
    while (Has(0)) {
        row.line = line;
        row.cells.clear();
        row.count = 0;
        bool blank = true;
        bool more = true;
        while (more) {
            QString cell = Cell();
            blank = blank && cell.isEmpty();
            if (row.cells.size() < kMaxCells)
                row.cells << std::move(cell);
            ++row.count;
            more = Has(0) && At(0) == u',';
            if (more)
                ++pos;
        }
        EndOfRow();
        if (!blank)
            return true;
    }
    return false;
}

std::vector<CsvRow> ParseCsv(const QByteArray &bytes, const QString &path)
{
    CsvReader reader(bytes, path);
    std::vector<CsvRow> rows;
    CsvRow row;
    while (reader.Next(row))
        rows.push_back(row);
    return rows;
}
