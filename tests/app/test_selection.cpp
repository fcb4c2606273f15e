#include "card/object.h"
#include "card/shape.h"
#include "fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <functional>

// Two filled rectangles added to a card whose name line is typed in:
//   A {100, 300, 200, 400}, B {300, 300, 400, 400}, the name at (140, 40).
class SelectionTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        window->eName->setText("Yamada Taro");
        a = addRect(TRect{100, 300, 200, 400});
        b = addRect(TRect{300, 300, 400, 400});
        editor().SetSelection(nullptr);
        editor().UndoStack().clear();
    }
    Object *addRect(const TRect &r)
    {
        auto shape = std::make_unique<ShapeObject>(ShapeObject::Kind::Rect);
        shape->SetFrame(r);
        shape->SetFill(0x6E3C1A);
        shape->SetStroke(std::nullopt);
        return editor().Card().Find(editor().AddObject(std::move(shape)));
    }
    static TRect rectOf(const Object *o)
    {
        TRect r;
        o->GetRect(r);
        return r;
    }
    int px(int model) { return editor().View().ToDevice(model); }
    int model(int pixel) { return editor().View().ToModel(pixel); }
    // Press at model (x, y), moves towards the pixel offset, the last five
    // at it (every fifth move is a drag step), release unless `hold`.
    void drag(int x, int y, int dx, int dy, Qt::KeyboardModifiers m = {}, bool hold = false)
    {
        const int X = px(x), Y = px(y);
        window->cCanvasMouseDown(Qt::LeftButton, X, Y, m);
        for (int i = 1; i <= 10; ++i)
            window->cCanvasMouseMove(X + dx * std::min(i, 5) / 5, Y + dy * std::min(i, 5) / 5, m);
        if (!hold)
            window->cCanvasMouseUp(Qt::LeftButton, X + dx, Y + dy, m);
    }
    void click(int x, int y, Qt::KeyboardModifiers m = {}) { drag(x, y, 0, 0, m); }
    std::vector<Object *> selected() { return editor().SelectedObjects(); }

    Object *a = nullptr;
    Object *b = nullptr;
};

