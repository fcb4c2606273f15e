// Pictures are checked from their headers when read and decoded only where
// and as large as they are drawn: bitmaps give Qt's colours from their
// bytes, run-length coded ones with delta escapes included (at a cost that
// follows the rows drawn, whatever the escapes), and a picture that cannot
// be drawn within the limits is left out and named by its key. PNG, GIF,
// TIFF and WebP files become bitmaps of no more pixels than the card shows
// at 600 dpi, 32-bit keeping their alpha when they have transparency, else
// 24-bit; a JPEG with an EXIF orientation is drawn upright.

#include "bomb_cards.h"
#include "card/errors.h"
#include "support.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(BitmapPicture::FromBytes(bombs::bitmapFile(37, -23, 24, 0, flipped))->ToImage(),
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
    const QImage image8 =
        BitmapPicture::FromBytes(bombs::bitmapFile(4, 4, 8, 1, rle8, palette))->ToImage();
    const QImage image4 =
        BitmapPicture::FromBytes(bombs::bitmapFile(4, 4, 4, 2, rle4, palette))->ToImage();
    ASSERT_EQ(image8.size(), QSize(4, 4));
    ASSERT_EQ(image4.size(), QSize(4, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(image8.pixel(x, y), expected8[y][x]) << x << "," << y;
            EXPECT_EQ(image4.pixel(x, y), expected4[y][x]) << x << "," << y;
        }
}

