// Faults found by trying the editor as a new user would: a QR text longer
// than any symbol, the font dialog's round trip, New after choosing a
// picture, marks of a hidden selection, the preview's paper.
#include "app/dialogs.h"
#include "app/fontdialog.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "fixture.h"
#include "print/sheet.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>

namespace {

int countPixels(const QImage &img, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

} // namespace

TEST_F(MeishiTest, QrTextTooLongForAnySymbolLeavesNoSymbolAndSaysSoOnce)
{
    QSignalSpy said(window->cDebug, &QStatusBar::messageChanged);
    window->eName->setText("Yamada");
    window->ToolButton7Click();
    auto *qr = object<GraphicObject>(kQrKey);
    ASSERT_FALSE(qr->GetPicture()->Empty());
    // Every field the symbol holds, 255 bytes each: past version 40 at M.
    for (QLineEdit *e : {window->eName, window->eFuri, window->eCorp, window->eBusho, window->eYaku,
                         window->ePostNo, window->eAddress, window->eTel, window->eMobile,
                         window->eFax, window->eURL, window->eMail})
        e->setText(QString(255, u'a'));
    window->eMemo1->setText("typing goes on");
    EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.infos.isEmpty())
        << dialogs.errors.join("\n").toStdString();
    EXPECT_TRUE(editor().QrTooLong());
    EXPECT_TRUE(qr->GetPicture()->Empty()) << "the last symbol stays on the card";
    TRect r;
    qr->GetRect(r);
    EXPECT_TRUE(r.left == r.right && r.top == r.bottom);
    int messages = 0;
    for (const QList<QVariant> &args : said)
        messages += !args.at(0).toString().isEmpty();
    EXPECT_EQ(messages, 1);
    EXPECT_GT(countPixels(canvas(), qRgb(255, 0, 0)), 100) << "the frame on the canvas";

    // What is printed has no frame.
    EXPECT_EQ(
        countPixels(RenderCardImage(MakeDrawingOrder(editor().Card()), 1074, 649), qRgb(255, 0, 0)),
        0);

    // Opened again: no message boxes, the frame, nothing modified.
    QFile f(path("long.pkd"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(editor().SaveBytes());
    f.close();
    window = std::make_unique<TMeishi>(dialogs);
    dialogs.openFiles.push_back(path("long.pkd"));
    window->ToolButton2Click();
    EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.infos.isEmpty())
        << dialogs.errors.join("\n").toStdString();
    EXPECT_EQ(window->eAddress->text(), QString(255, u'a'));
    EXPECT_GT(countPixels(canvas(), qRgb(255, 0, 0)), 100);
    EXPECT_FALSE(editor().Modified());

    // New: the (empty) text fits again and the frame goes.
    window->ToolButton1Click();
    EXPECT_FALSE(editor().QrTooLong());
    EXPECT_EQ(countPixels(canvas(), qRgb(255, 0, 0)), 0);
}

TEST_F(MeishiTest, FontDialogConfirmedUnchangedKeepsTheStoredFace)
{
    window->eName->setText("Yamada");
    QFile f(path("card.pkd"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray saved = editor().SaveBytes();
    f.write(saved);
    f.close();
    editor().SetModified(false);
    dialogs.openFiles.push_back(path("card.pkd"));
    window->ToolButton2Click();
    auto *name = object<TextObject>("eName");
    Font stored;
    name->GetFont(stored);
    ASSERT_EQ(stored.name, Font::defaultFaceName());
    ASSERT_TRUE(dialogs.questions.isEmpty());
    editor().SetSelection(name);

    // The dialog shows the stored face by its own name; OK on it, at the size
    // the dialog rounds to, and Cancel, change nothing.
    QFont same(QStringLiteral("ＭＳ Ｐゴシック"));
    same.setPointSizeF(16); // the 21 pixels stored are 15.75 points
    dialogs.fonts = {same, std::nullopt};
    window->bFontClick();
    EXPECT_EQ(dialogs.fontShown.family(), QStringLiteral("ＭＳ Ｐゴシック"));
    window->bFontClick();
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(editor().SaveBytes(), saved);

    // The real dialog, confirmed untouched: its font, handed to the window,
    // makes no step and leaves the card as it was.
    QtDialogs qt;
    QTimer::singleShot(0, [] {
        auto *dlg = qobject_cast<TFontDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        dlg->bOK->click();
    });
    const std::optional<QFont> chosen = qt.ChooseFont(window.get(), DialogFontFor(stored));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(fontFromQFont(*chosen, stored), stored);
    const int steps = editor().UndoStack().count();
    dialogs.fonts = {*chosen};
    window->bFontClick();
    EXPECT_EQ(editor().UndoStack().count(), steps);
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(editor().SaveBytes(), saved);
}

TEST_F(MeishiTest, NewResetsPictureButtonsAndHiddenSelectionHasNoMarks)
{
    dialogs.openFiles.push_back(writePicture(path("p.bmp"), 40, 30, Qt::green, "BMP"));
    window->PictureButtonClick(window->bPicture);
    ASSERT_EQ(window->bPicture->text(), "削除");
    dialogs.answers.push_back(Dialogs::Answer::No);
    window->ToolButton1Click();
    EXPECT_EQ(window->bPicture->text(), "参照");
    EXPECT_EQ(window->bBackPicture->text(), "参照");
    // The button chooses a picture again instead of removing a hidden one.
    const std::size_t asked = dialogs.fileDialogs.size();
    window->PictureButtonClick(window->bPicture);
    EXPECT_EQ(dialogs.fileDialogs.size(), asked + 1);

    window->eName->setText("Yamada");
    window->ToolButton7Click();
    editor().SetSelection(object<GraphicObject>(kQrKey));
    editor().RefreshCanvas();
    ASSERT_GT(countPixels(canvas(), qRgb(0, 0, 255)), 0);
    window->ToolButton7Click(); // hidden while selected
    EXPECT_EQ(countPixels(canvas(), qRgb(0, 0, 255)), 0);
}

TEST_F(MeishiTest, PreviewShowsThePrintersPaper)
{
    window->Printer().setPageSize(QPageSize(QPageSize::Letter));
    window->bPreviewClick();
    EXPECT_NEAR(dialogs.previewPaperMm.width(), 215.9, 0.1);
    EXPECT_NEAR(dialogs.previewPaperMm.height(), 279.4, 0.1);
}
