#include "support.h"

#include "card/cardfile.h"
#include "card/object.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <QFontMetrics>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

constexpr int kEditorWidth = 645;
constexpr int kPrinter600Width = 2149; // truncate(600 x 3.58267)

QImage whiteCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Measures and draws the object once on `canvas` through a converter for the
// canvas width and returns the rectangle measured.
TRect drawText(TextObject &obj, QImage &canvas)
{
    const Converter conv(canvas.width());
    QPainter p(&canvas);
    obj.Measure(&canvas, conv);
    obj.Draw(&p, conv);
    p.end();
    TRect r;
    obj.GetRect(r);
    return r;
}

// What the face the default face draws with measures for `text` at a pixel
// size, on `device`.
QSize measured(const std::string &sjisText, int pixelSize, QImage &device)
{
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(pixelSize);
    const QFontMetrics fm(f, &device);
    return {fm.horizontalAdvance(sjis::toUnicode(sjisText)), MeasureLineBox(f, fm).height};
}

TextObject textWithHeight(int height, const std::string &text)
{
    TextObject t(TRect{100, 50, 0, 0});
    Font f;
    t.GetFont(f);
    f.height = height;
    t.SetFont(f);
    t.SetText(text);
    return t;
}

// The bounding box of every pixel that is not white.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(Converter, RoundsHalfUpAndTruncatesTowardZero)
{
    const Converter editor(kEditorWidth);
    EXPECT_EQ(editor.ToDevice(-1), 0);
    EXPECT_EQ(editor.ToDevice(-2), 0);
    EXPECT_EQ(editor.ToDevice(-16), -10);
    EXPECT_EQ(editor.ToDevice(910), 645);
    EXPECT_EQ(editor.ToDevice(550), 390);
    EXPECT_EQ(editor.ToDevice(0), 0);

    EXPECT_EQ(editor.ToModel(645), 910);
    EXPECT_EQ(editor.ToModel(390), 550);
    EXPECT_EQ(editor.ToModel(100), 141);
    EXPECT_EQ(editor.ToModel(50), 71);
    EXPECT_EQ(editor.ToModel(-10), -13);
    EXPECT_EQ(editor.ToModel(644), 909);

    const Converter printer(kPrinter600Width);
    EXPECT_EQ(printer.ToDevice(910), kPrinter600Width);
    EXPECT_EQ(printer.ToDevice(-16), -37);

    Converter reset(kEditorWidth);
    reset.SetWidth(910);
    EXPECT_DOUBLE_EQ(reset.Factor(), 1.0);
    EXPECT_EQ(reset.ToDevice(16), 16);
    EXPECT_EQ(reset.ToDevice(-16), -15) << "-15.5 truncates toward zero";
}

TEST(GraphicObject, TakesThePictureSizeThroughTheConverterAndStretchesIntoItsRect)
{
    const Converter editor(kEditorWidth);
    QImage source(100, 50, QImage::Format_RGB32);
    source.fill(Qt::green);
    GraphicObject g;
    g.SetPicture(BitmapPicture::FromImage(source), editor, sj("C:\\ロゴ.bmp"));
    TRect r;
    g.GetRect(r);
    EXPECT_EQ(r, (TRect{0, 0, 141, 71}));
    EXPECT_EQ(g.Source(), sj("C:\\ロゴ.bmp"));

    // A new picture keeps the top-left corner.
    g.SetRect(TRect{10, 20, 500, 500});
    g.SetPicture(BitmapPicture::FromImage(source), editor, "b.bmp");
    g.GetRect(r);
    EXPECT_EQ(r, (TRect{10, 20, 151, 91}));

    // A 2 x 2 picture with four colours stretched 1:1 model-to-pixel into
    // (10, 20)-(30, 60): each quadrant shows one source pixel.
    QImage quad(2, 2, QImage::Format_RGB32);
    quad.setPixel(0, 0, qRgb(255, 0, 0));
    quad.setPixel(1, 0, qRgb(0, 255, 0));
    quad.setPixel(0, 1, qRgb(0, 0, 255));
    quad.setPixel(1, 1, qRgb(0, 0, 0));
    GraphicObject q;
    q.SetPicture(BitmapPicture::FromImage(quad), Converter(910), "q.bmp");
    q.SetRect(TRect{10, 20, 30, 60});
    QImage canvas = whiteCanvas(910, 550);
    {
        QPainter p(&canvas);
        q.Draw(&p, Converter(910));
    }
    EXPECT_EQ(inkBox(canvas), QRect(10, 20, 20, 40));
    EXPECT_EQ(canvas.pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(29, 20), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(10, 59), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(29, 59), qRgb(0, 0, 0));

    // Hidden, or without a picture: nothing is drawn.
    q.SetVisible(false);
    GraphicObject empty;
    empty.SetRect(TRect{0, 0, 100, 100});
    QImage blank = whiteCanvas(200, 200);
    {
        QPainter p(&blank);
        q.Draw(&p, Converter(910));
        empty.Draw(&p, Converter(910));
    }
    EXPECT_TRUE(inkBox(blank).isNull());
}