// A bitmap coded almost wholly in escapes costs what its pixels and bytes
// do: stretched over the card, each output row is filled by a copy at most
// once, however many escapes its file row holds, and the pixels are those
// of Qt's decoding stretched as any picture is; in one piece, and in bands
// that resume the coding part way.
TEST(Pictures, RunLengthEscapesCostNoMoreThanTheRowsDrawn)
{
    const struct
    {
        int bits;
        int height;
        int deltas;
        QSize target;
    } cases[] = {
        {8, 2, 512, {2149, 1299}}, // the card at 600 dpi: one piece
        {4, 2, 512, {2149, 1299}},
        {8, 8, 512, {3000, 2600}}, // two bands, a coding of 263 KB
        {4, 8, 512, {3000, 2600}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bits);
        SCOPED_TRACE(c.height);
        const QByteArray bmp = bombs::rleDeltaBitmap(c.bits, c.height, c.deltas);
        const QImage qt = qtDecoded(bmp);
        ASSERT_FALSE(qt.isNull());
        const std::unique_ptr<BitmapPicture> picture = BitmapPicture::FromBytes(bmp);
        EXPECT_EQ(picture->ToImage(), qt);

        QImage drawn(c.target, QImage::Format_RGB32);
        QPainter p(&drawn);
        const qint64 before = RunLengthRowCopies();
        picture->Draw(p, drawn.rect());
        p.end();
        EXPECT_EQ(picture->DrawProblem(), "");
        EXPECT_LE(RunLengthRowCopies() - before, c.target.height());

        QImage expected(c.target, QImage::Format_RGB32);
        QPainter q(&expected);
        drawStretched(q, qt, expected.rect());
        q.end();
        EXPECT_TRUE(drawn == expected);
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

namespace {

// Runs ImageMagick's convert; false (with a failure) when it is missing or fails.
bool magick(const QStringList &args)
{
    const QString convert = QStandardPaths::findExecutable("convert");
    if (convert.isEmpty()) {
        ADD_FAILURE() << "convert not found (package imagemagick)";
        return false;
    }
    QProcess p;
    p.start(convert, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "convert failed: " << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

std::uint32_t le32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// `jpeg` with an EXIF block saying `orientation`, as a camera writes it.
QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    tiff.append(static_cast<char>(orientation)).append(QByteArray(3 + 4, '\0'));
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1");
    segment.append(static_cast<char>((exif.size() + 2) >> 8))
        .append(static_cast<char>((exif.size() + 2) & 0xff));
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) <
           60;
}

} // namespace

TEST(Pictures, ConvertedPicturesKeepTheirTransparencyInAVersion5Bitmap)
{
    QTemporaryDir dir;
    const Converter screen(645);
    QImage blue(2, 2, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    // A 40 x 20 logo: its left half red, its right half transparent.
    const QStringList files = {"logo.png", "LOGO.GIF", "logo.tif", "logo.Tiff", "logo.webp"};
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        ASSERT_TRUE(magick({"-size", "40x20", "xc:none", "-fill", "#ff0000", "-draw",
                            "rectangle 0,0 19,19", "-define", "webp:lossless=true", path}));
        OwnedCard card, reread;
        BuildDefaultCard(card.objects);
        auto &logo = dynamic_cast<GraphicObject &>(*card.objects[kPictureKey]);
        logo.SetPicture(LoadPictureFile(path), screen, "logo");
        // Kept in the card file and read back as the same bitmap.
        ASSERT_TRUE(loadCard(saveCard(card.objects), reread.objects));
        auto &read = dynamic_cast<GraphicObject &>(*reread.objects[kPictureKey]);
        ASSERT_TRUE(read.GetPicture());
        EXPECT_EQ(read.GetPicture()->ClassName(), "TBitmap");
        const QByteArray bmp = read.GetPicture()->SaveToBytes();
        EXPECT_EQ(bmp, logo.GetPicture()->SaveToBytes());
        ASSERT_EQ(bmp.size(), 138 + 40 * 20 * 4);
        const struct
        {
            int at;
            std::uint32_t value;
        } fields[] = {{10, 138},        {14, 124},        {18, 40},         {22, 20},
                      {26, 0x00200001}, {30, 3},          {54, 0x00ff0000}, {58, 0x0000ff00},
                      {62, 0x000000ff}, {66, 0xff000000}, {134, 0}};
        for (const auto &f : fields)
            EXPECT_EQ(le32(bmp, f.at), f.value) << "at " << f.at;
        // The bottom row first: its first pixel red, its last transparent.
        EXPECT_EQ(le32(bmp, 138), 0xffff0000u);
        EXPECT_EQ(le32(bmp, 138 + 39 * 4) >> 24, 0u);
        // Qt's own bitmap reader takes the alpha too.
        QImage qt;
        ASSERT_TRUE(qt.loadFromData(bmp, "BMP"));
        EXPECT_EQ(qt.pixel(30, 5), 0u);

        // Over a blue background, stretched threefold, drawn twice (the
        // second time from the kept copy): the transparent half shows blue.
        auto &back = dynamic_cast<GraphicObject &>(*reread.objects[kBackPictureKey]);
        back.SetPicture(BitmapPicture::FromImage(blue), screen, "a");
        back.SetRect({0, 0, 910, 550});
        back.SetVisible(true);
        read.SetRect({100, 100, 100 + 3 * 57, 100 + 3 * 28});
        read.SetVisible(true);
        for (int drawing = 0; drawing < 2; ++drawing) {
            QImage canvas(645, 390, QImage::Format_RGB32);
            QPainter p(&canvas);
            RenderCard(reread.objects, &p, screen);
            p.end();
            EXPECT_EQ(canvas.pixel(screen.ToDevice(120), screen.ToDevice(120)), qRgb(255, 0, 0));
            EXPECT_EQ(canvas.pixel(screen.ToDevice(250), screen.ToDevice(120)), qRgb(0, 0, 255));
        }
    }
}

TEST(Pictures, ConvertedPicturesAreBoundedWhateverTheFileClaims)
{
    // A GIF header claiming a size; its one pixel stands for the rest.
    auto gif = [](int w, int h) {
        QByteArray b("GIF89a");
        auto le16 = [&](int v) {
            b.append(static_cast<char>(v & 0xff)).append(static_cast<char>(v >> 8));
        };
        le16(w);
        le16(h);
        b.append(QByteArray(3, '\0')).append(',');
        le16(0);
        le16(0);
        le16(w);
        le16(h);
        return b.append(QByteArray("\0\x02\x02\x44\x01\0;", 7));
    };
    QTemporaryDir dir;
    const struct
    {
        QSize claimed;
        QSize kept; // empty: refused, naming the size
    } cases[] = {
        {{60000, 60000}, {}},         // over 16 megapixels
        {{20000, 100}, {2150, 11}},   // wider than the card: as wide as it at 600 dpi
        {{4000, 4000}, {1300, 1300}}, // higher: as high as it
        {{3000, 2000}, {1950, 1300}}, // higher
        {{2150, 1000}, {2150, 1000}}, // within the card: its own size
        {{100, 16000}, {8, 1300}},    // higher
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.claimed.width());
        const QString path = dir.filePath("claim.gif");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(gif(c.claimed.width(), c.claimed.height()));
        file.close();
        if (c.kept.isEmpty()) {
            try {
                LoadPictureFile(path);
                ADD_FAILURE() << "read";
            } catch (const CardError &e) {
                EXPECT_NE(std::string(e.what()).find("60000 x 60000"), std::string::npos);
            }
            continue;
        }
        const std::unique_ptr<Picture> picture = LoadPictureFile(path);
        EXPECT_EQ(QSize(picture->Width(), picture->Height()), c.kept);
    }
}

TEST(Pictures, AJpegWithAnExifOrientationIsDrawnUpright)
{
    // Four coloured quarters, so that every turn and mirror tells.
    auto quarters = [](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        QPainter p(&image);
        p.fillRect(0, 0, w / 2, h / 2, Qt::red);
        p.fillRect(w / 2, 0, w - w / 2, h / 2, Qt::green);
        p.fillRect(0, h / 2, w / 2, h - h / 2, Qt::blue);
        p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, Qt::white);
        return image;
    };
    const QByteArray plain = encodeImage(quarters(80, 40), "JPG", 95);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QByteArray jpeg = withOrientation(plain, orientation);
        const std::unique_ptr<JpegPicture> picture = JpegPicture::FromBytes(jpeg);
        EXPECT_EQ(picture->SaveToBytes(), jpeg);
        // As a photo viewer shows it: Qt's reader turning the whole picture.
        QByteArray copy = jpeg;
        QBuffer buffer(&copy);
        QImageReader reader(&buffer, "JPG");
        reader.setAutoTransform(true);
        const QImage upright = reader.read();
        ASSERT_FALSE(upright.isNull());
        ASSERT_EQ(QSize(picture->Width(), picture->Height()), upright.size());
        EXPECT_EQ(picture->ToImage(), upright.convertToFormat(QImage::Format_RGB32));
        // At half the size, through the decoder's own scaling.
        QImage half(upright.size() / 2, QImage::Format_RGB32);
        QPainter p(&half);
        picture->Draw(p, half.rect());
        p.end();
        for (QPoint at : {QPoint(5, 5), QPoint(half.width() - 5, half.height() - 5)})
            EXPECT_TRUE(near(half.pixel(at), upright.pixel(at * 2))) << at.x() << "," << at.y();
    }

    // Too large to decode whole: only the part shown, mapped through the turn.
    const QByteArray large = withOrientation(encodeImage(quarters(4800, 3600), "JPG", 80), 6);
    const std::unique_ptr<JpegPicture> picture = JpegPicture::FromBytes(large);
    ASSERT_EQ(QSize(picture->Width(), picture->Height()), QSize(3600, 4800));
    QImage part(200, 200, QImage::Format_RGB32);
    QPainter p(&part);
    picture->Draw(p, QRect(-1700, -2300, 3600, 4800));
    p.end();
    EXPECT_EQ(picture->DrawProblem(), "");
    // The upright quarters: blue, red on top; white, green below.
    EXPECT_TRUE(near(part.pixel(50, 50), qRgb(0, 0, 255)));
    EXPECT_TRUE(near(part.pixel(150, 50), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(part.pixel(50, 150), qRgb(255, 255, 255)));
    EXPECT_TRUE(near(part.pixel(150, 150), qRgb(0, 255, 0)));
}

