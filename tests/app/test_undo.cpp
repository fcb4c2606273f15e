#include "card/defaultcard.h"
#include "card/object.h"
#include "fixture.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <functional>

namespace {

// Everything a step must put back: the file, the canvas (without the
// selection's marks), the edits, the name boxes and the picture buttons.
struct Seen
{
    QByteArray bytes;
    QImage canvas;
    QStringList widgets;
    bool operator==(const Seen &) const = default;
};

} // namespace

class UndoTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        window->eName->setText("Yamada Taro");
        window->eTel->setText("03-1234-5678");
        window->ToolButton7Click(); // the QR code, at the card's bottom-right corner
        dialogs.openFiles.push_back(
            writePicture(path("logo.bmp"), 60, 40, QColor(0, 128, 0), "BMP"));
        window->bPicture->click();
        name = object<TextObject>("eName");
        // The logo lies at the top-left corner; the name is moved clear of
        // it, then the history starts here.
        select(name);
        session().Nudge(200, 100);
        select(nullptr);
        stack().clear();
    }
    EditSession &session() { return editor(); }
    QUndoStack &stack() { return session().UndoStack(); }
    void select(Object *obj)
    {
        window->SetSelection(obj);
        window->RefreshCanvas();
    }
    QPoint at(const Object *obj)
    {
        TRect r;
        obj->GetRect(r);
        return {session().Screen().ToDevice(r.left) + 3, session().Screen().ToDevice(r.top) + 3};
    }
    Seen seen()
    {
        Object *selected = session().Selection();
        select(nullptr);
        Seen s{session().SaveBytes(), canvas(), {}};
        for (QLineEdit *e : window->ClearOrder())
            s.widgets << e->text();
        s.widgets << window->tPicture->text() << window->bPicture->text()
                  << window->tBackPicture->text() << window->bBackPicture->text();
        select(selected);
        return s;
    }
    TextObject *name = nullptr;
};

TEST_F(UndoTest, EveryKindOfChangeIsTakenBackAndAgainExactly)
{
    const struct
    {
        const char *what;
        std::function<void()> change;
    } changes[] = {
        {"typing", [&] { QTest::keyClicks(window->eCorp, "Plakuro"); }},
        {"drag",
         [&] {
             const QPoint p = at(name);
             window->cCanvasMouseDown(Qt::LeftButton, p.x(), p.y());
             for (int i = 1; i <= 12; ++i)
                 window->cCanvasMouseMove(p.x() + 5 * i, p.y() + 3 * i);
             window->cCanvasMouseUp(Qt::LeftButton, p.x() + 60, p.y() + 36);
         }},
        {"resize",
         [&] {
             auto *qr = object<GraphicObject>(kQrKey);
             select(qr);
             TRect r;
             qr->GetRect(r);
             const int x = session().Screen().ToDevice(r.right) - 2;
             const int y = session().Screen().ToDevice(r.bottom) - 2;
             window->cCanvasMouseDown(Qt::LeftButton, x, y);
             for (int i = 1; i <= 6; ++i)
                 window->cCanvasMouseMove(x + 4 * i, y + 2 * i);
             window->cCanvasMouseUp(Qt::LeftButton, x + 30, y + 10);
         }},
        {"place dialog",
         [&] {
             select(object<GraphicObject>(kPictureKey));
             dialogs.places.push_back(TRect{300, 200, 500, 260});
             window->aPlaceClick();
         }},
        {"nudge",
         [&] {
             select(name);
             QTest::keyClick(window->cCanvas, Qt::Key_Left, Qt::ShiftModifier);
             QTest::keyClick(window->cCanvas, Qt::Key_Up);
         }},
        {"font",
         [&] {
             select(name);
             QFont f = WindowFont();
             f.setPixelSize(30);
             f.setBold(true);
             dialogs.fonts.push_back(f);
             window->bFontClick();
         }},
        {"vertical",
         [&] {
             select(name);
             window->aVertical->trigger();
             EXPECT_TRUE(window->aVertical->isChecked());
             EXPECT_TRUE(session().Modified());
         }},
        {"colour",
         [&] {
             select(name);
             dialogs.colors.push_back(0x0000FF);
             window->aPopupMenuColorClick();
         }},
        {"to the back",
         [&] {
             select(object<GraphicObject>(kQrKey));
             window->N5Click();
         }},
        {"to the front",
         [&] {
             select(object<GraphicObject>(kPictureKey));
             window->N2Click();
         }},
        {"one step back",
         [&] {
             select(name);
             window->N4Click();
         }},
        {"background chosen",
         [&] {
             dialogs.openFiles.push_back(
                 writePicture(path("back.jpg"), 645, 390, QColor(250, 230, 200), "JPG"));
             window->bBackPicture->click();
         }},
        {"PNG background chosen, larger than the card",
         [&] {
             QImage png(1400, 700, QImage::Format_ARGB32);
             png.fill(Qt::transparent);
             QPainter(&png).fillRect(0, 0, 700, 700, QColor(250, 230, 200));
             ASSERT_TRUE(png.save(path("back.png")));
             dialogs.openFiles.push_back(path("back.png"));
             window->bBackPicture->click();
         }},
        {"picture removed", [&] { window->bPicture->click(); }},
        {"QR code hidden", [&] { window->ToolButton7Click(); }},
        {"QR format",
         [&] {
             select(object<GraphicObject>(kQrKey));
             window->aQrFormats[1]->trigger();
         }},
    };
    for (const auto &c : changes) {
        const Seen before = seen();
        c.change();
        const Seen after = seen();
        ASSERT_FALSE(after == before) << c.what << " changed nothing";
        ASSERT_EQ(stack().count(), 1) << c.what;
        EXPECT_TRUE(window->bUndo->isEnabled()) << c.what;
        window->bUndo->click();
        EXPECT_TRUE(seen() == before) << c.what << " taken back";
        EXPECT_TRUE(window->bRedo->isEnabled()) << c.what;
        window->bRedo->click();
        EXPECT_TRUE(seen() == after) << c.what << " again";
        stack().undo();
        stack().clear();
        select(nullptr);
    }
}

