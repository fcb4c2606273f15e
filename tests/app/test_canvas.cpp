#include "card/cardfile.h"
#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "fixture.h"
#include "qr/qrcode.h"

#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

void press(TMeishi &w, Qt::MouseButton b, int x, int y)
{
    QTest::mousePress(w.cCanvas, b, {}, QPoint(x, y));
}
void release(TMeishi &w, Qt::MouseButton b, int x, int y)
{
    QTest::mouseRelease(w.cCanvas, b, {}, QPoint(x, y));
}

} // namespace

class CanvasTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        MeishiTest::SetUp();
        window->eName->setText("Yamada Taro"); // drawn at model 140, 40
        window->eTel->setText("03-1234-5678");
        editor().SetModified(false);
        name = object<TextObject>("eName");
        name->GetRect(nameRect);
    }
    TextObject *name = nullptr;
    TRect nameRect;
};

TEST_F(CanvasTest, PressSelectsTheTopmostObjectAndMarksItsCorners)
{
    const Converter &conv = editor().Screen();
    EXPECT_EQ(conv.ToModel(100), 141);
    EXPECT_EQ(conv.ToModel(50), 71);
    EXPECT_EQ(conv.ToModel(644), 909);
    EXPECT_EQ(conv.ToModel(389), 549);

    press(*window, Qt::LeftButton, conv.ToDevice(nameRect.left) + 2,
          conv.ToDevice(nameRect.top) + 2);
    release(*window, Qt::LeftButton, conv.ToDevice(nameRect.left) + 2,
            conv.ToDevice(nameRect.top) + 2);
    EXPECT_EQ(editor().Selection(), name);
    EXPECT_TRUE(window->bFont->isEnabled());
    EXPECT_TRUE(window->aPopupMenuColor->isEnabled());
    EXPECT_FALSE(window->aSavePicture->isEnabled());
    // A click without moving runs the final drag step: same place, modified.
    TRect r;
    name->GetRect(r);
    EXPECT_EQ(r.left, nameRect.left);
    EXPECT_EQ(r.top, nameRect.top);
    EXPECT_TRUE(editor().Modified());

    // Four solid blue 6 x 6 squares reaching inward from the corners.
    const int L = conv.ToDevice(r.left), T = conv.ToDevice(r.top);
    const int R = conv.ToDevice(r.right), B = conv.ToDevice(r.bottom);
    const QRgb blue = qRgb(0, 0, 255);
    for (auto [x, y] : {std::pair{L, T},
                        {L + 5, T + 5},
                        {R - 6, T},
                        {R - 1, T + 5},
                        {L, B - 6},
                        {L + 5, B - 1},
                        {R - 6, B - 6},
                        {R - 1, B - 1}})
        EXPECT_EQ(canvas().pixel(x, y), blue) << x << "," << y;
    EXPECT_NE(canvas().pixel(L + 6, T), blue);
    EXPECT_NE(canvas().pixel(R, T), blue);

    // Empty spot: nothing selected, marks gone, commands off.
    press(*window, Qt::LeftButton, 600, 380);
    release(*window, Qt::LeftButton, 600, 380);
    EXPECT_EQ(editor().Selection(), nullptr);
    EXPECT_FALSE(window->bFont->isEnabled());
    EXPECT_NE(canvas().pixel(L, T), blue);
}

TEST_F(CanvasTest, HitTestEdgesZeroSizeAndOverlap)
{
    const Objects &card = editor().Card();
    TRect r = nameRect;
    EXPECT_EQ(HitTest(card, r.right, r.bottom), name);
    EXPECT_EQ(HitTest(card, r.left, r.top), name);
    EXPECT_EQ(HitTest(card, r.right + 1, r.top), nullptr);
    EXPECT_EQ(HitTest(card, r.left, r.bottom + 1), nullptr);
    // An empty text is never hit, nor a zero-width object.
    EXPECT_EQ(HitTest(card, 141, 221), nullptr);
    auto *pic = object<GraphicObject>("bPicture");
    pic->SetVisible(true);
    pic->SetRect(TRect{100, 0, 100, 500});
    EXPECT_EQ(HitTest(card, 100, 45), nullptr);
    // Overlap: the one drawn later wins.
    pic->SetRect(TRect{0, 0, 910, 550});
    EXPECT_EQ(HitTest(card, 150, 45), name);
    pic->SetOrder(99);
    EXPECT_EQ(HitTest(card, 150, 45), pic);
}

