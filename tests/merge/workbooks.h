#pragma once
// Spreadsheet files made in the tests from XML text, so that every byte the
// reader sees is written here on purpose.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

struct ZipEntry
{
    QString name;
    QByteArray data;
    bool stored = false; // else deflated
};

QByteArray ZipOf(const std::vector<ZipEntry> &entries);

// Sets the uncompressed size the zip's headers claim for `name` (the bytes
// stay as they are).
void ClaimSize(QByteArray &zip, const QString &name, quint32 size);

// An Office Open XML workbook: each sheet's name and the content of its
// <sheetData>, the shared strings (the content of each <si>), and the
// styles' number formats (<numFmt> elements) and cell styles (the numFmtId of
// each <xf> of <cellXfs>).
struct Workbook
{
    std::vector<std::pair<QString, QString>> sheets;
    QStringList shared;
    QString numFmts;
    std::vector<int> cellFormats;
    bool date1904 = false;

    std::vector<ZipEntry> Entries() const;
    QByteArray Bytes() const { return ZipOf(Entries()); }
};

// An OpenDocument spreadsheet whose <office:spreadsheet> holds `tables`.
QByteArray Ods(const QString &tables, const QString &manifestExtra = {});

// A realistic staff list of `rows` people after a header row, written to
// `path` as .xlsx or .ods (by its suffix) a row at a time.
void WriteStaffList(const QString &path, int rows);
