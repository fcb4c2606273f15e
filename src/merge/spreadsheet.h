#pragma once
#include "merge/list.h"

#include <QByteArray>

// What a spreadsheet file may make the reader spend. A file is a zip whose
// entries claim their own sizes; nothing is allocated for what a file only
// claims, and a file beyond these bounds is refused with one ListError.
struct SpreadsheetLimits
{
    // Uncompressed bytes read from the sheet's XML (the rows).
    qint64 sheetBytes = qint64(256) << 20;
    // From the shared strings of a workbook.
    qint64 sharedBytes = qint64(128) << 20;
    // From any other entry read: the workbook, its relationships and styles,
    // the content types, the mimetype and the manifest.
    qint64 partBytes = qint64(16) << 20;
    // The shared strings are held in memory while the sheet is read: at
    // most this many UTF-16 units (32 MB) in this many strings.
    qsizetype sharedChars = qsizetype(16) << 20;
    qsizetype sharedCount = 1 << 20;
    // Bytes of one run of text or of one tag (between '<' and '>'): XML
    // readers hold a whole run at once. A cell holds at most
    // ListReader::kMaxCellLength characters, a small part of this.
    qint64 runBytes = qint64(4) << 20;
    // An entry above `ratioAbove` uncompressed bytes that claims to expand
    // more than `maxRatio` times its compressed size is refused before it is
    // read. Real sheets compress 5 to 40 times.
    qint64 ratioAbove = qint64(4) << 20;
    qint64 maxRatio = 250;
};

// The rows of one sheet of an Office Open XML workbook (.xlsx) or an
// OpenDocument spreadsheet (.ods), which the file's contents tell apart.
// `sheet` names the sheet; empty for the first (the first worksheet of a
// workbook). Throws ListError.
//
// Each cell is the text the spreadsheet program shows for it: an .ods cell's
// paragraphs (joined by "\n"); an .xlsx number formatted by its cell's
// number format (general, fixed decimals, thousands separators, percent,
// digit patterns such as 000-0000, dates and times, Japanese eras), a
// boolean as TRUE or FALSE, a formula by its last computed value. Cells stand
// in their own columns (a missing cell is an empty string); empty cells after
// a row's last non-empty one are not part of the row, so ListRow::count is
// the column of that last cell. ListRow::line is the row's number in the
// spreadsheet program. A row beyond row 1048576 that holds anything is an
// error; a workbook's rows are read in the order the file gives them.
//
// Memory stays flat in the number of rows: the sheet's XML is read from the
// zip as a stream, never whole; only a workbook's shared strings are held,
// within `limits`.
std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &sheet);
std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &sheet,
                                            const SpreadsheetLimits &limits);
// Over bytes already read; `path` only names them in messages.
std::unique_ptr<ListReader> OpenSpreadsheet(const QByteArray &bytes, const QString &path,
                                            const QString &sheet,
                                            const SpreadsheetLimits &limits = {});

// The names of the workbook's sheets, in its order. Throws ListError.
QStringList SpreadsheetSheetNames(const QString &path);
