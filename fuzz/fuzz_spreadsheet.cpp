// The spreadsheet reader over arbitrary bytes: it either gives rows or
// refuses the file in one ListError, and every row it gives keeps the
// reader's bounds. The seeds (fuzz/corpus/spreadsheet/, written by
// tests/merge) include a workbook whose entries are stored, not deflated, so
// that mutations reach its XML.

#include "merge/spreadsheet.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

// Smaller than a real file's bounds, so that one input stays well inside the
// fuzzer's time limit under the sanitizers; the paths taken are the same.
SpreadsheetLimits fuzzLimits()
{
    SpreadsheetLimits limits;
    limits.sheetBytes = 2 << 20;
    limits.sharedBytes = 1 << 20;
    limits.partBytes = 1 << 20;
    limits.sharedChars = 256 << 10;
    limits.sharedCount = 16 << 10;
    limits.runBytes = 64 << 10;
    limits.ratioAbove = 256 << 10;
    return limits;
}

// Rows read from one input at most: a repeated row of an .ods gives a row
// for each repeat, and a million of them is a real sheet, not a fault.
constexpr int kRowsRead = 20000;

void check(const ListRow &row)
{
    if (row.line < 1 || row.line > 1048576 || row.count < 1 ||
        row.cells.size() > ListReader::kMaxCells || row.count < row.cells.size())
        std::abort();
    for (const QString &cell : row.cells)
        if (cell.size() > ListReader::kMaxCellLength)
            std::abort();
    // The row ends with its last non-empty cell, when that one is kept.
    if (row.count == row.cells.size() && row.cells.back().isEmpty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const std::unique_ptr<ListReader> reader =
            OpenSpreadsheet(bytes, QStringLiteral("fuzz.xlsx"), {}, fuzzLimits());
        ListRow first, row;
        bool any = false;
        for (int n = 0; n < kRowsRead && reader->Next(row); ++n) {
            check(row);
            if (!any)
                first = row;
            any = true;
        }
        // A second pass gives the same first row.
        reader->Rewind();
        if (reader->Next(row) != any ||
            (any &&
             (row.line != first.line || row.cells != first.cells || row.count != first.count)))
            std::abort();
    } catch (const ListError &) {
    }
    return 0;
}
