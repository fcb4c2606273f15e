// The CSV reader of plakuro-cli merge over arbitrary bytes: it either gives
// rows or reports the file as damaged, and every row it gives starts at a
// line that exists.

#include "merge/csv.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const std::vector<CsvRow> rows = ParseCsv(bytes, QStringLiteral("fuzz.csv"));
        int last = 0;
        for (const CsvRow &row : rows) {
            if (row.line <= last || row.line > static_cast<int>(size) + 1)
                std::abort();
            last = row.line;
        }
    } catch (const ListError &) {
    }
    return 0;
}
