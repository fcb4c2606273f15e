#include "app/placedialog.h"
#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "fixture.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>

using Handle = EditSession::Handle;

class ResizeTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        window->eName->setText("Yamada Taro");
        dialogs.openFiles.push_back(writePicture(path("logo.bmp"), 100, 50, Qt::red, "BMP"));
        window->bPicture->click();
        pic = object<GraphicObject>(kPictureKey);
        select(pic, TRect{100, 100, 300, 200}); // 20 x 10 mm
        editor().UndoStack().clear();
    }
    void select(Object *obj, const TRect &r)
    {
        obj->SetRect(r);
        window->SetSelection(obj);
        window->RefreshCanvas();
        editor().SetModified(false);
    }
    TRect rectOf(const Object *obj)
    {
        TRect r;
        obj->GetRect(r);
        return r;
    }
    // The middle of the handle's square on the canvas.
    QPoint handlePoint(const Object *obj, Handle h)
    {
        // The edges each handle moves, in the order of the enumeration.
        static const int edges[][2] = {{0, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                       {1, 1}, {0, 1},   {-1, 1}, {-1, 0}};
        const Converter &c = editor().Screen();
        const TRect r = rectOf(obj);
        auto at = [](int dir, int lo, int hi) {
            return dir < 0 ? lo + 1 : dir > 0 ? hi - 2 : lo + (hi - lo) / 2;
        };
        const int *e = edges[static_cast<int>(h)];
        return {at(e[0], c.ToDevice(r.left), c.ToDevice(r.right)),
                at(e[1], c.ToDevice(r.top), c.ToDevice(r.bottom))};
    }
    // Drags the handle by (dx, dy) pixels, through moves, and returns the
    // model distance the pointer went.
    QPoint drag(const Object *obj, Handle h, int dx, int dy, Qt::KeyboardModifiers m = {})
    {
        const QPoint p = handlePoint(obj, h);
        EXPECT_EQ(editor().HandleAt(p.x(), p.y()), h);
        window->cCanvasMouseDown(Qt::LeftButton, p.x(), p.y());
        for (int i = 1; i <= 7; ++i)
            window->cCanvasMouseMove(p.x() + dx * i / 8, p.y() + dy * i / 8, m);
        window->cCanvasMouseUp(Qt::LeftButton, p.x() + dx, p.y() + dy, m);
        const Converter &c = editor().Screen();
        return {c.ToModel(p.x() + dx) - c.ToModel(p.x()), c.ToModel(p.y() + dy) - c.ToModel(p.y())};
    }
    GraphicObject *pic = nullptr;
};

TEST_F(ResizeTest, HandlesAreDrawnOnPicturesOnlyAndShapeThePointer)
{
    const QRgb blue = qRgb(0, 0, 255);
    for (Handle h : {Handle::Top, Handle::Right, Handle::Bottom, Handle::Left}) {
        const QPoint p = handlePoint(pic, h);
        EXPECT_EQ(canvas().pixel(p), blue);
    }
    const int before = EditSession::MoveCounter;
    const struct
    {
        Handle handle;
        Qt::CursorShape shape;
    } shapes[] = {{Handle::TopLeft, Qt::SizeFDiagCursor},
                  {Handle::BottomLeft, Qt::SizeBDiagCursor},
                  {Handle::Right, Qt::SizeHorCursor},
                  {Handle::Top, Qt::SizeVerCursor}};
    for (const auto &s : shapes) {
        const QPoint p = handlePoint(pic, s.handle);
        window->cCanvasMouseMove(p.x(), p.y());
        EXPECT_EQ(window->cCanvas->cursor().shape(), s.shape);
    }
    window->cCanvasMouseMove(600, 380);
    EXPECT_EQ(window->cCanvas->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(EditSession::MoveCounter, before) << "hovering is no drag step";
    EXPECT_FALSE(editor().Modified());

    // A text keeps its four corner marks only, and has no handles.
    auto *name = object<TextObject>("eName");
    TRect r = rectOf(name);
    select(name, r);
    const Converter &c = editor().Screen();
    const int my = (c.ToDevice(r.top) + c.ToDevice(r.bottom)) / 2;
    EXPECT_NE(canvas().pixel(c.ToDevice(r.left), my), blue);
    EXPECT_EQ(editor().HandleAt(c.ToDevice(r.left), c.ToDevice(r.top)), Handle::None);
}

TEST_F(ResizeTest, CornersKeepTheShapeShiftFreesItEdgesStretchOneSide)
{
    QPoint d = drag(pic, Handle::BottomRight, 70, 0);
    TRect r = rectOf(pic);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 300 + d.x());
    EXPECT_NEAR(r.bottom - r.top, (r.right - r.left) / 2.0, 0.5);
    EXPECT_TRUE(editor().Modified());
    EXPECT_EQ(editor().UndoStack().undoText(), QStringLiteral("サイズの変更"));
    EXPECT_EQ(EditSession::MoveCounter, 0);

    select(pic, TRect{100, 100, 300, 200});
    d = drag(pic, Handle::TopLeft, -40, 30, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(pic), (TRect{100 + d.x(), 100 + d.y(), 300, 200}));

    select(pic, TRect{100, 100, 300, 200});
    d = drag(pic, Handle::Right, 50, 40);
    EXPECT_EQ(rectOf(pic), (TRect{100, 100, 300 + d.x(), 200}));
    select(pic, TRect{100, 100, 300, 200});
    d = drag(pic, Handle::Top, 50, -40, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(pic), (TRect{100, 100 + d.y(), 300, 200}));
    EXPECT_EQ(editor().UndoStack().count(), 4);
}

