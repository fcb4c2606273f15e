#include "card/object.h"
#include "fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>

namespace {

// The realistic texts typed into a session shown at one zoom and ratio.
QByteArray typedAt(double zoom, double ratio)
{
    EditSession s;
    CanvasView view(s);
    view.SetView(zoom, ratio);
    s.EditChanged("eName", QStringLiteral("山田 太郎"));
    s.EditChanged("eAddress", QStringLiteral("東京都千代田区丸の内 1-2-3 丸の内ビル 12F"));
    s.EditChanged("eMail", QStringLiteral("yamada@example.co.jp"));
    s.RefreshCanvas();
    return s.SaveBytes();
}

} // namespace

TEST(ZoomSession, SavedBytesDoNotDependOnTheZoomOrThePixelRatio)
{
    const QByteArray atHundred = typedAt(1.0, 1.0);
    for (double zoom : {1.0, 1.5, 2.0, 3.0, 0.8})
        for (double ratio : {1.0, 2.0})
            EXPECT_EQ(typedAt(zoom, ratio), atHundred) << zoom << " x " << ratio;
}

TEST(ZoomSession, RatioTwoDrawsTwiceThePixelsAnewNotEnlarged)
{
    EditSession hundredSession, sharpSession, zoomedSession;
    CanvasView hundred(hundredSession), sharp(sharpSession), zoomed(zoomedSession);
    sharp.SetView(1.0, 2.0);
    zoomed.SetView(2.0, 1.0);
    for (EditSession *s : {&hundredSession, &sharpSession, &zoomedSession}) {
        s->EditChanged("eName", QStringLiteral("山田 太郎"));
        s->RefreshCanvas();
    }
    EXPECT_EQ(sharp.Image().size(), QSize(1290, 780));
    EXPECT_EQ(sharp.Image().devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.ViewSize(), QSize(645, 390));
    EXPECT_EQ(zoomed.ViewSize(), QSize(1290, 780));
    // The same device pixels whether the screen or the zoom doubles them.
    QImage plain = sharp.Image();
    plain.setDevicePixelRatio(1.0);
    EXPECT_EQ(plain, zoomed.Image());
    // An enlarged 645-pixel canvas would be this; the text is drawn anew.
    const QImage enlarged = hundred.Image().scaled(1290, 780);
    EXPECT_NE(enlarged.convertToFormat(QImage::Format_RGB32), zoomed.Image());
    // Back at 100 % the canvas is the 645-pixel one, pixel for pixel.
    zoomed.SetView(1.0, 1.0);
    EXPECT_EQ(zoomed.Image(), hundred.Image());
}

class ZoomTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        window->eName->setText("Yamada Taro");
        editor().SetModified(false);
        name = object<TextObject>("eName");
    }
    TextObject *name = nullptr;
};

TEST_F(ZoomTest, HitTestAndDragMoveTheSameModelUnitsAtEveryZoom)
{
    for (int index : {0, 1, 2, 3, TMeishi::kZoomFit}) {
        window->SetZoomIndex(index);
        const double zoom =
            index < TMeishi::kZoomFit ? TMeishi::kZoomLevels[std::size_t(index)] : 1.0;
        EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), zoom);
        EXPECT_EQ(window->cCanvas->size(), window->Canvas().ViewSize());
        EXPECT_EQ(window->cZoom->currentIndex(), index);
        const Converter &view = editor().View();
        TRect r;
        name->GetRect(r);
        // Just inside the name and just beyond its right edge, in the
        // zoomed canvas's pixels.
        const int x = view.ToDevice(r.left) + 2, y = view.ToDevice(r.top) + 2;
        EXPECT_EQ(editor().HitTestPixel(view.ToDevice(r.right) + 3, y), nullptr) << zoom;
        // A drag of a fifth of the card's width: 182 model units at any zoom.
        const int fifth = qRound(129 * zoom);
        window->cCanvasMouseDown(Qt::LeftButton, x, y);
        EXPECT_EQ(editor().Selection(), name) << zoom;
        window->cCanvasMouseMove(x + fifth / 2, y);
        window->cCanvasMouseUp(Qt::LeftButton, x + fifth, y);
        TRect moved;
        name->GetRect(moved);
        EXPECT_NEAR(moved.left - r.left, 182, 1) << zoom;
        EXPECT_EQ(moved.top, r.top) << zoom;
        editor().UndoStack().undo();
    }
}

