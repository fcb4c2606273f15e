#include "workbooks.h"

#include <QBuffer>
#include <QtEndian>
#include <functional>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>
#include <stdexcept>

namespace {

void writeEntry(QuaZip &zip, const QString &name, bool stored,
                const std::function<void(QuaZipFile &)> &write)
{
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, stored ? 0 : Z_DEFLATED,
                   stored ? 0 : Z_DEFAULT_COMPRESSION))
        throw std::runtime_error("cannot write a zip entry");
    write(file);
    file.close();
    if (file.getZipError() != UNZ_OK)
        throw std::runtime_error("cannot write a zip entry");
}

const char *const kOdsNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\"";

QByteArray odsContent(const QString &tables)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<office:document-content %1><office:body><office:spreadsheet>")
                .arg(QLatin1String(kOdsNamespaces)) +
            tables +
            QStringLiteral("</office:spreadsheet></office:body></office:document-content>"))
        .toUtf8();
}

std::vector<ZipEntry> odsEntries(const QString &manifestExtra)
{
    return {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet", true},
            {QStringLiteral("META-INF/manifest.xml"),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<manifest:manifest "
                            "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
                            "<manifest:file-entry manifest:full-path=\"content.xml\" "
                            "manifest:media-type=\"text/xml\">%1</manifest:file-entry>"
                            "</manifest:manifest>")
                 .arg(manifestExtra)
                 .toUtf8()}};
}

} // namespace

QByteArray ZipOf(const std::vector<ZipEntry> &entries)
{
    QBuffer buffer;
    {
        QuaZip zip(&buffer);
        if (!zip.open(QuaZip::mdCreate))
            throw std::runtime_error("cannot make a zip");
        for (const ZipEntry &e : entries)
            writeEntry(zip, e.name, e.stored, [&](QuaZipFile &f) { f.write(e.data); });
        zip.close();
    }
    return buffer.data();
}

void ClaimSize(QByteArray &zip, const QString &name, quint32 size)
{
    const QByteArray n = name.toUtf8();
    // The local header (size at 22, name at 30) and the central directory
    // record (size at 24, name at 46).
    const struct
    {
        const char *signature;
        int sizeAt, nameAt;
    } headers[] = {{"PK\x03\x04", 22, 30}, {"PK\x01\x02", 24, 46}};
    for (const auto &h : headers)
        for (qsizetype at = zip.indexOf(h.signature); at >= 0;
             at = zip.indexOf(h.signature, at + 4))
            if (zip.mid(at + h.nameAt, n.size()) == n)
                qToLittleEndian<quint32>(size, zip.data() + at + h.sizeAt);
}

std::vector<ZipEntry> Workbook::Entries() const
{
    QString contentTypes = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>");
    const QString rel = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/"
                                       "relationships/");
    QString sheetList, workbookRels;
    std::vector<ZipEntry> entries;
    entries.push_back({QStringLiteral("[Content_Types].xml"), contentTypes.toUtf8()});
    entries.push_back(
        {QStringLiteral("_rels/.rels"),
         QStringLiteral("<Relationships "
                        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"rId1\" Type=\"%1officeDocument\" "
                        "Target=\"xl/workbook.xml\"/></Relationships>")
             .arg(rel)
             .toUtf8()});
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        // Sheets are numbered backwards, so that the workbook's order and not
        // the parts' names decides which one is first.
        const QString file = QStringLiteral("sheet%1.xml").arg(sheets.size() - i);
        sheetList += QStringLiteral("<sheet name=\"%1\" sheetId=\"%2\" r:id=\"rIdS%2\"/>")
                         .arg(sheets[i].first)
                         .arg(i + 1);
        workbookRels += QStringLiteral("<Relationship Id=\"rIdS%1\" Type=\"%2worksheet\" "
                                       "Target=\"worksheets/%3\"/>")
                            .arg(i + 1)
                            .arg(rel, file);
        entries.push_back(
            {QStringLiteral("xl/worksheets/") + file,
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                            "<worksheet "
                            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                            "<dimension ref=\"A1\"/><sheetData>%1</sheetData>"
                            "<pageMargins left=\"0.7\"/></worksheet>")
                 .arg(sheets[i].second)
                 .toUtf8()});
    }
    const QString main = QStringLiteral("xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                                        "2006/main\"");
    if (!shared.isEmpty()) {
        workbookRels += QStringLiteral("<Relationship Id=\"rIdT\" Type=\"%1sharedStrings\" "
                                       "Target=\"/xl/sharedStrings.xml\"/>")
                            .arg(rel);
        QString sst = QStringLiteral("<sst %1 count=\"%2\">").arg(main).arg(shared.size());
        for (const QString &si : shared)
            sst += QStringLiteral("<si>") + si + QStringLiteral("</si>");
        entries.push_back({QStringLiteral("xl/sharedStrings.xml"), (sst + "</sst>").toUtf8()});
    }
    if (!cellFormats.empty()) {
        workbookRels += QStringLiteral("<Relationship Id=\"rIdY\" Type=\"%1styles\" "
                                       "Target=\"styles.xml\"/>")
                            .arg(rel);
        QString xfs;
        for (int id : cellFormats)
            xfs += QStringLiteral("<xf numFmtId=\"%1\" fontId=\"0\" applyNumberFormat=\"1\"/>")
                       .arg(id);
        entries.push_back(
            {QStringLiteral("xl/styles.xml"),
             QStringLiteral("<styleSheet %1><numFmts>%2</numFmts><cellStyleXfs><xf "
                            "numFmtId=\"14\"/></cellStyleXfs><cellXfs>%3</cellXfs></styleSheet>")
                 .arg(main, numFmts, xfs)
                 .toUtf8()});
    }
    entries.push_back(
        {QStringLiteral("xl/workbook.xml"),
         QStringLiteral("<workbook %1 xmlns:r=\"http://schemas.openxmlformats.org/"
                        "officeDocument/2006/relationships\"><workbookPr%2/><sheets>%3</sheets>"
                        "</workbook>")
             .arg(main, date1904 ? QStringLiteral(" date1904=\"1\"") : QString(), sheetList)
             .toUtf8()});
    entries.push_back(
        {QStringLiteral("xl/_rels/workbook.xml.rels"),
         QStringLiteral("<Relationships "
                        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "%1</Relationships>")
             .arg(workbookRels)
             .toUtf8()});
    return entries;
}