TEST_F(ResizeTest, NeverBelowTwoMillimetresNorOffTheCard)
{
    // Past the opposite corner: 2 mm the short way, the shape kept.
    drag(pic, Handle::TopLeft, 500, 500);
    EXPECT_EQ(rectOf(pic), (TRect{260, 180, 300, 200}));
    select(pic, TRect{100, 100, 300, 200});
    drag(pic, Handle::TopLeft, 500, 500, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(pic), (TRect{280, 180, 300, 200}));

    // The moving edges stop where a move stops.
    select(pic, TRect{-300, -200, 100, 100});
    drag(pic, Handle::BottomRight, -900, -900, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(pic), (TRect{-300, -200, 20, 20}));
    select(pic, TRect{800, 500, 1000, 700});
    drag(pic, Handle::TopLeft, 900, 900, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(pic), (TRect{880, 520, 1000, 700}));
}

TEST_F(ResizeTest, TheQrCodeStaysSquareAndKeepsItsSize)
{
    window->ToolButton7Click();
    auto *qr = object<GraphicObject>(kQrKey);
    select(qr, TRect{500, 200, 700, 400});
    QPoint d = drag(qr, Handle::BottomRight, 30, 5, Qt::ShiftModifier);
    EXPECT_EQ(rectOf(qr), (TRect{500, 200, 700 + d.x(), 400 + d.x()}));
    EXPECT_TRUE(ReadCardOptions(editor().Card()).qrSizeKept);
    // An edge grows the other way about the middle.
    select(qr, TRect{500, 200, 700, 400});
    d = drag(qr, Handle::Left, -40, 0);
    const int grow = -d.x();
    EXPECT_EQ(rectOf(qr), (TRect{500 - grow, 200 - grow / 2, 700, 400 + grow - grow / 2}));
    editor().UndoStack().undo();
    editor().UndoStack().undo();
    EXPECT_FALSE(ReadCardOptions(editor().Card()).qrSizeKept);
    EXPECT_EQ(editor().Card().Find(kOptionsKey), nullptr);
}

TEST_F(ResizeTest, ThePositionDialog)
{
    window->aPlaceClick();
    EXPECT_EQ(dialogs.placeShown, (TRect{100, 100, 300, 200}));
    EXPECT_EQ(dialogs.placeSizing, Dialogs::Sizing::Free);
    EXPECT_FALSE(editor().Modified()) << "cancelled";

    dialogs.places.push_back(TRect{150, 120, 160, 420});
    window->aPlaceClick();
    EXPECT_EQ(rectOf(pic), (TRect{150, 120, 170, 420})) << "at least 2 mm wide";
    EXPECT_TRUE(editor().Modified());
    EXPECT_EQ(editor().UndoStack().count(), 1);
    // Unchanged values change nothing, even off the card.
    select(pic, TRect{2000, 100, 2100, 200});
    dialogs.places.push_back(TRect{2000, 100, 2100, 200});
    window->aPlaceClick();
    EXPECT_EQ(rectOf(pic), (TRect{2000, 100, 2100, 200}));
    EXPECT_EQ(editor().UndoStack().count(), 1);
    dialogs.places.push_back(TRect{2000, 100, 2100, 300});
    window->aPlaceClick();
    EXPECT_EQ(rectOf(pic), (TRect{880, 100, 980, 300}));

    window->ToolButton7Click();
    auto *qr = object<GraphicObject>(kQrKey);
    select(qr, TRect{500, 200, 700, 400});
    dialogs.places.push_back(TRect{500, 200, 800, 250});
    window->aPlaceClick();
    EXPECT_EQ(dialogs.placeSizing, Dialogs::Sizing::Square);
    EXPECT_EQ(rectOf(qr), (TRect{500, 200, 800, 500}));
    EXPECT_TRUE(ReadCardOptions(editor().Card()).qrSizeKept);

    // A text moves; its size is the one its text measures.
    auto *name = object<TextObject>("eName");
    const TRect r = rectOf(name);
    select(name, r);
    dialogs.places.push_back(TRect{r.left + 5, r.top + 7, r.right + 100, r.bottom + 100});
    window->aPlaceClick();
    EXPECT_EQ(dialogs.placeSizing, Dialogs::Sizing::None);
    EXPECT_EQ(rectOf(name), (TRect{r.left + 5, r.top + 7, r.right + 5, r.bottom + 7}));
}

TEST(PlaceDialogTest, MillimetresInTenthsAndASquareLocked)
{
    TPlaceDialog d(nullptr, TRect{20000, 105, 20200, 305}, Dialogs::Sizing::Square);
    EXPECT_EQ(d.eTop->value(), 10.5);
    EXPECT_EQ(d.eWidth->singleStep(), 0.1);
    EXPECT_EQ(d.Rect(), (TRect{20000, 105, 20200, 305})) << "a value beyond a box's range is kept";
    d.eWidth->setValue(12.3);
    EXPECT_DOUBLE_EQ(d.eHeight->value(), 12.3);
    d.eLeft->setValue(-1.5);
    EXPECT_EQ(d.Rect(), (TRect{-15, 105, 108, 228}));
}