TEST_F(ZoomTest, KeysAndTheListStepThroughTheLevels)
{
    window->StepZoom(1, {});
    EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), 1.5);
    window->StepZoom(1, {});
    window->StepZoom(1, {});
    window->StepZoom(1, {}); // no level above 300 %
    EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), 3.0);
    EXPECT_EQ(window->cZoom->currentText(), QStringLiteral("300 %"));
    window->StepZoom(-1, {});
    EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), 2.0);
    EXPECT_EQ(window->Canvas().Image().size(), QSize(1290, 780));
    window->SetZoomIndex(TMeishi::kZoomFit);
    EXPECT_EQ(window->cZoom->currentText(), QStringLiteral("全体"));
    EXPECT_EQ(window->cCanvas->size(), QSize(645, 390));
}

TEST_F(ZoomTest, HandlesKeepTheirPlaceAndSizeTheSameModelUnitsAtEveryZoom)
{
    editor().ShowQr(true);
    Object *qr = editor().Card().Find(kQrKey);
    ASSERT_NE(qr, nullptr);
    editor().SetSelection(qr);
    for (int index : {0, 2, 3}) {
        window->SetZoomIndex(index);
        const double zoom = TMeishi::kZoomLevels[std::size_t(index)];
        const Converter &view = editor().View();
        TRect r;
        qr->GetRect(r);
        // Inside the 3-pixel corner square of the zoomed canvas.
        const int x = view.ToDevice(r.right) - 2, y = view.ToDevice(r.bottom) - 2;
        EXPECT_EQ(editor().HandleAt(x, y), EditSession::Handle::BottomRight) << zoom;
        EXPECT_EQ(editor().HandleAt(x - 12, y - 12), EditSession::Handle::None) << zoom;
        // Smaller by a tenth of the card's width: 91 model units at any zoom.
        const int tenth = qRound(64.5 * zoom);
        window->cCanvasMouseDown(Qt::LeftButton, x, y);
        window->cCanvasMouseUp(Qt::LeftButton, x - tenth, y - tenth);
        TRect sized;
        qr->GetRect(sized);
        EXPECT_NEAR((r.right - r.left) - (sized.right - sized.left), 91, 1) << zoom;
        editor().UndoStack().undo();
    }
}

TEST_F(ZoomTest, AGrownWindowGivesThePanelTheRoomAndTheWholeCardFillsIt)
{
    window->show();
    window->SetZoomIndex(TMeishi::kZoomFit);
    window->resize(TMeishi::kFormSize + QSize(400, 300));
    // The field column stays; the panel, the zoom list and the status line
    // follow the window's right and bottom edges.
    EXPECT_EQ(window->eMail->geometry(), QRect(70, 297, 159, 20));
    EXPECT_EQ(window->aPanel->geometry(), QRect(246, 44, 1045, 690));
    EXPECT_EQ(window->cDebug->geometry(), QRect(0, 742, 1297, 19));
    EXPECT_EQ(window->cZoom->mapTo(window.get(), QPoint(window->cZoom->width(), 0)).x(), 1293);
    // 「全体」: as wide as the panel, the card's shape kept, in its middle.
    EXPECT_EQ(window->cCanvas->size(), QSize(1045, 632));
    EXPECT_EQ(window->cCanvas->geometry().center(), window->aPanel->viewport()->rect().center());
    TRect r;
    name->GetRect(r);
    window->cCanvasMouseDown(Qt::LeftButton, editor().View().ToDevice(r.left) + 2,
                             editor().View().ToDevice(r.top) + 2);
    EXPECT_EQ(editor().Selection(), name);

    // A fixed zoom keeps its size in the larger panel.
    window->SetZoomIndex(0);
    EXPECT_EQ(window->cCanvas->size(), QSize(645, 390));
    // Back at the first size, 「全体」 is the 645 x 390 card again.
    window->SetZoomIndex(TMeishi::kZoomFit);
    window->resize(TMeishi::kFormSize);
    EXPECT_EQ(window->aPanel->geometry(), QRect(246, 44, 645, 390));
    EXPECT_EQ(window->cCanvas->size(), QSize(645, 390));
    // Never smaller than the first size.
    window->resize(400, 300);
    EXPECT_EQ(window->size(), TMeishi::kFormSize);
}
