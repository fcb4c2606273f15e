#include "merge/spreadsheet.h"

std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &)
{
    throw ListError(path, QStringLiteral("表計算ソフトのファイルはまだ読めません"));
}

QStringList SpreadsheetSheetNames(const QString &path)
{
    throw ListError(path, QStringLiteral("表計算ソフトのファイルはまだ読めません"));
}
