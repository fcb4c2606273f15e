// The spreadsheet reader: cells as the spreadsheet program shows them, rows
// by their numbers there, and hostile files refused in one line.
#include "workbooks.h"

#include "merge/spreadsheet.h"
#include "peak_memory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Failures show the texts, not their code units.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Every row as "LINE: cell|cell", with "(COUNT)" after the line when the row
// has more cells than it keeps. Each file is read twice, Rewind() between,
// and must give the same rows both times.
QString dump(ListReader &reader)
{
    QStringList pass[2];
    for (QStringList &lines : pass) {
        ListRow row;
        while (reader.Next(row))
            lines << QStringLiteral("%1%2: %3")
                         .arg(row.line)
                         .arg(row.count == row.cells.size() ? QString()
                                                            : QStringLiteral("(%1)").arg(row.count))
                         .arg(row.cells.join(u'|'));
        reader.Rewind();
    }
    EXPECT_EQ(pass[0], pass[1]);
    return pass[0].join(u'\n');
}

QString rowsOf(const QByteArray &file, const QString &sheet = {})
{
    return dump(*OpenSpreadsheet(file, QStringLiteral("list"), sheet));
}

// The one-line failure of opening and reading the file; empty when none.
QString failureOf(const QByteArray &file, const SpreadsheetLimits &limits = {},
                  const QString &sheet = {})
{
    try {
        const std::unique_ptr<ListReader> reader =
            OpenSpreadsheet(file, QStringLiteral("list"), sheet, limits);
        ListRow row;
        while (reader->Next(row)) {
        }
    } catch (const ListError &e) {
        const QString what = QString::fromUtf8(e.what());
        EXPECT_FALSE(what.contains(u'\n')) << e.what();
        return what;
    }
    return {};
}

QString cell(const QString &ref, const QString &attributes, const QString &content = {})
{
    return QStringLiteral("<c r=\"%1\"%2>%3</c>").arg(ref, attributes, content);
}

} // namespace

TEST(Xlsx, CellsAsShownInTheirColumnsAndRows)
{
    Workbook book;
    book.shared = {QStringLiteral("<t>氏名</t>"),
                   // Runs joined, the furigana left out, "_x000D_" a character.
                   QStringLiteral("<r><t>山田</t></r><r><rPr><b/></rPr><t xml:space=\"preserve\"> "
                                  "太郎</t></r><rPh sb=\"0\" eb=\"2\"><t>ヤマダ</t></rPh>"
                                  "<phoneticPr fontId=\"1\"/>"),
                   QStringLiteral("<t>0312345678</t>"), QStringLiteral("<t>本社_x000D_\n2階</t>")};
    book.cellFormats = {0, 14};
    book.sheets = {
        {QStringLiteral("名簿"),
         QStringLiteral("<row r=\"1\">") + cell("A1", " t=\"s\"", "<v>0</v>") +
             cell("C1", " t=\"inlineStr\"", "<is><t>番号</t></is>") + QStringLiteral("</row>") +
             // Styled empty cells and an empty row are no row at all.
             QStringLiteral("<row r=\"2\">") + cell("A2", " s=\"1\"") + cell("B2", " t=\"s\"") +
             QStringLiteral("</row>") + QStringLiteral("<row r=\"4\" spans=\"1:5\">") +
             cell("A4", " t=\"s\"", "<v>1</v>") + cell("B4", " t=\"s\"", "<v>2</v>") +
             cell("C4", "", "<v>312345678</v>") + cell("D4", " s=\"1\"", "<v>45383</v>") +
             cell("E4", " t=\"b\"", "<v>1</v>") + cell("F4", " s=\"1\"") +
             QStringLiteral("</row><row r=\"7\">") +
             cell("B7", " t=\"str\"", "<f>A4&amp;\"様\"</f><v>山田 太郎様</v>") +
             cell("C7", "", "<f>1/3</f><v>0.33333333333333331</v>") +
             cell("D7", " t=\"e\"", "<f>1/0</f><v>#DIV/0!</v>") +
             cell("E7", " t=\"d\"", "<v>2024-04-01T09:30:00</v>") +
             cell("F7", " t=\"s\"", "<v>3</v>") + QStringLiteral("</row>") +
             // Cells without a reference follow the one before them.
             QStringLiteral("<row><c t=\"inlineStr\"><is><t>次の行</t></is></c><c><v>0.1</v></c>"
                            "</row>")}};
    EXPECT_EQ(rowsOf(book.Bytes()),
              QStringLiteral("1: 氏名||番号\n"
                             "4: 山田 太郎|0312345678|312345678|2024/4/1|TRUE\n"
                             "7: |山田 太郎様|0.333333333333333|#DIV/0!|2024/4/1 9:30|本社\r\n2階\n"
                             "8: 次の行|0.1"));
}