TEST_F(UndoTest, TypingInOneFieldAndNudgingOneObjectMerge)
{
    QTest::keyClicks(window->eCorp, "Plakuro");
    QTest::keyClicks(window->eCorp, " Inc");
    EXPECT_EQ(stack().count(), 1);
    QTest::keyClicks(window->eBusho, "Sales");
    EXPECT_EQ(stack().count(), 2);
    EXPECT_EQ(stack().undoText(), QStringLiteral("「部署」の入力"));

    select(name);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(window->cCanvas, Qt::Key_Right);
    EXPECT_EQ(stack().count(), 3);
    // Far beyond the card: the left edge stops at 880, as a drag does.
    for (int i = 0; i < 200; ++i)
        QTest::keyClick(window->cCanvas, Qt::Key_Right, Qt::ShiftModifier);
    TRect r;
    name->GetRect(r);
    EXPECT_EQ(r.left, 880);
    EXPECT_EQ(stack().count(), 3);
    QTest::keyClick(window->cCanvas, Qt::Key_Escape);
    EXPECT_EQ(session().Selection(), nullptr);

    // Undone back to before the typing: the edits show what they held.
    stack().setIndex(0);
    EXPECT_EQ(window->eCorp->text(), QString());
    EXPECT_EQ(window->eBusho->text(), QString());
    EXPECT_FALSE(session().Modified()) << "back at the state the history started from";
}

TEST_F(UndoTest, KeysSaveToTheOpenedFileAndTheTitleFollows)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Plakuro"));

    // Without a file Ctrl+S asks; then the title names the file.
    dialogs.saveFiles.push_back(path("card"));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.fileDialogs.size(), 2u) << "the picture's and the save dialog";
    EXPECT_EQ(window->windowTitle(), QStringLiteral("card.pkd - Plakuro"));

    QTest::keyClicks(window->eCorp, "X");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("*card.pkd - Plakuro"));
    // Ctrl+Z in an edit is the card's step, not the edit's own undo.
    QTest::keyClick(window->eCorp, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->eCorp->text(), QString());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("card.pkd - Plakuro"));
    QTest::keyClick(window->eCorp, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->eCorp->text(), QStringLiteral("X"));

    // With a file Ctrl+S writes it without asking; Ctrl+Shift+S asks.
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.fileDialogs.size(), 2u);
    EXPECT_FALSE(session().Modified());
    QFile saved(path("card.pkd"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), session().SaveBytes());
    dialogs.saveFiles.push_back(path("copy.pkd"));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs.fileDialogs.size(), 3u);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("copy.pkd - Plakuro"));

    // New forgets the file and the history.
    window->ToolButton1Click();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Plakuro"));
    EXPECT_FALSE(window->bUndo->isEnabled());
}