TEST(TextObject, DrawsTheStoredHeightConvertedAndEnlargedByHalf)
{
    const std::string text = sj("山田太郎 Yamada Taro 0123456789");
    struct Case
    {
        int stored;
        int canvasWidth;
        int pixelSize;
    };
    for (const Case c : {Case{-12, kEditorWidth, 12}, Case{-16, kEditorWidth, 15},
                         Case{-16, kPrinter600Width, 55}}) {
        SCOPED_TRACE(testing::Message() << "stored " << c.stored << " on width " << c.canvasWidth);
        QImage canvas = whiteCanvas(c.canvasWidth, c.canvasWidth * 550 / 910);
        TextObject t = textWithHeight(c.stored, text);
        const TRect r = drawText(t, canvas);
        const Converter conv(c.canvasWidth);
        const QSize expected = measured(text, c.pixelSize, canvas);
        EXPECT_EQ(r.left, 100);
        EXPECT_EQ(r.top, 50);
        EXPECT_EQ(r.right - r.left, conv.ToModel(expected.width()));
        EXPECT_EQ(r.bottom - r.top, conv.ToModel(expected.height()));
        // The neighbouring sizes measure differently, so the check above
        // pins the size down.
        EXPECT_NE(conv.ToModel(measured(text, c.pixelSize - 1, canvas).width()),
                  conv.ToModel(expected.width()));
        EXPECT_NE(conv.ToModel(measured(text, c.pixelSize + 1, canvas).width()),
                  conv.ToModel(expected.width()));

        // The text cell's top-left corner is at the converted left/top.
        const QRect ink = inkBox(canvas);
        const int x = conv.ToDevice(100), y = conv.ToDevice(50);
        EXPECT_GE(ink.left(), x - 1);
        EXPECT_LE(ink.left(), x + c.pixelSize / 2);
        EXPECT_GE(ink.top(), y);
        EXPECT_LE(ink.bottom(), y + expected.height());
        EXPECT_LE(ink.right(), x + expected.width());

        // Drawing leaves the stored height alone.
        Font after;
        t.GetFont(after);
        EXPECT_EQ(after.height, c.stored);
    }
}

TEST(TextObject, DrawsInTheObjectColourNotTheFontColour)
{
    // TColor is 0x00BBGGRR.
    for (const auto &[tcolor, rgb] :
         {std::pair{0x000000FF, qRgb(255, 0, 0)}, std::pair{0x00FF0000, qRgb(0, 0, 255)}}) {
        TextObject t = textWithHeight(-40, sj("■■■ 色"));
        Font f;
        t.GetFont(f);
        f.color = 0x0000FF00; // green, which must not show
        t.SetFont(f);
        t.SetColor(tcolor);
        QImage canvas = whiteCanvas(kEditorWidth, 390);
        drawText(t, canvas);
        int solid = 0;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb px = canvas.pixel(x, y);
                if (px == rgb)
                    ++solid;
                // Antialiased edges blend the colour with the white page only.
                if (tcolor == 0x000000FF)
                    ASSERT_TRUE(qRed(px) == 255 && qGreen(px) == qBlue(px)) << std::hex << px;
                else
                    ASSERT_TRUE(qBlue(px) == 255 && qRed(px) == qGreen(px)) << std::hex << px;
            }
        EXPECT_GT(solid, 100) << std::hex << tcolor;
    }
}

TEST(TextObject, HeaderIsDrawnInFrontButNotPartOfTheText)
{
    TextObjectWithHeader tel(sj("TEL "), TRect{100, 50, 0, 0});
    EXPECT_FALSE(tel.IsVisible()) << "no text yet";
    tel.SetText("03-1234-5678");
    EXPECT_EQ(tel.GetText(), "03-1234-5678");
    EXPECT_EQ(tel.DisplayText(), "TEL 03-1234-5678");
    EXPECT_EQ(tel.Header(), "TEL ");

    QImage canvas = whiteCanvas(kEditorWidth, 390);
    const TRect r = drawText(tel, canvas);
    // Default height -12 draws at 12 pixels on the editor canvas.
    EXPECT_EQ(r.right - r.left,
              Converter(kEditorWidth).ToModel(measured("TEL 03-1234-5678", 12, canvas).width()));

    TextObject plain;
    plain.SetText("x");
    EXPECT_EQ(plain.DisplayText(), "x");
}

