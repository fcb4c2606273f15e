#include "app/printsetting.h"
#include "fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// The page count a PDF file's page tree states.
int pdfPages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression("/Count (\\d+)").match(QString::fromLatin1(file.readAll()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

// The back prints after the front while its file can be read; once it cannot,
// printing says so, naming the file, and prints the front alone.
TEST_F(MeishiTest, PrintsTheBackAfterTheFrontOrSaysWhyNot)
{
    const QString backFile = path("back.pkd");
    QFile card(backFile);
    ASSERT_TRUE(card.open(QIODevice::WriteOnly));
    card.write(editor().SaveBytes());
    card.close();
    const QString notACard = path("note.txt");
    QFile note(notACard);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("not a card");
    note.close();

    dialogs.printerAccepts = true;
    QPrinter &printer = window->Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    const QString pdf = path("sheet.pdf");
    printer.setOutputFileName(pdf);

    const struct
    {
        QString back;
        int pages;
        const char *reason; // in the message, or null for none
    } cases[] = {
        {backFile, 2, nullptr},
        {path("gone.pkd"), 1, "gone.pkd を読めません"},
        {notACard, 1, "カードデータではありません"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.back.toStdString());
        dialogs.errors.clear();
        QFile::remove(pdf);
        PrintSpace space;
        space.back.file = c.back;
        editor().SetSpace(space);
        window->bPrintClick();
        EXPECT_EQ(pdfPages(pdf), c.pages);
        if (!c.reason) {
            EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
            continue;
        }
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors[0].startsWith("裏面のカード " + c.back))
            << dialogs.errors[0].toStdString();
        EXPECT_TRUE(dialogs.errors[0].contains(QString::fromUtf8(c.reason)));
        EXPECT_TRUE(dialogs.errors[0].endsWith("表だけを印刷します。"));
    }
}

// 「選択…」 takes only a file that reads as a card; 「なし」 drops the back.
TEST_F(MeishiTest, PrintOptionsChooseAndDropTheBack)
{
    const QString backFile = path("back.pkd");
    QFile card(backFile);
    ASSERT_TRUE(card.open(QIODevice::WriteOnly));
    card.write(editor().SaveBytes());
    card.close();

    TPrintSetting options;
    options.SetDialogs(&dialogs);
    options.SetValues(PrintSpace());
    options.FormShow();
    EXPECT_EQ(options.lBackFile->text(), "なし");
    EXPECT_FALSE(options.cShortEdge->isEnabled());

    dialogs.openFiles = {path("missing.pkd"), backFile};
    options.bBackChoose->click();
    EXPECT_EQ(options.Values().back, BackSide());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("missing.pkd"));
    options.bBackChoose->click();
    EXPECT_EQ(dialogs.fileDialogs.back().filter, CardFileFilter());
    options.cShortEdge->click();
    EXPECT_EQ(options.Values().back, (BackSide{backFile, true}));
    EXPECT_TRUE(options.lBackFile->text().endsWith("back.pkd"));

    options.bBackNone->click();
    EXPECT_TRUE(options.Values().back.file.isEmpty());
    EXPECT_EQ(options.lBackFile->text(), "なし");
}
