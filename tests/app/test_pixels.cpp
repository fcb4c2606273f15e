// What the drawing keeps from one repaint to the next (stretched picture
// copies, fonts, texts and their measures, the drawn QR symbol, the last QR
// encoding) must not change a drawn pixel. The realistic card — every field
// filled, the QR code shown, a 4000 x 3000 photo behind it and a 2000 x 1500
// bitmap on it — is drawn through the editor after many keystrokes and drags
// and at printer resolution again and again, and compared with the same card
// read afresh into new objects and drawn once, and with the pictures
// stretched whole by Qt as the drawing did before it stretched only the part
// a device shows (the photo as the decoder scales it down for that size).

#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "editor/canvasview.h"
#include "editor/session.h"
#include "print/sheet.h"
#include "qr/qrcode.h"
#include "realistic_texts.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <utility>

namespace {

constexpr auto &kTexts = kRealisticTexts;

// Gradients with grain, so that neighbouring pixels differ and any shifted
// sample shows.
QImage photo(int width, int height, std::uint32_t seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = static_cast<int>(state >> 27) - 16;
            line[x] = qRgb(qBound(0, x * 255 / width + grain, 255),
                           qBound(0, y * 255 / height + grain, 255), (x ^ y) & 0xFF);
        }
    }
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

std::map<std::string, TRect> rectsOfTexts(const Objects &card)
{
    std::map<std::string, TRect> rects;
    for (const auto &[key, obj] : card)
        if (dynamic_cast<const TextObject *>(obj.get()))
            obj->GetRect(rects[key]);
    return rects;
}

// A collection that destroys its objects with itself, read from a card file.
struct FreshCard
{
    explicit FreshCard(const QByteArray &file)
    {
        MemoryStream s(file);
        LoadCard(&s, card);
        UpdateQrCode(card, Converter(EditSession::kCanvasWidth));
        order = MakeDrawingOrder(card);
    }
    Objects card;
    DrawingOrder order;
};

// The canvas, and the rectangles the drawing measured for the texts (the
// selection marks, hit testing and the file use them).
QImage freshCanvas(const QByteArray &file, std::map<std::string, TRect> *textRects = nullptr)
{
    FreshCard fresh(file);
    QImage image(EditSession::kCanvasWidth, EditSession::kCanvasHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const Converter conv(EditSession::kCanvasWidth);
    MeasureCard(fresh.order, &image, conv);
    RenderCard(fresh.order, &p, conv);
    if (textRects)
        *textRects = rectsOfTexts(fresh.card);
    return image;
}

QImage freshCardImage(const QByteArray &file, int width, int height)
{
    FreshCard fresh(file);
    return RenderCardImage(fresh.order, width, height);
}

// The JPEG as the decoder gives it scaled down by the largest of 1, 2, 4
// and 8 that still leaves at least `target` pixels (the pictures here have
// sides a multiple of 8, so the reader's scaled size is the decoder's own).
QImage decoderScaled(const QByteArray &jpeg, QSize full, QSize target)
{
    int d = 8;
    while (d > 1 && (full.width() / d < target.width() || full.height() / d < target.height()))
        d /= 2;
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(full / d);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The card image as drawn before only visible parts were stretched: each
// photo (as decoded for that size) or bitmap stretched whole by Qt and
// copied.
QImage wholeStretchCardImage(const QByteArray &file, int width, int height)
{
    FreshCard fresh(file);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const Converter conv(width);
    for (const auto &[key, obj] : fresh.order) {
        const auto *g = dynamic_cast<const GraphicObject *>(obj);
        const auto *raster = g ? dynamic_cast<const RasterPicture *>(g->GetPicture()) : nullptr;
        if (!raster) {
            obj->Draw(&p, conv);
            continue;
        }
        TRect r;
        g->GetRect(r);
        const QRect target(QPoint(conv.ToDevice(r.left), conv.ToDevice(r.top)),
                           QPoint(conv.ToDevice(r.right) - 1, conv.ToDevice(r.bottom) - 1));
        const QImage picture =
            raster->ClassName() == "TJPEGImage"
                ? decoderScaled(raster->SaveToBytes(), QSize(raster->Width(), raster->Height()),
                                target.size())
                : raster->ToImage();
        p.drawImage(target.topLeft(), target.size() == picture.size()
                                          ? picture
                                          : picture.scaled(target.size(), Qt::IgnoreAspectRatio,
                                                           Qt::FastTransformation));
    }
    return image;
}

class PixelTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        editor = new EditSession;
        view = new CanvasView(*editor);
        editor->ToggleQr();
        for (const auto &[key, text] : kTexts)
            editor->EditChanged(key, QString::fromUtf8(text));
        auto &back = dynamic_cast<GraphicObject &>(*editor->Card().Find(kBackPictureKey));
        back.SetPicture(JpegPicture::FromBytes(encoded(photo(4000, 3000, 7), "JPG")),
                        editor->Screen(), "back.jpg");
        back.SetVisible(true);
        auto &pic = dynamic_cast<GraphicObject &>(*editor->Card().Find(kPictureKey));
        pic.SetPicture(BitmapPicture::FromBytes(encoded(photo(2000, 1500, 11), "BMP")),
                       editor->Screen(), "logo.bmp");
        pic.SetVisible(true);
        TRect r;
        pic.GetRect(r);
        pic.SetRect({r.left + 620, r.top + 330, r.right + 620, r.bottom + 330});
        editor->RefreshCanvas();
        file = new QByteArray(editor->SaveBytes());
    }
    static void TearDownTestSuite()
    {
        delete view;
        delete editor;
        delete file;
    }

    // The card's drawing order as the print command builds it.
    static QImage editorCardImage(int width, int height)
    {
        return RenderCardImage(MakeDrawingOrder(editor->Card()), width, height);
    }

    static EditSession *editor;
    static CanvasView *view;
    static QByteArray *file;
};

