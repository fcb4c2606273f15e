#include "cli/csv.h"
#include "cli/args.h"
#include "cli/files.h"

#include "card/sjis.h"

#include <QStringDecoder>

namespace {

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    return sjis::toUnicode(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

class Parser
{
public:
    Parser(const QString &text, const QString &path) : s(text), path(path) {}

    std::vector<CsvRow> Rows()
    {
        std::vector<CsvRow> rows;
        while (i < s.size()) {
            CsvRow row;
            row.line = line;
            bool more = true;
            while (more) {
                row.cells << Cell();
                more = i < s.size() && s[i] == u',';
                if (more)
                    ++i;
            }
            EndOfRow();
            bool blank = true;
            for (const QString &c : std::as_const(row.cells))
                blank = blank && c.isEmpty();
            if (!blank)
                rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    bool AtLineBreak() const { return i < s.size() && (s[i] == u'\n' || s[i] == u'\r'); }

    void EndOfRow()
    {
        if (!AtLineBreak())
            return;
        if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n')
            ++i;
        ++i;
        ++line;
    }

    QString Cell()
    {
        QString cell;
        if (i < s.size() && s[i] == u'"') {
            const int start = line;
            ++i;
            for (;;) {
                if (i >= s.size())
                    throw FileFailure(
                        path, QStringLiteral("%1 行目: 引用符 \" が閉じていません").arg(start));
                const QChar c = s[i++];
                if (c == u'"') {
                    if (i < s.size() && s[i] == u'"') {
                        cell += u'"';
                        ++i;
                        continue;
                    }
                    break;
                }
                // Inside quotes a CRLF is one line break, as outside.
                if (c == u'\r' && i < s.size() && s[i] == u'\n') {
                    cell += u'\r';
                    cell += s[i++];
                    ++line;
                    continue;
                }
                if (c == u'\n' || c == u'\r')
                    ++line;
                cell += c;
            }
            if (i < s.size() && s[i] != u',' && !AtLineBreak())
                throw FileFailure(
                    path,
                    QStringLiteral("%1 行目: 引用符で囲んだ値のあとに文字があります").arg(line));
            return cell;
        }
        while (i < s.size() && s[i] != u',' && !AtLineBreak())
            cell += s[i++];
        return cell;
    }

    const QString &s;
    const QString &path;
    qsizetype i = 0;
    int line = 1;
};

} // namespace

std::vector<CsvRow> ParseCsv(const QByteArray &bytes, const QString &path)
{
    const QString text = decode(bytes);
    return Parser(text, path).Rows();
}

std::vector<CsvRow> ReadCsvFile(const QString &path)
{
    return ParseCsv(ReadWholeFile(path), path);
}
