// Pictures are checked from their headers when read and decoded only where
// and as large as they are drawn: bitmaps give Qt's colours from their
// bytes, run-length coded ones with delta escapes included, and a picture
// that cannot be drawn within the limits is left out and named by its key.

#include "bomb_cards.h"
#include "support.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

// A bitmap file image with an info header.
QByteArray bitmap(int width, int height, int bits, int compression, const QByteArray &pixels,
                  const std::vector<QRgb> &palette = {})
{
    QByteArray table;
    for (QRgb c : palette)
        table.append(static_cast<char>(qBlue(c)))
            .append(static_cast<char>(qGreen(c)))
            .append(static_cast<char>(qRed(c)))
            .append('\0');
    auto le = [](QByteArray &b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(static_cast<char>(v >> (8 * i)));
    };
    QByteArray info;
    le(info, 40, 4);
    le(info, static_cast<std::uint32_t>(width), 4);
    le(info, static_cast<std::uint32_t>(height), 4);
    le(info, 1, 2);
    le(info, static_cast<std::uint32_t>(bits), 2);
    le(info, static_cast<std::uint32_t>(compression), 4);
    le(info, static_cast<std::uint32_t>(pixels.size()), 4);
    le(info, 2835, 4);
    le(info, 2835, 4);
    le(info, static_cast<std::uint32_t>(palette.size()), 4);
    le(info, 0, 4);
    const auto offset = static_cast<std::uint32_t>(14 + info.size() + table.size());
    QByteArray file("BM");
    le(file, offset + static_cast<std::uint32_t>(pixels.size()), 4);
    le(file, 0, 4);
    le(file, offset, 4);
    return file + info + table + pixels;
}

QImage qtDecoded(const QByteArray &bmp)
{
    QImage image;
    image.loadFromData(bmp, "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(Pictures, BitmapsGiveTheColoursQtDecodes)
{
    const QImage photo = photoImage(37, 23, 5);
    QImage indexed = photo.convertToFormat(QImage::Format_Indexed8);
    QImage mono = photo.convertToFormat(QImage::Format_Mono);
    for (const QImage &image : {photo, indexed, mono}) {
        SCOPED_TRACE(image.format());
        const QByteArray bmp = encodeImage(image, "BMP");
        EXPECT_EQ(BitmapPicture::FromBytes(bmp)->ToImage(), qtDecoded(bmp));
    }
    // Rows stored top-down: a negative height.
    QByteArray rows = encodeImage(photo, "BMP").mid(54);
    const qsizetype stride = rows.size() / photo.height();
    QByteArray flipped;
    for (int y = photo.height() - 1; y >= 0; --y)
        flipped += rows.mid(y * stride, stride);
    EXPECT_EQ(BitmapPicture::FromBytes(bitmap(37, -23, 24, 0, flipped))->ToImage(),
              photo.convertToFormat(QImage::Format_RGB32));
}

TEST(Pictures, RunLengthBitmapsWithDeltaEscapesRead)
{
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(qRgb(200 - i * 10, i * 15, i * 5));
    auto c = [&](int i) { return palette[static_cast<std::size_t>(i)]; };
    // From the bottom row up: two of colour 1, a delta of (1, 1) to the
    // last pixel of the next row, one of colour 3, end of line, three
    // literal pixels 4, 5, 6, end of line, end of bitmap. Pixels no run
    // reaches take the first colour.
    const QByteArray rle8("\x02\x01\x00\x02\x01\x01\x01\x03\x00\x00\x00\x03\x04\x05\x06\x00"
                          "\x00\x00\x00\x01",
                          20);
    const QRgb expected8[4][4] = {{c(0), c(0), c(0), c(0)},
                                  {c(4), c(5), c(6), c(0)},
                                  {c(0), c(0), c(0), c(3)},
                                  {c(1), c(1), c(0), c(0)}};
    // The same in 4 bits: runs alternate two colours; literals are packed.
    const QByteArray rle4("\x03\x12\x00\x02\x00\x01\x01\x33\x00\x00\x00\x03\x45\x60\x00\x00"
                          "\x00\x01",
                          18);
    const QRgb expected4[4][4] = {{c(0), c(0), c(0), c(0)},
                                  {c(4), c(5), c(6), c(0)},
                                  {c(0), c(0), c(0), c(3)},
                                  {c(1), c(2), c(1), c(0)}};
    const QImage image8 = BitmapPicture::FromBytes(bitmap(4, 4, 8, 1, rle8, palette))->ToImage();
    const QImage image4 = BitmapPicture::FromBytes(bitmap(4, 4, 4, 2, rle4, palette))->ToImage();
    ASSERT_EQ(image8.size(), QSize(4, 4));
    ASSERT_EQ(image4.size(), QSize(4, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(image8.pixel(x, y), expected8[y][x]) << x << "," << y;
            EXPECT_EQ(image4.pixel(x, y), expected4[y][x]) << x << "," << y;
        }
}

TEST(Pictures, APictureThatCannotBeDrawnIsNamedAndTheRestIsDrawn)
{
    OwnedCard card;
    BuildDefaultCard(card.objects);
    const Converter screen(645);
    auto &back = dynamic_cast<GraphicObject &>(*card.objects[kBackPictureKey]);
    back.SetPicture(JpegPicture::FromBytes(bombs::jpegClaiming(QSize(65500, 65500))), screen, "a");
    back.SetRect({0, 0, 910, 550});
    back.SetVisible(true);
    auto &logo = dynamic_cast<GraphicObject &>(*card.objects[kPictureKey]);
    QImage red(2, 2, QImage::Format_RGB32);
    red.fill(Qt::red);
    logo.SetPicture(BitmapPicture::FromImage(red), screen, "b");
    logo.SetRect({100, 100, 300, 200});
    logo.SetVisible(true);

    QImage canvas(645, 390, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    RenderCard(card.objects, &p, screen);
    p.end();
    const std::vector<std::string> problems = DrawProblems(card.objects);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("\"bBackPicture\""), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("65500 x 65500"), std::string::npos) << problems[0];
    EXPECT_EQ(canvas.pixel(screen.ToDevice(200), screen.ToDevice(150)), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255));

    // Hidden, it is no longer named.
    back.SetVisible(false);
    QPainter again(&canvas);
    RenderCard(card.objects, &again, screen);
    again.end();
    EXPECT_TRUE(DrawProblems(card.objects).empty());
}