QByteArray Ods(const QString &tables, const QString &manifestExtra)
{
    std::vector<ZipEntry> entries = odsEntries(manifestExtra);
    entries.push_back({QStringLiteral("content.xml"), odsContent(tables)});
    return ZipOf(entries);
}

void WriteStaffList(const QString &path, int rows)
{
    const bool ods = path.endsWith(QStringLiteral(".ods"));
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        throw std::runtime_error("cannot make a zip");
    const QString name =
        ods ? QStringLiteral("content.xml") : QStringLiteral("xl/worksheets/sheet1.xml");
    // Everything but the sheet, from the small builders.
    std::vector<ZipEntry> rest;
    if (ods) {
        rest = odsEntries({});
    } else {
        Workbook book;
        book.sheets = {{QStringLiteral("社員"), QString()}};
        book.shared = {QStringLiteral("<t>氏名</t>"), QStringLiteral("<t>電話</t>")};
        book.cellFormats = {0, 14};
        for (const ZipEntry &e : book.Entries())
            if (e.name != name)
                rest.push_back(e);
    }
    for (const ZipEntry &e : rest)
        writeEntry(zip, e.name, e.stored, [&](QuaZipFile &f) { f.write(e.data); });
    writeEntry(zip, name, false, [&](QuaZipFile &f) {
        QByteArray chunk;
        if (ods) {
            QByteArray content = odsContent(QStringLiteral("@"));
            const qsizetype at = content.indexOf('@');
            f.write(content.left(at) + "<table:table table:name=\"社員\">");
            for (int r = 0; r <= rows; ++r) {
                chunk +=
                    r == 0
                        ? QStringLiteral("<table:table-row><table:table-cell><text:p>氏名</text:p>"
                                         "</table:table-cell><table:table-cell><text:p>電話"
                                         "</text:p></table:table-cell></table:table-row>")
                              .toUtf8()
                        : QStringLiteral("<table:table-row><table:table-cell><text:p>山田 太郎 %1"
                                         "</text:p></table:table-cell><table:table-cell "
                                         "office:value-type=\"string\"><text:p>03-1234-%2"
                                         "</text:p></table:table-cell></table:table-row>")
                              .arg(r)
                              .arg(r % 10000, 4, 10, QLatin1Char('0'))
                              .toUtf8();
                if (chunk.size() > 60000) {
                    f.write(chunk);
                    chunk.clear();
                }
            }
            f.write(chunk + "</table:table>" + content.mid(at + 1));
            return;
        }
        f.write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet "
            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>");
        for (int r = 2; r <= rows + 1; ++r) {
            chunk +=
                QStringLiteral("<row r=\"%1\"><c r=\"A%1\" t=\"inlineStr\"><is><t>山田 太郎 %1</t>"
                               "</is></c><c r=\"B%1\"><v>%2</v></c></row>")
                    .arg(r)
                    .arg(312345678 + r)
                    .toUtf8();
            if (chunk.size() > 60000) {
                f.write(chunk);
                chunk.clear();
            }
        }
        f.write(chunk + "</sheetData></worksheet>");
    });
    zip.close();
}