TEST_F(CanvasTest, RightAndMiddlePresses)
{
    window->show();
    const Converter &conv = editor().Screen();
    const int x = conv.ToDevice(nameRect.left) + 3, y = conv.ToDevice(nameRect.top) + 3;
    press(*window, Qt::RightButton, 600, 380);
    EXPECT_FALSE(window->aPopupMenu->isVisible());
    press(*window, Qt::RightButton, x, y);
    EXPECT_EQ(editor().Selection(), name);
    EXPECT_TRUE(window->aPopupMenu->isVisible());
    EXPECT_FALSE(editor().Dragging());
    window->aPopupMenu->hide();

    press(*window, Qt::MiddleButton, x, y);
    EXPECT_EQ(editor().Selection(), name);
    EXPECT_FALSE(editor().Dragging());
    EXPECT_FALSE(window->aPopupMenu->isVisible());
    window->cCanvasMouseMove(x + 100, y + 100);
    TRect r;
    name->GetRect(r);
    EXPECT_EQ(r.left, nameRect.left);
}

TEST_F(CanvasTest, DragMovesOnEveryFifthMoveAndAlwaysOnRelease)
{
    const Converter &conv = editor().Screen();
    const int x = conv.ToDevice(nameRect.left) + 2, y = conv.ToDevice(nameRect.top) + 2;
    EditSession::MoveCounter = 0;
    window->cCanvasMouseDown(Qt::LeftButton, x, y);
    TRect r;
    for (int i = 1; i <= 4; ++i) {
        window->cCanvasMouseMove(x + 10 * i, y);
        name->GetRect(r);
        EXPECT_EQ(r.left, nameRect.left) << i;
    }
    window->cCanvasMouseMove(x + 50, y);
    name->GetRect(r);
    const int dx = conv.ToModel(x + 50) - conv.ToModel(x);
    EXPECT_EQ(r.left, nameRect.left + dx);
    EXPECT_EQ(r.right - r.left, nameRect.right - nameRect.left);
    window->cCanvasMouseMove(x + 60, y);
    window->cCanvasMouseUp(Qt::LeftButton, x + 70, y + 10);
    name->GetRect(r);
    EXPECT_EQ(r.left, nameRect.left + conv.ToModel(x + 70) - conv.ToModel(x));
    EXPECT_EQ(r.top, nameRect.top + conv.ToModel(y + 10) - conv.ToModel(y));
    EXPECT_FALSE(editor().Dragging());
    EXPECT_EQ(EditSession::MoveCounter, 0);
    EXPECT_TRUE(editor().Modified());
}

TEST_F(CanvasTest, DragIsClampedToTheCard)
{
    const Converter &conv = editor().Screen();
    const int x = conv.ToDevice(nameRect.left) + 2, y = conv.ToDevice(nameRect.top) + 2;
    const int w = nameRect.right - nameRect.left, h = nameRect.bottom - nameRect.top;
    TRect r;
    auto dragTo = [&](int tx, int ty) {
        name->GetRect(r);
        const int sx = conv.ToDevice(r.left) + 2, sy = conv.ToDevice(r.top) + 2;
        window->cCanvasMouseDown(Qt::LeftButton, sx, sy);
        window->cCanvasMouseUp(Qt::LeftButton, tx, ty);
        name->GetRect(r);
    };
    dragTo(-5000, y);
    EXPECT_EQ(r.right, 20);
    EXPECT_EQ(r.right - r.left, w);
    dragTo(x, -5000);
    EXPECT_EQ(r.bottom, 20);
    dragTo(5000, y);
    EXPECT_EQ(r.left, 880);
    dragTo(x, 5000);
    EXPECT_EQ(r.top, 520);
    EXPECT_EQ(r.bottom - r.top, h);
    // Pointer positions outside the canvas convert by truncation toward zero.
    EXPECT_EQ(conv.ToModel(-1), 0);
    EXPECT_EQ(conv.ToModel(-10), -13);
}

