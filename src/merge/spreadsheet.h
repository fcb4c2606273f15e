#pragma once
#include "merge/list.h"

// The rows of one sheet of an Office Open XML workbook (.xlsx) or an
// OpenDocument spreadsheet (.ods), which the file's contents tell apart.
// `sheet` names the sheet; empty for the first. Each cell is the text the
// spreadsheet program shows for it. Throws ListError.
std::unique_ptr<ListReader> OpenSpreadsheet(const QString &path, const QString &sheet);

// The names of the workbook's sheets, in its order. Throws ListError.
QStringList SpreadsheetSheetNames(const QString &path);
