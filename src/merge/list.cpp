#include "merge/list.h"
#include "merge/csv.h"
#include "merge/spreadsheet.h"

#include "card/files.h"

#include <QDir>

ListError::ListError(const QString &path, const QString &reason)
    : std::runtime_error(
          (QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason).toStdString())
{}

namespace {

bool isZip(const QString &path)
{
    QByteArray start;
    try {
        start = files::ReadFileStart(path, 4);
    } catch (const FileError &e) {
        throw ListError(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
    // Both spreadsheet formats are zip files.
    return start == QByteArrayLiteral("PK\x03\x04");
}

} // namespace

QStringList ListSheetNames(const QString &path)
{
    return isZip(path) ? SpreadsheetSheetNames(path) : QStringList();
}

std::unique_ptr<ListReader> OpenList(const QString &path, const QString &sheet)
{
    if (isZip(path))
        return OpenSpreadsheet(path, sheet);
    if (!sheet.isEmpty())
        throw ListError(
            path, QStringLiteral("CSV ファイルにはシートがありません (--sheet %1)").arg(sheet));
    return std::make_unique<CsvReader>(path);
}