TEST_F(CanvasTest, SelectionEnablesCommandsByClass)
{
    window->ToolButton7Click();
    auto *qr = object<GraphicObject>("QR");
    ASSERT_NE(qr->GetPicture(), nullptr);
    EXPECT_TRUE(editor().Modified()); // showing the QR code changes the file
    editor().SetSelection(qr);
    EXPECT_FALSE(window->bFont->isEnabled());
    EXPECT_FALSE(window->aPopupMenuFont->isEnabled());
    EXPECT_TRUE(window->aSavePicture->isEnabled());
    auto *pic = object<GraphicObject>("bPicture");
    editor().SetSelection(pic);
    EXPECT_FALSE(window->bFont->isEnabled());
    EXPECT_FALSE(window->aSavePicture->isEnabled());
    editor().SetSelection(name);
    EXPECT_TRUE(window->aPopupMenuFont->isEnabled());
    EXPECT_FALSE(window->aSavePicture->isEnabled());
}

TEST_F(CanvasTest, FontAndColourCommands)
{
    editor().SetSelection(name);
    Font chosen;
    name->GetFont(chosen);
    EXPECT_EQ(chosen.height, -21);
    QFont bigger("IPAGothic");
    bigger.setPointSizeF(22.5); // 30 pixels at 96 dpi
    bigger.setBold(true);
    dialogs.fonts.push_back(bigger);
    window->bFontClick();
    EXPECT_DOUBLE_EQ(dialogs.fontShown.pointSizeF(), 15.75);
    Font now;
    name->GetFont(now);
    chosen.height = -30;
    chosen.bold = true;
    chosen.name = sjis::fromUtf8("IPAGothic");
    chosen.pitch = now.pitch; // as the installed face says
    EXPECT_EQ(now, chosen);
    EXPECT_TRUE(editor().Modified());
    EXPECT_EQ(name->GetColor(), 0);
    QRect ink = inkBox(canvas(), QRect(90, 20, 300, 30));
    ASSERT_FALSE(ink.isNull());
    EXPECT_EQ(canvas().pixel(ink.center()) & 0x00FF00, 0u);

    // Cancel changes nothing.
    editor().SetModified(false);
    window->aPopupMenuFontClick();
    EXPECT_FALSE(editor().Modified());

    dialogs.colors.push_back(0x000000FF); // TColor 0x00BBGGRR: pure red
    window->aPopupMenuColorClick();
    EXPECT_EQ(name->GetColor(), 0xFF);
    EXPECT_TRUE(editor().Modified());
    bool red = false;
    for (int y = 20; y < 50; ++y)
        for (int x = 90; x < 390; ++x)
            red |= canvas().pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_TRUE(red);
    // The same colour again is no change.
    editor().SetModified(false);
    dialogs.colors.push_back(0x000000FF);
    window->aPopupMenuColorClick();
    EXPECT_FALSE(editor().Modified());
}