EditSession *PixelTest::editor = nullptr;
CanvasView *PixelTest::view = nullptr;
QByteArray *PixelTest::file = nullptr;

const int kPrintWidth = static_cast<int>(600 * kCardWidthInch);
const int kPrintHeight = static_cast<int>(600 * kCardHeightInch);

} // namespace

TEST_F(PixelTest, TheCanvasAfterKeystrokesAndDragsIsTheFreshlyDrawnCard)
{
    std::map<std::string, TRect> coldRects;
    QImage cold = freshCanvas(*file, &coldRects);
    {
        // The canvas also underlines the lines the print check names.
        QPainter p(&cold);
        view->DrawPrintCheck(p);
    }
    ASSERT_EQ(view->Image(), cold);
    ASSERT_EQ(coldRects.size(), 14u);

    Object *name = editor->Card().Find("eName");
    TRect home;
    name->GetRect(home);
    const Converter &conv = editor->Screen();
    for (int round = 0; round < 3; ++round) {
        // A character typed into every field and taken back; then the name
        // dragged away in steps and back to where it was.
        for (const auto &[key, text] : kTexts) {
            editor->EditChanged(key, QString::fromUtf8(text) + u'x');
            TRect longer;
            editor->Card().Find(key)->GetRect(longer);
            EXPECT_GT(longer.right, coldRects.at(key).right) << key;
            editor->EditChanged(key, QString::fromUtf8(text));
        }
        const int x0 = conv.ToDevice(home.left) + 5, y0 = conv.ToDevice(home.top) + 5;
        editor->SetSelection(name);
        editor->BeginDrag(x0, y0);
        for (int step = 1; step <= 6; ++step)
            editor->DragSelection(x0 + 30 * step, y0 + 20 * step, true);
        editor->DragSelection(x0, y0, true);
        editor->EndDrag();
        // Printing and previewing draw the same pictures at other sizes.
        editorCardImage(kPrintWidth, kPrintHeight);
        editorCardImage(343, 207);
        editor->SetSelection(nullptr);
        editor->RefreshCanvas();
        ASSERT_EQ(view->Image(), cold) << "round " << round;
        const std::map<std::string, TRect> rects = rectsOfTexts(editor->Card());
        for (const auto &[key, want] : coldRects) {
            EXPECT_TRUE(rects.at(key) == want) << key << " round " << round;
        }
    }
    TRect r;
    name->GetRect(r);
    EXPECT_EQ(r.left, home.left);
    EXPECT_EQ(r.top, home.top);

    // The last encoding kept for the same text is the symbol a first
    // encoding gives.
    const std::string qrText = BuildQrText(editor->Card());
    MakeQrPicture("another text");
    const auto first = MakeQrPicture(qrText);
    const auto again = MakeQrPicture(qrText);
    EXPECT_EQ(first->Rects(), again->Rects());
    EXPECT_EQ(first->Width(), again->Width());
    EXPECT_FALSE(first->Rects().empty());
}

