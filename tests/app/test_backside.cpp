#include "app/preview.h"
#include "app/previewcontrol.h"
#include "app/printsetting.h"
#include "fixture.h"
#include "print/pagerecorder.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

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

class BackSideTest : public MeishiTest
{
protected:
    // The card on screen saved as back.pkd, to serve as a back side.
    QString savedCard()
    {
        QFile file(path("back.pkd"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(editor().SaveBytes());
        return file.fileName();
    }
};

// The back prints after the front while its file can be read; once it cannot,
// printing says so, naming the file, and prints the front alone.
TEST_F(BackSideTest, PrintsTheBackAfterTheFrontOrSaysWhyNot)
{
    const QString backFile = savedCard();
    const QString notACard = path("note.txt");
    QFile note(notACard);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("not a card");
    note.close();

    const QString pdf = printToPdf();

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
TEST_F(BackSideTest, PrintOptionsChooseAndDropTheBack)
{
    const QString backFile = savedCard();

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

// The preview's 表/裏 switch shows the back page and its cells off the paper;
// a back that cannot be read leaves the front alone, with the reason.
TEST_F(BackSideTest, PreviewShowsTheBackPage)
{
    const QString backFile = savedCard();
    const DrawingOrder order = MakeDrawingOrder(editor().Card());
    TPreview preview;
    preview.SetOrder(&order);
    // 17 mm to the right: the right column of either page leaves the paper.
    PrintSpace space{10, 7, 3, 3, 170, 0};
    space.back.file = backFile;
    preview.SetValues(space);
    preview.show();
    EXPECT_TRUE(preview.bBack->isVisible());
    EXPECT_EQ(preview.cPreview->Recorder()->PageCount(), 2);
    EXPECT_TRUE(preview.lOffPaper->text().endsWith(
        "裏面の 1 枚目、3 枚目、5 枚目、7 枚目と 9 枚目が用紙からはみ出します"));
    preview.bBack->click();
    EXPECT_EQ(preview.cPreview->PageIndex(), 1);
    EXPECT_EQ(preview.cPreview->OffPaperCells(), (std::vector<int>{1, 3, 5, 7, 9}));

    QFile::remove(backFile);
    preview.FormShow();
    EXPECT_FALSE(preview.bBack->isVisible());
    EXPECT_EQ(preview.cPreview->PageIndex(), 0);
    EXPECT_TRUE(preview.lOffPaper->text().contains("を読めません"))
        << preview.lOffPaper->text().toStdString();
}