// Numbers through the formats a cell's style applies, built in (by number)
// and the workbook's own.
TEST(Xlsx, NumberFormats)
{
    struct Case
    {
        int id; // a built-in format, or 0 with `code`
        const char *code;
        double value;
        const char *shown;
    };
    const Case cases[] = {
        {0, "", 312345678, "312345678"},
        {0, "", 0.30000000000000004, "0.3"},
        {0, "", -1.5, "-1.5"},
        {0, "", 1e20, "1E+20"},
        {0, "", 123456789012345678.0, "1.23456789012346E+17"},
        {0, "", 0.000012, "0.000012"},
        {1, "", 2.5, "3"},
        {1, "", -2.5, "-3"},
        {2, "", 2.675, "2.68"},
        {2, "", -0.001, "0.00"},
        {3, "", 1234567, "1,234,567"},
        {4, "", 1234.5, "1,234.50"},
        {9, "", 0.125, "13%"},
        {10, "", 0.125, "12.50%"},
        {14, "", 45383, "2024/4/1"},
        {14, "", 60, "1900/2/29"},
        {14, "", 61, "1900/3/1"},
        {22, "", 45383.75, "2024/4/1 18:00"},
        {31, "", 45383, "2024年4月1日"},
        {58, "", 45383, "令和6年4月1日"},
        {58, "", 32516, "平成1年1月8日"},
        {20, "", 0.99999999, "0:00"},
        {0, "yyyy/mm/dd", 45383, "2024/04/01"},
        {0, "yyyy\"年\"m\"月\"d\"日\"(aaa)", 45383, "2024年4月1日(月)"},
        {0, "[$-411]ggge\"年\"m\"月\"d\"日\"", 43586, "令和1年5月1日"},
        {0, "d-mmm-yy dddd", 45383, "1-Apr-24 Monday"},
        {0, "h:mm AM/PM", 0.75, "6:00 PM"},
        {0, "[h]:mm", 1.5, "36:00"},
        {0, "mm:ss.00", 0.5 / 86400, "00:00.50"},
        {0, "000-0000", 1000001, "100-0001"},
        {0, "000-0000", 12345, "001-2345"},
        {0, "00000", 123, "00123"},
        {0, "#,##0\"円\"", -5000, "-5,000円"},
        {0, "\"¥\"#,##0;\"▲\"#,##0", -300, "▲300"},
        {0, "[$¥-411]#,##0.00", 1500, "¥1,500.00"},
        {0, "#,##0,\"千円\"", 1234567, "1,235千円"},
        {0, "0.0%", 0.5, "50.0%"},
        {0, "#.##", 0.5, ".5"},
        {0, "0.0#", 3, "3.0"},
        {0, "0;-0;\"ゼロ\"", 0, "ゼロ"},
        {0, "@", 42, "42"},
        {0, ";;;", 42, ""},
        {0, "[Red]0.0", 4.25, "4.3"},
        // Conditions, exponents and fractions: the general format.
        {0, "[<=9999999]###-####;(###) ###-####", 5551234, "5551234"},
        {0, "0.00E+00", 12345, "12345"},
        {0, "# ?/?", 1.5, "1.5"},
        // A date the programs do not show: the number.
        {14, "", -1, "-1"},
    };
    Workbook book;
    QString rows;
    int r = 1;
    for (const Case &c : cases) {
        int id = c.id;
        if (id == 0 && *c.code) {
            id = 200 + r;
            book.numFmts += QStringLiteral("<numFmt numFmtId=\"%1\" formatCode=\"%2\"/>")
                                .arg(id)
                                .arg(QString::fromUtf8(c.code).toHtmlEscaped());
        }
        book.cellFormats.push_back(id);
        rows += QStringLiteral("<row r=\"%1\">").arg(r) +
                cell(QStringLiteral("A%1").arg(r), QStringLiteral(" s=\"%1\"").arg(r - 1),
                     QStringLiteral("<v>%1</v>").arg(c.value, 0, 'g', 17)) +
                cell(QStringLiteral("B%1").arg(r), QStringLiteral(" t=\"inlineStr\""),
                     QStringLiteral("<is><t>x</t></is>")) +
                QStringLiteral("</row>");
        ++r;
    }
    book.sheets = {{QStringLiteral("Sheet1"), rows}};
    const QStringList shown = rowsOf(book.Bytes()).split(u'\n');
    ASSERT_EQ(shown.size(), static_cast<qsizetype>(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(shown[static_cast<qsizetype>(i)],
                  QStringLiteral("%1: %2|x").arg(i + 1).arg(QString::fromUtf8(cases[i].shown)))
            << cases[i].code << " " << cases[i].id;

    // Day 0 of the 1904 system is its first of January.
    book.date1904 = true;
    book.cellFormats = {14};
    book.sheets = {{QStringLiteral("Sheet1"), cell("A1", " s=\"0\"", "<v>0</v>")}};
    book.sheets[0].second = "<row r=\"1\">" + book.sheets[0].second + "</row>";
    EXPECT_EQ(rowsOf(book.Bytes()), QStringLiteral("1: 1904/1/1"));
}

TEST(Xlsx, SheetsByWorkbookOrderOrName)
{
    Workbook book;
    book.sheets = {{QStringLiteral("表紙"), "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>一枚目"
                                            "</t></is></c></row>"},
                   {QStringLiteral("名簿"), "<row r=\"3\"><c r=\"B3\" t=\"inlineStr\"><is><t>二枚目"
                                            "</t></is></c></row>"}};
    const QByteArray file = book.Bytes();
    EXPECT_EQ(rowsOf(file), QStringLiteral("1: 一枚目"));
    EXPECT_EQ(rowsOf(file, QStringLiteral("名簿")), QStringLiteral("3: |二枚目"));
    EXPECT_EQ(failureOf(file, {}, QStringLiteral("社員")),
              QStringLiteral("list: シート「社員」がありません (シート: 表紙、名簿)"));
    // The names the window's sheet list offers.
    QTemporaryDir dir;
    QFile saved(dir.filePath(QStringLiteral("book.xlsx")));
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
    saved.write(file);
    saved.close();
    EXPECT_EQ(ListSheetNames(saved.fileName()),
              QStringList({QStringLiteral("表紙"), QStringLiteral("名簿")}));
}

// Columns past kMaxCells are counted, not kept; the last column a program
// has (XFD) costs no more than the first.
TEST(Xlsx, ColumnsBeyondThoseKept)
{
    Workbook book;
    book.sheets = {{QStringLiteral("Sheet1"),
                    "<row r=\"1\">" + cell("A1", "", "<v>1</v>") + cell("IV1", "", "<v>256</v>") +
                        cell("IW1", "", "<v>257</v>") + cell("XFD1", "", "<v>16384</v>") +
                        "</row><row r=\"1048576\">" + cell("XFD1048576", "", "<v>1</v>") +
                        "</row>"}};
    auto reader = OpenSpreadsheet(book.Bytes(), QStringLiteral("list"), {});
    ListRow row;
    ASSERT_TRUE(reader->Next(row));
    EXPECT_EQ(row.count, 16384);
    ASSERT_EQ(row.cells.size(), ListReader::kMaxCells);
    EXPECT_EQ(row.cells.front(), QStringLiteral("1"));
    EXPECT_EQ(row.cells.back(), QStringLiteral("256"));
    ASSERT_TRUE(reader->Next(row));
    EXPECT_EQ(row.line, 1048576);
    EXPECT_EQ(row.count, 16384);
    EXPECT_EQ(row.cells.join(QString()), QString());
    EXPECT_FALSE(reader->Next(row));
}

TEST(Ods, RowsRepeatsAndParagraphs)
{
    const QString p = QStringLiteral("<table:table-cell office:value-type=\"string\"><text:p>%1"
                                     "</text:p></table:table-cell>");
    const QString tables =
        QStringLiteral("<table:table table:name=\"表紙\"><table:table-row>") + p.arg("一枚目") +
        QStringLiteral("</table:table-row></table:table>"
                       "<table:table table:name=\"名簿\">"
                       "<table:table-column table:number-columns-repeated=\"16384\"/>"
                       "<table:table-header-rows><table:table-row>") +
        p.arg("氏名") + p.arg("住所") +
        QStringLiteral("<table:table-cell table:number-columns-repeated=\"16382\"/>"
                       "</table:table-row></table:table-header-rows>"
                       "<table:table-row table:number-rows-repeated=\"2\">"
                       "<table:table-cell table:number-columns-repeated=\"16384\"/>"
                       "</table:table-row><table:table-row>"
                       // Several paragraphs, kept and collapsed white space, a
                       // span, furigana and a comment.
                       "<table:table-cell office:value-type=\"string\">"
                       "<office:annotation><text:p>メモ</text:p></office:annotation>"
                       "<text:p>山田<text:s/>太郎</text:p><text:p>  <text:span>営業</text:span>"
                       "<text:s text:c=\"2\"/>部 \n 一課</text:p></table:table-cell>"
                       "<table:table-cell><text:p>東京都<text:tab/>千代田区<text:line-break/>"
                       "<text:ruby><text:ruby-base>丸の内</text:ruby-base>"
                       "<text:ruby-text>まるのうち</text:ruby-text></text:ruby></text:p>"
                       "</table:table-cell>"
                       "<table:table-cell table:number-columns-spanned=\"2\"><text:p>結合</text:p>"
                       "</table:table-cell><table:covered-table-cell><text:p>隠れ</text:p>"
                       "</table:covered-table-cell>") +
        p.arg("右") +
        QStringLiteral(
            "<table:table-cell table:number-columns-repeated=\"16379\"/></table:table-row>"
            "<table:table-row-group><table:table-row "
            "table:number-rows-repeated=\"2\"><table:table-cell "
            "table:number-columns-repeated=\"2\"><text:p>同じ</text:p></table:table-cell>"
            "</table:table-row></table:table-row-group>"
            "<table:table-row table:number-rows-repeated=\"1048568\">"
            "<table:table-cell table:number-columns-repeated=\"16384\"/>"
            "</table:table-row><table:table-row><table:table-cell "
            "office:value-type=\"float\" office:value=\"42\"/></table:table-row>"
            "</table:table>");
    const QByteArray file = Ods(tables);
    EXPECT_EQ(rowsOf(file), QStringLiteral("1: 一枚目"));
    EXPECT_EQ(rowsOf(file, QStringLiteral("名簿")),
              QStringLiteral("1: 氏名|住所\n"
                             "4: 山田 太郎\n営業  部 一課|東京都\t千代田区\n丸の内|結合||右\n"
                             "5: 同じ|同じ\n"
                             "6: 同じ|同じ\n"
                             "1048575: 42"));

    // A row with text repeated past the last row.
    EXPECT_EQ(failureOf(Ods(QStringLiteral("<table:table><table:table-row "
                                           "table:number-rows-repeated=\"1048575\"/>"
                                           "<table:table-row table:number-rows-repeated=\"9\">") +
                            p.arg("x") + QStringLiteral("</table:table-row></table:table>"))),
              QStringLiteral("list: 1048577 行目: 1048576 行目より下の行は読めません"));
    // Millions of repeated empty cells and rows cost nothing.
    EXPECT_EQ(rowsOf(Ods(QStringLiteral("<table:table><table:table-row "
                                        "table:number-rows-repeated=\"2147483647\">"
                                        "<table:table-cell "
                                        "table:number-columns-repeated=\"2147483647\"/>"
                                        "</table:table-row></table:table>"))),
              QString());
}

TEST(Spreadsheet, HostileAndForeignFilesAreRefusedInOneLine)
{
    Workbook plain;
    plain.sheets = {
        {QStringLiteral("Sheet1"), "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"}};
    plain.shared = {QStringLiteral("<t>a</t>")};
    // A workbook whose first sheet is `sheetData`.
    const auto with = [&](const QString &sheetData) {
        Workbook b = plain;
        b.sheets[0].second = sheetData;
        return b.Bytes();
    };
    SpreadsheetLimits small;
    small.sheetBytes = 8 << 20;
    small.runBytes = 1000;
    small.sharedCount = 1;
    small.ratioAbove = 1 << 20;
    small.maxRatio = 100;

    QByteArray claimsHuge = plain.Bytes();
    ClaimSize(claimsHuge, QStringLiteral("xl/worksheets/sheet1.xml"), 0xFFFFFFF0u);
    QByteArray claimsLess = with(QString(2000, u' '));
    ClaimSize(claimsLess, QStringLiteral("xl/worksheets/sheet1.xml"), 200);
    QString rows;
    for (int r = 1; r <= 2000; ++r)
        rows += QStringLiteral("<row r=\"%1\"><c><v>%2</v></c></row>").arg(r).arg(r * 7919 % 10007);
    QByteArray damaged = with(rows);
    damaged[damaged.indexOf("sheet1.xml") + 200] = '\xff';
    QString deep;
    for (int i = 0; i < 200; ++i)
        deep = QStringLiteral("<x>%1</x>").arg(deep);
    std::vector<ZipEntry> dtd = plain.Entries();
    for (ZipEntry &e : dtd)
        if (e.name == QStringLiteral("xl/workbook.xml"))
            e.data.replace("<workbook",
                           "<!DOCTYPE workbook [<!ENTITY a \"aaaaaaaaaa\">"
                           "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><workbook");
    Workbook twoShared = plain;
    twoShared.shared << QStringLiteral("<t>b</t>");

    const struct
    {
        const char *what;
        QByteArray file;
        QString failure;
    } cases[] = {
        {"a zip of something else", ZipOf({{"readme.txt", "hello"}}),
         "表計算ソフトのファイル (.xlsx, .ods) ではありません"},
        {"a text document",
         ZipOf({{"mimetype", "application/vnd.oasis.opendocument.text", true},
                {"content.xml", "<x/>"}}),
         "表計算ソフトのファイル (.xlsx, .ods) ではありません"},
        {"not a zip after its signature", QByteArray("PK\x03\x04 and nothing more"),
         "zip ファイルとして読めません (壊れています)"},
        {"a bomb past the sheet's bound", with(QStringLiteral("<row/>").repeated(1500000)),
         "xl/worksheets/sheet1.xml が大きすぎます (展開すると 8 MB を超えます)"},
        {"a claim of 4 GB", claimsHuge,
         "xl/worksheets/sheet1.xml が大きすぎます (展開すると 8 MB を超えます)"},
        {"a claim of less than there is", claimsLess,
         "xl/worksheets/sheet1.xml が壊れています (XML の 2 行目)"},
        {"a damaged deflate stream", damaged, "xl/worksheets/sheet1.xml が壊れています"},
        {"a compression ratio of a bomb", with(QString(3 << 20, u' ')),
         "xl/worksheets/sheet1.xml の圧縮率が 100 倍を超えます (zip 爆弾とみなして読みません)"},
        {"a cell longer than a run",
         with("<row><c t=\"inlineStr\"><is><t>" + QString(1200, u'x') + "</t></is></c></row>"),
         "xl/worksheets/sheet1.xml に長すぎる値があります (1 MB を超えます)"},
        {"a comment longer than a run", with("<!-- " + QStringLiteral("<>").repeated(600) + " -->"),
         "xl/worksheets/sheet1.xml に長すぎる値があります (1 MB を超えます)"},
        {"too many shared strings", twoShared.Bytes(), "共有文字列が多すぎます (1 個まで)"},
        {"a shared string that is not there",
         with("<row r=\"3\"><c r=\"A3\" t=\"s\"><v>5</v></c></row>"),
         "3 行目: 共有文字列 5 番がありません"},
        {"nesting", with(deep), "xl/worksheets/sheet1.xml の XML の入れ子が深すぎます"},
        {"entities of a DTD", ZipOf(dtd), "xl/workbook.xml の DTD は読みません"},
        {"a bad cell reference", with("<row r=\"2\"><c r=\"2B\"><v>1</v></c></row>"),
         "2 行目: セル番地「2B」が正しくありません"},
        {"a column past the last", with("<row r=\"2\"><c r=\"XFE2\"><v>1</v></c></row>"),
         "2 行目: セル番地「XFE2」が正しくありません"},
        {"a row past the last", with("<row r=\"1048577\"><c><v>1</v></c></row>"),
         "1048577 行目: 1048576 行目より下の行は読めません"},
        {"an encrypted document", Ods({}, "<manifest:encryption-data/>"),
         "パスワードで保護されたファイルは読めません"},
    };
    for (const auto &c : cases) {
        const QString failure = failureOf(c.file, small);
        EXPECT_TRUE(failure.startsWith(QStringLiteral("list: ") + c.failure))
            << c.what << ": " << failure.toStdString();
    }
    EXPECT_EQ(failureOf(plain.Bytes(), small), QString());
}

TEST(Spreadsheet, OpenListTellsThemByTheirContents)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("名簿.csv")); // the name does not matter
    WriteStaffList(dir.filePath(QStringLiteral("list.ods")), 3);
    ASSERT_TRUE(QFile::rename(dir.filePath(QStringLiteral("list.ods")), path));
    EXPECT_EQ(
        dump(*OpenList(path)),
        QStringLiteral("1: 氏名|電話\n2: 山田 太郎 1|03-1234-0001\n3: 山田 太郎 2|03-1234-0002\n"
                       "4: 山田 太郎 3|03-1234-0003"));
    EXPECT_FALSE(ListSheetNames(path).isEmpty());
    WriteStaffList(dir.filePath(QStringLiteral("list")), 1);
    EXPECT_EQ(dump(*OpenList(dir.filePath(QStringLiteral("list")), QStringLiteral("社員"))),
              QStringLiteral("1: 氏名|電話\n2: 山田 太郎 2|312345680"));
}