TEST_F(PixelTest, TheCardAtPrinterResolutionIsThePicturesStretchedWhole)
{
    const QImage whole = wholeStretchCardImage(*file, kPrintWidth, kPrintHeight);
    ASSERT_FALSE(whole.isNull());
    EXPECT_EQ(freshCardImage(*file, kPrintWidth, kPrintHeight), whole);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(editorCardImage(kPrintWidth, kPrintHeight), whole) << "round " << round;
        if (round == 1)
            editorCardImage(343, 207);
    }
    // The preview's size and twice the canvas: stretched down and up.
    for (const QSize size : {QSize(343, 207), QSize(1290, 779)}) {
        EXPECT_EQ(editorCardImage(size.width(), size.height()),
                  wholeStretchCardImage(*file, size.width(), size.height()))
            << size.width();
    }

    // The bitmap dragged to stick out over the card's top-left corner: its
    // stretch is cut on two sides.
    auto *logo = editor->Card().Find(kPictureKey);
    TRect r;
    logo->GetRect(r);
    logo->SetRect({r.left - 1500, r.top - 900, r.right - 1500, r.bottom - 900});
    const QByteArray moved = editor->SaveBytes();
    const QImage movedWhole = wholeStretchCardImage(moved, kPrintWidth, kPrintHeight);
    EXPECT_EQ(freshCardImage(moved, kPrintWidth, kPrintHeight), movedWhole);
    EXPECT_EQ(editorCardImage(kPrintWidth, kPrintHeight), movedWhole);
    logo->SetRect(r);
    editor->RefreshCanvas();
}

// Any picture, target and device, against Qt stretching the whole picture:
// sizes up and down, targets partly or wholly off the device, clips, both
// pixel formats a picture is decoded to, and the sizes where Qt's own walk
// is left to do the work.
TEST(StretchTest, EveryPartIsThePixelsOfTheWholeStretch)
{
    std::mt19937 rng(20240611);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int checked = 0;
    for (int i = 0; i < 160; ++i) {
        const bool alpha = i % 3 == 0;
        QImage picture(1 + below(i % 10 == 0 ? 4 : 180), 1 + below(i % 10 == 1 ? 4 : 180),
                       alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const int a = alpha ? below(256) : 255;
                picture.setPixel(x, y, qPremultiply(qRgba(below(256), below(256), below(256), a)));
            }
        QSize size(1 + below(1400), 1 + below(1400));
        if (i % 20 == 5) { // beyond the factor walked here
            picture = picture.copy(0, 0, std::min(picture.width(), 40), picture.height());
            size = QSize(picture.width() * 600, 3);
        }
        if (i % 20 == 6)
            size = QSize(33000, 2); // beyond the longest side walked here
        const QRect target(QPoint(below(900) - 450, below(900) - 450), size);
        QImage device(1 + below(500), 1 + below(500), QImage::Format_RGB32);
        device.fill(QColor(10, 200, 30));
        const QRect clip(below(300), below(300), 1 + below(400), 1 + below(400));
        const bool clipped = i % 4 == 1;

        auto draw = [&](auto &&how) {
            QImage out = device;
            QPainter p(&out);
            if (clipped)
                p.setClipRect(clip);
            how(p);
            return out;
        };
        const QImage expected = draw([&](QPainter &p) {
            p.drawImage(target.topLeft(), picture.scaled(target.size(), Qt::IgnoreAspectRatio,
                                                         Qt::FastTransformation));
        });
        ScaledCopy cache;
        EXPECT_EQ(draw([&](QPainter &p) { drawStretched(p, picture, target); }), expected) << i;
        EXPECT_EQ(draw([&](QPainter &p) { drawStretched(p, picture, target, &cache); }), expected)
            << i;
        // The cache holds the part last drawn; another part of the same
        // stretch is made afresh.
        const QRect moved = target.translated(below(200) - 100, below(200) - 100);
        const QImage expectedMoved = draw([&](QPainter &p) {
            p.drawImage(moved.topLeft(), picture.scaled(moved.size(), Qt::IgnoreAspectRatio,
                                                        Qt::FastTransformation));
        });
        EXPECT_EQ(draw([&](QPainter &p) { drawStretched(p, picture, moved, &cache); }),
                  expectedMoved)
            << i;
        ++checked;
    }
    EXPECT_EQ(checked, 160);
}

TEST(StretchTest, AVectorPictureDrawnAgainIsTheFilledRectangles)
{
    const VectorPicture symbol(30, 30, Qt::white, Qt::black,
                               {QRect(3, 3, 9, 3), QRect(12, 6, 3, 12), QRect(0, 27, 30, 3)});
    const VectorPicture translucent(30, 30, QColor(255, 255, 255, 128), Qt::black,
                                    {QRect(3, 3, 9, 3)});
    QImage device(120, 90, QImage::Format_RGB32);
    device.fill(QColor(200, 30, 60));
    for (const VectorPicture *picture : {&symbol, &translucent})
        for (const QRect target : {QRect(5, 7, 67, 71), QRect(-20, 40, 67, 71)}) {
            QImage first = device;
            {
                QPainter p(&first);
                picture->Draw(p, target);
            }
            for (int time = 2; time <= 4; ++time) {
                QImage again = device;
                QPainter p(&again);
                picture->Draw(p, target);
                p.end();
                EXPECT_EQ(again, first) << time << " " << target.x();
            }
        }
}
