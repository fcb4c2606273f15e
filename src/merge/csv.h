#pragma once
#include "merge/list.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QIODevice;
class QStringDecoder;

using CsvRow = ListRow;

// The rows of a CSV file as RFC 4180 writes them: cells separated by commas,
// rows ended by CRLF, LF or CR, a quoted cell holding commas, doubled quotes
// and line breaks. Rows whose every cell is empty (blank lines among them)
// are left out.
//
// The file is read in chunks, never whole, so memory does not grow with its
// size. Before any row, one pass over the bytes decides the encoding: UTF-8
// when they all are valid UTF-8 (a leading byte-order mark dropped), else
// code page 932 when they all are valid Shift-JIS, as spreadsheet programs
// in Japan write them; else a failure naming the line where UTF-8 fails.
// UTF-16 and UTF-32 (by their byte-order marks) are refused. Failures are
// ListError naming the file, and the line for a quote that is not closed or
// is followed by more than the cell's end.
class CsvReader : public ListReader
{
public:
    explicit CsvReader(const QString &path);
    // Over bytes already read; `path` only names them in messages.
    CsvReader(const QByteArray &bytes, const QString &path);
    ~CsvReader() override;
    CsvReader(const CsvReader &) = delete;
    CsvReader &operator=(const CsvReader &) = delete;

    // The next row; false after the last.
    bool Next(ListRow &row) override;
    // Back before the first row.
    void Rewind() override;

private:
    void CheckEncoding();
    bool Refill();
    bool Has(qsizetype ahead);
    QChar At(qsizetype ahead) const { return text[pos + ahead]; }
    bool AtLineBreak();
    void EndOfRow();
    QString Cell();

    QString path;
    QByteArray memory;
    std::unique_ptr<QIODevice> device;
    bool utf8 = true;
    qint64 start = 0; // after the byte-order mark
    std::unique_ptr<QStringDecoder> decoder;
    std::string carry; // a Shift-JIS lead byte whose trail byte is in the next chunk
    bool atEnd = false;
    QString text;
    qsizetype pos = 0;
    int line = 1;
};

// Every row of `bytes`, as CsvReader reads them.
std::vector<CsvRow> ParseCsv(const QByteArray &bytes, const QString &path);