TEST(TextObject, WebAddressWithItsSchemeIsNotGivenASecond)
{
    const struct
    {
        const char *header, *text, *shown;
    } cases[] = {
        {"URL http://", "www.example.jp", "URL http://www.example.jp"},
        {"URL http://", "https://example.jp", "URL https://example.jp"},
        {"URL http://", "HTTP://EXAMPLE.JP", "URL HTTP://EXAMPLE.JP"},
        {"URL http://", "Https://x", "URL Https://x"},
        {"URL http://", "http:/x", "URL http://http:/x"},
        {"URL http://", "ftp://x", "URL http://ftp://x"},
        {"TEL ", "http://x", "TEL http://x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        OwnedCard card;
        auto *obj = new TextObjectWithHeader(c.header, TRect{140, 340, 0, 0});
        card.objects["eURL"].reset(obj);
        obj->SetText(c.text);
        EXPECT_EQ(obj->DisplayText(), c.shown);
        // The stored header and text are the typed ones; reading the file
        // makes the same shown text.
        OwnedCard back;
        ASSERT_TRUE(loadCard(saveCard(card.objects), back.objects));
        const auto *read = dynamic_cast<const TextObjectWithHeader *>(back.objects.Find("eURL"));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->Header(), c.header);
        EXPECT_EQ(read->GetText(), c.text);
        EXPECT_EQ(read->DisplayText(), c.shown);
    }
}

TEST(TextObject, EmptyTextHidesTheObjectButKeepsTheVisibleFlag)
{
    TextObject t(TRect{10, 10, 0, 0});
    t.SetText("abc");
    EXPECT_TRUE(t.IsVisible());
    t.SetText("");
    EXPECT_FALSE(t.IsVisible());
    // The flag itself stays set: the record stores visible = 1.
    MemoryStream s;
    t.SaveToStream(&s);
    EXPECT_EQ(static_cast<unsigned char>(s.Data().at(4)), 1);
    t.SetText("abc");
    EXPECT_TRUE(t.IsVisible());
    t.SetVisible(false);
    EXPECT_FALSE(t.IsVisible());

    // A hidden text draws nothing.
    QImage canvas = whiteCanvas(200, 100);
    drawText(t, canvas);
    EXPECT_TRUE(inkBox(canvas).isNull());
}

TEST(TextObject, FontCopiesEveryAttribute)
{
    Font in;
    in.color = 0x123456;
    in.charset = 1;
    in.pitch = Pitch::Fixed;
    in.height = 33;
    in.bold = true;
    in.italic = true;
    in.underline = true;
    in.strikeout = true;
    in.name = sj("ＭＳ ゴシック");
    in.vertical = true;
    TextObject t;
    t.SetFont(in);
    Font out;
    t.GetFont(out);
    EXPECT_EQ(out, in);
    EXPECT_EQ(Font().height, -12);
    EXPECT_EQ(Font().charset, 128);
    EXPECT_EQ(Font().name, sj("ＭＳ Ｐゴシック"));
}

