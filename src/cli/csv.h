#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct CsvRow
{
    int line = 0; // where the row starts, from 1
    QStringList cells;
};

// The rows of a CSV file as RFC 4180 writes them: cells separated by commas,
// rows ended by CRLF, LF or CR, a quoted cell holding commas, doubled quotes
// and line breaks. The bytes are read as UTF-8 when they are valid UTF-8 (a
// leading byte-order mark dropped) and as code page 932 otherwise, as
// spreadsheet programs in Japan write them. Rows whose every cell is empty
// (blank lines among them) are left out. Throws Failure (status 1) naming the
// file, and the line for a quote that is not closed or is followed by more
// than the cell's end.
std::vector<CsvRow> ReadCsvFile(const QString &path);
// The same over bytes already read; `path` only names them in messages.
std::vector<CsvRow> ParseCsv(const QByteArray &bytes, const QString &path);