// A converted picture keeps no more pixels than the card shows of it at 600
// dpi (scaled down to fit inside 2150 x 1300) and no alpha channel when it
// has no transparency: a 26 KB 3000 x 2000 logo makes a card of under 8 MB
// (24 MB when it was kept whole at 32 bits).
TEST(Pictures, ConvertedPicturesKeepWhatTheCardShowsAndAlphaOnlyWhenUsed)
{
    QTemporaryDir dir;
    const QString logo = dir.filePath("logo.png");
    ASSERT_TRUE(magick({"-size", "3000x2000", "xc:white", "-fill", "black", "-draw",
                        "circle 1500,1000 1500,200", logo}));
    // Opaque, with an alpha channel in the file all the same.
    const QString opaque = dir.filePath("opaque.png");
    ASSERT_TRUE(magick({"-size", "300x200", "xc:#3366cc", "-alpha", "set", "PNG32:" + opaque}));
    const struct
    {
        QString path;
        QSize kept;
    } cases[] = {{logo, {1950, 1300}}, {opaque, {300, 200}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const std::unique_ptr<Picture> picture = LoadPictureFile(c.path);
        ASSERT_EQ(QSize(picture->Width(), picture->Height()), c.kept);
        EXPECT_EQ(picture->ClassName(), "TBitmap");
        const QByteArray bmp = picture->SaveToBytes();
        // A plain 24-bit bitmap: an info header, rows padded to 4 bytes.
        EXPECT_EQ(le32(bmp, 14), 40u);
        EXPECT_EQ(le32(bmp, 28) & 0xffff, 24u);
        EXPECT_EQ(bmp.size(), 54 + (c.kept.width() * 3 + 3) / 4 * 4 * c.kept.height());
        // Qt reads the same pixels as drawn.
        QImage qt;
        ASSERT_TRUE(qt.loadFromData(bmp, "BMP"));
        EXPECT_EQ(qt.size(), c.kept);
    }
    // The logo's card file.
    OwnedCard card;
    BuildDefaultCard(card.objects);
    auto &back = dynamic_cast<GraphicObject &>(*card.objects[kBackPictureKey]);
    back.SetPicture(LoadPictureFile(logo), Converter(645), "logo");
    back.SetRect({0, 0, 910, 550});
    back.SetVisible(true);
    EXPECT_LE(saveCard(card.objects).size(), 8 * 1000 * 1000);
}