// A damaged file can hold any coordinate and any font height; drawing such a
// card must stay defined (the sanitizer build checks every conversion).
TEST(Drawing, ExtremeStoredValuesStayInRange)
{
    QImage image(2149, 1299, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const Converter printer(2149);
    for (int v : {2000000000, -2000000000, INT_MAX, INT_MIN}) {
        TextObject text(TRect{v, v, 0, 0});
        text.SetText("x");
        Font f;
        text.GetFont(f);
        f.height = v;
        text.SetFont(f);
        text.Measure(&image, printer);
        text.Draw(&painter, printer);
        TRect r;
        text.GetRect(r);
        EXPECT_GE(r.right, v < 0 ? INT_MIN : v);

        GraphicObject pic;
        pic.SetRect(TRect{v, v, 0, 0});
        QImage one(1, 1, QImage::Format_RGB32);
        one.fill(Qt::red);
        pic.SetPicture(BitmapPicture::FromImage(one), printer, "p.bmp");
        const int opposite = v == INT_MIN ? INT_MAX : -v;
        pic.SetRect(TRect{opposite, opposite, v, v});
        pic.Draw(&painter, printer);
    }
    EXPECT_EQ(printer.ToDevice(INT_MAX), INT_MAX);
    EXPECT_EQ(Converter(645).ToModel(INT_MIN), INT_MIN);
}

namespace {

// The ink of `utf8` set vertically at height -100 on a 2000-pixel canvas,
// from the object's top-left corner, and its rectangle's size, in pixels.
struct Column
{
    QRect ink;
    QSize size;
};
Column drawVertical(const char *utf8)
{
    TextObject t = textWithHeight(-100, sj(utf8));
    Font f;
    t.GetFont(f);
    f.vertical = true;
    t.SetFont(f);
    QImage canvas = whiteCanvas(2000, 1700);
    const TRect r = drawText(t, canvas);
    const Converter conv(2000);
    const QPoint at(conv.ToDevice(r.left), conv.ToDevice(r.top));
    return {inkBox(canvas).translated(-at),
            QSize(conv.ToDevice(r.right), conv.ToDevice(r.bottom)) - QSize(at.x(), at.y())};
}

} // namespace

TEST(VerticalText, ColumnsAreSetAsVerticalTypesettingSetsThem)
{
    const int em = -Converter::Truncate(Converter(2000).ToDevice(-100) * 1.5);
    const Column name = drawVertical("山田太郎");
    // One character under the other; the rectangle is the column as drawn.
    EXPECT_NEAR(name.size.width(), em, 2);
    EXPECT_NEAR(name.size.height(), 4 * em, 4);
    EXPECT_GT(name.ink.height(), 3 * name.ink.width());
    EXPECT_TRUE(QRect(QPoint(), name.size).adjusted(-1, -1, 1, 1).contains(name.ink));

    // The long vowel mark turns: a stroke down the cell, not across it.
    const Column bar = drawVertical("ー");
    EXPECT_GT(bar.ink.height(), 3 * bar.ink.width());
    // 、 and 。 stand in the cell's top-right quarter.
    for (const char *mark : {"、", "。"}) {
        const Column c = drawVertical(mark);
        EXPECT_GE(c.ink.left(), em / 2 - 2) << mark;
        EXPECT_LE(c.ink.bottom(), em / 2 + 2) << mark;
    }
    // Two digits stand upright side by side in one cell; a longer run of
    // half-width letters turns and takes its own length.
    const Column one = drawVertical("1"), twelve = drawVertical("12");
    EXPECT_NEAR(twelve.size.height(), em, 2);
    EXPECT_NEAR(twelve.ink.height(), one.ink.height(), em / 20); // overshoots differ
    EXPECT_GT(twelve.ink.width(), one.ink.width() * 3 / 2);
    EXPECT_LE(twelve.ink.right(), em);
    const Column word = drawVertical("ABCDE");
    EXPECT_GT(word.ink.height(), 2 * word.ink.width());
    EXPECT_LT(word.size.height(), 4 * em);
}

TEST(VerticalText, TheFontRecordKeepsTheDirectionAsReadersOfTheFormatDo)
{
    // The record follows the head (5 bytes), the rectangle (16) and the text
    // "x" (2): escapement at 8, orientation at 12, the face at 28.
    constexpr int kRecord = 23;
    const QByteArray angles2700("\x8c\x0a\0\0\x8c\x0a\0\0", 8), none(8, '\0');
    // A face of 31 bytes gives its last whole character to the "@", never
    // half of one.
    const std::string longFace = "ABCDEFGHIJKLMNOPQRSTUVWXYZA" + sj("ゴシ");
    const struct
    {
        std::string face;
        bool vertical;
        const char *written;
    } cases[] = {
        {Font::defaultFaceName(), false, "ＭＳ Ｐゴシック"},
        {Font::defaultFaceName(), true, "@ＭＳ Ｐゴシック"},
        {longFace, true, "@ABCDEFGHIJKLMNOPQRSTUVWXYZAゴ"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written);
        TextObject t;
        t.SetText("x");
        Font f;
        f.name = c.face;
        f.vertical = c.vertical;
        t.SetFont(f);
        MemoryStream out;
        t.SaveToStream(&out);
        QByteArray bytes = out.Data();
        EXPECT_EQ(bytes.mid(kRecord + 8, 8), c.vertical ? angles2700 : none);
        EXPECT_EQ(bytes.mid(kRecord + 28, 32).split('\0').front().toStdString(), sj(c.written));
        // Read back, then again with the angles cleared as a file made
        // elsewhere may hold them: the face decides.
        for (int pass = 0; pass < 2; ++pass) {
            TextObject back;
            MemoryStream in(bytes);
            back.LoadFromStream(&in);
            Font read;
            back.GetFont(read);
            EXPECT_EQ(read.vertical, c.vertical);
            EXPECT_EQ(sjis::toUtf8(read.name), std::string(c.written + (c.vertical ? 1 : 0)));
            bytes.replace(kRecord + 8, 8, none);
        }
    }
}