// The child's part of LongSheetsAreReadInFlatMemory: reads the list the
// parent names and says its rows and the process's peak.
TEST(Spreadsheet, ReadsOneListAndSaysItsPeak)
{
    const QString path = qEnvironmentVariable("PLAKURO_LIST_TO_READ");
    if (path.isEmpty())
        GTEST_SKIP() << "run by Spreadsheet.LongSheetsAreReadInFlatMemory";
    const std::unique_ptr<ListReader> reader = OpenList(path);
    ListRow row;
    int rows = 0;
    while (reader->Next(row))
        ++rows;
    std::printf("rows %d peak %ld\n", rows, PeakResidentKiB());
}

// Memory does not grow with the rows: a sheet ten times longer adds nothing
// to the peak of a process that reads it. Under AddressSanitizer freed
// memory is held back and counts, so there shorter sheets are only read.
TEST(Spreadsheet, LongSheetsAreReadInFlatMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    const int lengths[] = {1000, 10000};
#else
    const int lengths[] = {10000, 100000};
#endif
    QTemporaryDir dir;
    for (const char *suffix : {"xlsx", "ods"}) {
        long peak[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const QString path = dir.filePath(QStringLiteral("%1.%2").arg(lengths[k]).arg(suffix));
            WriteStaffList(path, lengths[k]);
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PLAKURO_LIST_TO_READ"), path);
#if defined(__SANITIZE_ADDRESS__)
            // A small quarantine of freed blocks, which count as resident.
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":quarantine_size_mb=16"));
#endif
            child.setProcessEnvironment(env);
            child.start(QStringLiteral("/proc/self/exe"),
                        {QStringLiteral("--gtest_filter=Spreadsheet.ReadsOneListAndSaysItsPeak")});
            ASSERT_TRUE(child.waitForFinished(300000));
            const QString out = QString::fromUtf8(child.readAllStandardOutput());
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("rows (\\d+) peak (\\d+)")).match(out);
            ASSERT_TRUE(m.hasMatch()) << out.toStdString();
            EXPECT_EQ(m.captured(1).toInt(), lengths[k] + 1);
            peak[k] = m.captured(2).toLong();
        }
        std::printf("%s: peak %ld KiB reading %d rows, %ld KiB reading %d\n", suffix, peak[0],
                    lengths[0], peak[1], lengths[1]);
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(peak[1] - peak[0], 4 * 1024) << suffix;
#endif
    }
}