TEST_F(SelectionTest, MouseSelectionRules)
{
    Object *name = editor().Card().Find("eName");
    const struct
    {
        const char *what;
        std::function<void()> act;
        std::vector<Object *> expected;
    } rows[] = {
        {"a click selects one", [&] { click(150, 350); }, {a}},
        {"Shift+click adds",
         [&] {
             click(150, 350);
             click(350, 350, Qt::ShiftModifier);
         },
         {a, b}},
        {"Shift+click on a selected one takes it out and drags nothing",
         [&] {
             editor().SetSelectedObjects({a, b});
             drag(150, 350, 40, 30, Qt::ShiftModifier);
         },
         {b}},
        {"a plain click on one of several keeps them all, the pressed one primary",
         [&] {
             editor().SetSelectedObjects({a, b});
             click(150, 350);
         },
         {b, a}},
        {"the rubber band selects what it touches",
         [&] {
             editor().SetSelectedObjects({name});
             drag(50, 250, px(190) - px(50), px(320) - px(250));
         },
         {a}},
        {"Shift adds the band's objects",
         [&] {
             editor().SetSelectedObjects({b});
             drag(50, 250, px(190) - px(50), px(320) - px(250), Qt::ShiftModifier);
         },
         {b, a}},
        {"a click on an empty spot clears",
         [&] {
             editor().SetSelectedObjects({a, b});
             click(600, 200);
         },
         {}},
        {"a Shift+click on an empty spot keeps",
         [&] {
             editor().SetSelectedObjects({a});
             click(600, 200, Qt::ShiftModifier);
         },
         {a}},
        {"a right click on an unselected object selects it alone",
         [&] {
             editor().SetSelectedObjects({a, name});
             window->cCanvasMouseDown(Qt::RightButton, px(350), px(350));
             window->aPopupMenu->hide();
         },
         {b}},
        {"a right click on a selected one keeps the selection",
         [&] {
             editor().SetSelectedObjects({a, b});
             window->cCanvasMouseDown(Qt::RightButton, px(150), px(350));
             window->aPopupMenu->hide();
         },
         {a, b}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        editor().SetSelection(nullptr);
        row.act();
        EXPECT_EQ(selected(), row.expected);
        EXPECT_TRUE(window->cCanvas->Band().isEmpty()) << "the band is gone at the release";
    }
    EXPECT_EQ(rectOf(a), (TRect{100, 300, 200, 400})) << "no row moved anything";
    EXPECT_EQ(editor().UndoStack().count(), 0);
}

TEST_F(SelectionTest, DraggingMovesEverySelectedObjectAndSnapsUnlessAlt)
{
    // Both move by what the pointer went, as one step (with Alt, no edge
    // of theirs snaps to the name line's left or the card's middle).
    editor().SetSelectedObjects({a, b});
    drag(150, 350, 30, -20, Qt::AltModifier);
    const int dx = model(px(150) + 30) - model(px(150));
    const int dy = model(px(350) - 20) - model(px(350));
    EXPECT_EQ(rectOf(a), (TRect{100 + dx, 300 + dy, 200 + dx, 400 + dy}));
    EXPECT_EQ(rectOf(b), (TRect{300 + dx, 300 + dy, 400 + dx, 400 + dy}));
    EXPECT_EQ(editor().UndoStack().count(), 1);
    editor().UndoStack().undo();
    EXPECT_EQ(rectOf(a), (TRect{100, 300, 200, 400}));
    EXPECT_EQ(rectOf(b), (TRect{300, 300, 400, 400}));

    // B alone, its middle (350) dragged to within 1 mm of the card's (455):
    // it lands on it; with Alt it stays where the pointer put it.
    const int near = px(455 - 6) - px(350);
    ASSERT_NE(model(px(350) + near) - model(px(350)), 105);
    editor().SetSelection(b);
    drag(350, 350, near, 0);
    EXPECT_EQ(rectOf(b).left, 405);
    editor().UndoStack().undo();
    drag(350, 350, near, 0, Qt::AltModifier);
    EXPECT_EQ(rectOf(b).left, 300 + model(px(350) + near) - model(px(350)));
}

TEST_F(SelectionTest, TheSnappedGuideIsDrawnDuringTheDragOnly)
{
    const int x = editor().Screen().ToDevice(455);
    const QRgb magenta = qRgb(255, 0, 255);
    auto column = [&] {
        int n = 0;
        for (int y = 0; y < canvas().height(); ++y)
            n += canvas().pixel(x, y) == magenta;
        return n;
    };
    EXPECT_EQ(column(), 0);
    editor().SetSelection(b);
    drag(350, 350, px(452) - px(350), 0, {}, true);
    ASSERT_EQ(editor().GuideX(), 455);
    // Across the whole canvas but where the marks lie over it; one pixel wide.
    EXPECT_GT(column(), canvas().height() - 24);
    EXPECT_NE(canvas().pixel(x + 1, 10), magenta);
    EXPECT_NE(canvas().pixel(x - 1, 10), magenta);
    window->cCanvasMouseUp(Qt::LeftButton, px(452), px(350));
    EXPECT_EQ(column(), 0);
}

TEST_F(SelectionTest, KeysActOnTheCanvasButNotInAField)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto key = [&](QWidget *w, Qt::Key k, Qt::KeyboardModifiers m = {}) {
        w->setFocus();
        QTest::keyClick(w, k, m);
    };
    Object *name = editor().Card().Find("eName");

    // In a field the keys are the field's.
    window->eName->setCursorPosition(0);
    key(window->eName, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->eName->selectedText(), QStringLiteral("Yamada Taro"));
    key(window->eName, Qt::Key_Home);
    key(window->eName, Qt::Key_Delete);
    EXPECT_EQ(window->eName->text(), QStringLiteral("amada Taro"));
    EXPECT_TRUE(selected().empty());

    // On the canvas Ctrl+A selects every visible object.
    key(window->cCanvas, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected().size(), 3u);

    // Delete keeps a field's line and says why; it deletes an added object.
    editor().SetSelectedObjects({name, a});
    key(window->cCanvas, Qt::Key_Delete);
    EXPECT_EQ(editor().Card().Find("eName"), name);
    EXPECT_EQ(editor().KeyOf(a), "") << "deleted";
    EXPECT_EQ(window->cDebug->currentMessage(),
              QStringLiteral("入力欄の項目は削除できません。項目を空にすると表示されません。"));
    EXPECT_EQ(editor().UndoStack().undoText(), QStringLiteral("削除"));

    // Copy and paste: a new rectangle like B, 2 mm right and down.
    editor().SetSelection(b);
    key(window->cCanvas, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(
        QStringLiteral("application/x-plakuro-objects")));
    key(window->cCanvas, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(selected().size(), 1u);
    Object *pasted = selected()[0];
    EXPECT_NE(pasted, b);
    EXPECT_EQ(rectOf(pasted), (TRect{320, 320, 420, 420}));
    // Cut takes it away as one step; Ctrl+D doubles B.
    key(window->cCanvas, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(editor().UndoStack().undoText(), QStringLiteral("切り取り"));
    EXPECT_TRUE(selected().empty());
    editor().SetSelection(b);
    key(window->cCanvas, Qt::Key_D, Qt::ControlModifier);
    EXPECT_NE(selected()[0], b);
    EXPECT_EQ(rectOf(selected()[0]), (TRect{320, 320, 420, 420}));
}
