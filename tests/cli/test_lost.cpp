#include "support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Characters code page 932 lacks are said on stderr, field by field and row
// by row; the command still succeeds and writes what the window would save.
TEST(LostCharacters, FillAndMergeWarnAndGoOn)
{
    QTemporaryDir dir;
    const QString card = dir.filePath("card.pkd");
    Ran r = Cli({"fill", "-o", card, "--set", "名前=𠮷田 𠮷", "--set", "eCorp=Café José", "--set",
                 "電話=03-1234-5678"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.Err(), QStringLiteral("plakuro-cli: 警告: 「名前」: 𠮷 は Shift-JIS にないため ? "
                                      "になります\n"
                                      "plakuro-cli: 警告: 「会社名」: é は Shift-JIS にないため ? "
                                      "になります\n"));
    EXPECT_TRUE(Cli({"info", card}).out.contains("\"text\": \"?田 ?\""));

    // A text past what the file keeps: the start is kept, and said so.
    r = Cli({"fill", "-o", dir.filePath("long.pkd"), "--set", "住所=" + QString(200, u'あ')});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.Err(), QStringLiteral("plakuro-cli: 警告: 「住所」: 255 バイトを超えるため、先頭の "
                                      "127 文字だけを保存します\n"));

    const QString csv = dir.filePath("people.csv");
    WriteAll(csv, "名前,会社名\n山田太郎,プラクロ\nJosé,𠮷野家\n");
    r = Cli({"merge", card, csv, "-o", dir.filePath("out.pdf"), "--dpi", "100"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString warnings = QStringLiteral("plakuro-cli: 警告: %1 3 行目の「名前」: é は "
                                            "Shift-JIS にないため ? になります\n"
                                            "plakuro-cli: 警告: %1 3 行目の「会社名」: 𠮷 は "
                                            "Shift-JIS にないため ? になります\n")
                                 .arg(csv);
    // Then the summary, and nothing else.
    EXPECT_TRUE(r.Err().startsWith(warnings + "plakuro-cli: people.csv: 2 人、2 ページ (") &&
                r.err.count('\n') == 3)
        << r.err.toStdString();
    EXPECT_EQ(PdfPages(dir.filePath("out.pdf")), 2);
}