TEST_F(CanvasTest, StackingCommands)
{
    auto *tel = object<TextObject>("eTel");
    window->eCorp->setText("Corp");
    auto *corp = object<TextObject>("eCorp");
    // Visible: tel 9, corp 13, name 15. Hidden objects keep their numbers.
    auto *memo = object<TextObject>("eMemo1");
    editor().SetModified(false);

    editor().SetSelection(tel);
    window->N2Click(); // to the front
    EXPECT_EQ(corp->GetOrder(), 1);
    EXPECT_EQ(name->GetOrder(), 2);
    EXPECT_EQ(tel->GetOrder(), 3);
    EXPECT_EQ(memo->GetOrder(), 4);
    EXPECT_TRUE(editor().Modified());
    // Already on top and numbered: renumbered again, nothing changed.
    editor().SetModified(false);
    window->N2Click();
    EXPECT_EQ(tel->GetOrder(), 3);
    EXPECT_FALSE(editor().Modified());

    // One step forward at the top repaints nothing.
    int repaints = 0;
    QObject::connect(&editor(), &EditSession::canvasChanged, [&] { ++repaints; });
    window->N3Click();
    EXPECT_EQ(repaints, 0);
    window->N4Click(); // one step back: exchanged with name
    EXPECT_EQ(tel->GetOrder(), 2);
    EXPECT_EQ(name->GetOrder(), 3);
    EXPECT_EQ(repaints, 1);

    window->N5Click(); // to the back
    EXPECT_EQ(tel->GetOrder(), 1);
    EXPECT_EQ(corp->GetOrder(), 2);
    EXPECT_EQ(name->GetOrder(), 3);
    repaints = 0;
    window->N4Click();
    EXPECT_EQ(repaints, 0);
    EXPECT_EQ(tel->GetOrder(), 1);

    // Equal neighbours exchange equal values: no change on the card.
    corp->SetOrder(5);
    name->SetOrder(5);
    editor().SetSelection(corp);
    editor().SetModified(false);
    window->N3Click();
    EXPECT_EQ(corp->GetOrder(), 5);
    EXPECT_EQ(name->GetOrder(), 5);
    EXPECT_FALSE(editor().Modified());
}

TEST_F(CanvasTest, TheQrPictureIsSavedAtItsOwnSize)
{
    window->ToolButton7Click();
    auto *qr = object<GraphicObject>("QR");
    editor().SetSelection(qr);
    const QString file = path("qr");
    dialogs.saveFiles.push_back(file);
    window->aSavePictureClick();
    EXPECT_EQ(dialogs.fileDialogs.back().defaultSuffix, QString(".bmp"));
    QImageReader reader(file + ".bmp");
    EXPECT_EQ(reader.format(), "bmp");
    EXPECT_EQ(reader.size(), QSize(qr->GetPicture()->Width(), qr->GetPicture()->Height()));

    // No fields: no picture to save, the user is told and nothing is written.
    window->ClearCard();
    editor().SetSelection(qr);
    dialogs.saveFiles.push_back(path("empty.bmp"));
    window->aSavePictureClick();
    EXPECT_EQ(dialogs.infos.size(), 1);
    EXPECT_FALSE(QFile::exists(path("empty.bmp")));
}

// A QR code the user sized: too small to read well, the canvas says so in an
// orange frame; the card's own drawing never shows it.
TEST_F(CanvasTest, AQrCodeSizedTooSmallIsMarkedOnTheCanvasOnly)
{
    auto orange = [](const QImage &image) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == qRgb(255, 128, 0))
                    return true;
        return false;
    };
    for (const auto &[rect, small] : {std::pair{TRect{600, 300, 650, 350}, true},
                                      std::pair{TRect{600, 300, 800, 500}, false}}) {
        Objects card;
        BuildDefaultCard(card);
        dynamic_cast<TextObject &>(*card["eName"]).SetText("Yamada Taro");
        card[kQrKey]->SetVisible(true);
        card[kQrKey]->SetRect(rect);
        WriteCardOptions(card, CardOptions{QrFormat::Text, true, {}});
        MemoryStream file;
        SaveCard(&file, card);
        ASSERT_EQ(editor().LoadBytes(file.Data()), EditSession::LoadResult::Loaded);
        editor().FillFieldsFromCard();
        TRect kept;
        object<GraphicObject>(kQrKey)->GetRect(kept);
        EXPECT_EQ(kept, rect);
        EXPECT_EQ(editor().QrTooSmall(), small);
        EXPECT_EQ(orange(canvas()), small);
        QImage image(1074, 649, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        RenderCard(editor().Card(), &p, Converter(1074));
        p.end();
        EXPECT_FALSE(orange(image));
    }
}