TEST(FuzzSeeds, CommittedSeedsAreSpreadsheets)
{
    const QString write = qEnvironmentVariable("PLAKURO_WRITE_FUZZ_SEEDS");
    if (!write.isEmpty()) {
        Workbook book;
        book.shared = {QStringLiteral("<t>氏名</t>"),
                       QStringLiteral("<r><t>山田</t></r><rPh><t>ヤマダ</t></rPh>")};
        book.numFmts =
            QStringLiteral("<numFmt numFmtId=\"176\" formatCode=\"000-0000\"/>"
                           "<numFmt numFmtId=\"177\" "
                           "formatCode=\"ggge&quot;年&quot;m&quot;月&quot;d&quot;日&quot;\"/>");
        book.cellFormats = {0, 14, 176, 177, 4};
        book.sheets = {
            {QStringLiteral("名簿"),
             "<row r=\"1\">" + cell("A1", " t=\"s\"", "<v>0</v>") +
                 cell("B1", " t=\"s\"", "<v>1</v>") + "</row><row r=\"3\">" +
                 cell("A3", " s=\"1\"", "<v>45383</v>") + cell("C3", " s=\"2\"", "<v>1000001</v>") +
                 cell("D3", " s=\"3\"", "<v>45383</v>") + cell("E3", " s=\"4\"", "<v>-1234.5</v>") +
                 cell("F3", " t=\"b\"", "<v>0</v>") +
                 cell("G3", " t=\"inlineStr\"", "<is><t>_x000D_x</t></is>") + "</row>"},
            {QStringLiteral("二"), "<row><c><v>1</v></c></row>"}};
        const QString ods = QStringLiteral(
            "<table:table table:name=\"名簿\"><table:table-row table:number-rows-repeated=\"2\">"
            "<table:table-cell table:number-columns-repeated=\"3\"><text:p>a<text:s "
            "text:c=\"2\"/>b</text:p>"
            "<text:p><text:span>c</text:span><text:tab/></text:p></table:table-cell>"
            "<table:covered-table-cell/><table:table-cell office:value-type=\"float\" "
            "office:value=\"1.5\"/>"
            "</table:table-row><table:table-row table:number-rows-repeated=\"1048570\"/>"
            "<table:table-row><table:table-cell><text:p>last</text:p></table:table-cell></"
            "table:table-row>"
            "</table:table>");
        const std::pair<const char *, QByteArray> seeds[] = {
            {"workbook.xlsx", book.Bytes()},
            {"stored.xlsx",
             [&] {
                 std::vector<ZipEntry> entries = book.Entries();
                 for (ZipEntry &e : entries)
                     e.stored = true;
                 return ZipOf(entries);
             }()},
            {"repeats.ods", Ods(ods)},
        };
        QDir().mkpath(write);
        for (const auto &[name, bytes] : seeds) {
            QFile f(QDir(write).filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
    }
    const QDir dir(QStringLiteral(PLAKURO_SPREADSHEET_SEEDS_DIR));
    const QStringList files = dir.entryList(QDir::Files);
    EXPECT_GE(files.size(), 3) << PLAKURO_SPREADSHEET_SEEDS_DIR;
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_LT(bytes.size(), 8 * 1024) << name.toStdString();
        EXPECT_EQ(failureOf(bytes), QString()) << name.toStdString();
    }
}
