#pragma once
// The list a merge reads its people from: a CSV file or the first (or a
// named) sheet of a spreadsheet, as rows of text cells, the first row the
// column names.

#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

// A list that cannot be read, in one line: "FILE: reason" (the file with
// native separators). The list is left as it was.
class ListError : public std::runtime_error
{
public:
    ListError(const QString &path, const QString &reason);
};

struct ListRow
{
    // Where the row is, from 1, as the user finds it: the line of a CSV file
    // where the row starts, the row number a spreadsheet program shows.
    int line = 0;
    // At most ListReader::kMaxCells, each cut to ListReader::kMaxCellLength;
    // a cell a spreadsheet leaves out is an empty string here.
    QStringList cells;
    qsizetype count = 0; // cells in the row, those beyond kMaxCells too
};

// Reads the rows one at a time; memory does not grow with the number of rows.
// Rows whose every cell is empty are left out. Failures throw ListError.
class ListReader
{
public:
    // The editor keeps no more of a text than this, in UTF-16 units.
    static constexpr qsizetype kMaxCellLength = 32767;
    static constexpr qsizetype kMaxCells = 256;

    virtual ~ListReader() = default;
    // The next row; false after the last.
    virtual bool Next(ListRow &row) = 0;
    // Back before the first row.
    virtual void Rewind() = 0;
};

// The list at `path`, by what the file holds (not its name): an Office Open
// XML workbook (.xlsx), an OpenDocument spreadsheet (.ods), else CSV. `sheet`
// names the sheet to read; empty for the first. A sheet name given for a CSV
// file is an error.
std::unique_ptr<ListReader> OpenList(const QString &path, const QString &sheet = {});

// The sheets of a spreadsheet list, in its order; none for a CSV file.
// Throws ListError.
QStringList ListSheetNames(const QString &path);

// The file filter the window's list dialog offers, and the tool's help names.
inline constexpr const char *kListSuffixes = "*.csv *.xlsx *.ods";
