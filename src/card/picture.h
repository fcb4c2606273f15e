#pragma once
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QPainter;

// The last stretched copy of a picture: typing repaints the card at the same
// size again and again, and scaling a photograph each time would cost more
// than everything else drawn. Only the part that was seen is kept: a photo
// stretched whole to a card at printer resolution takes half a gigabyte.
class ScaledCopy
{
public:
    // The rectangle `part` (within QRect(QPoint(), size)) of `image`
    // stretched to `size` with a plain nearest-pixel resampling: the pixels
    // of image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation)
    // there. One ScaledCopy serves one image.
    const QImage &For(const QImage &image, QSize size, const QRect &part) const;

private:
    mutable QSize cachedSize;
    mutable QRect cachedPart;
    mutable QImage cached;
};

// A picture a GraphicObject holds. Width and height are its own size in
// pixels; Draw stretches the whole picture into the target rectangle
// (device pixels, right and bottom exclusive), aspect not kept.
class Picture
{
public:
    virtual ~Picture() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const { return Width() == 0 || Height() == 0; }
    virtual void Draw(QPainter &painter, const QRect &target) const = 0;
    // "TBitmap", "TJPEGImage" or "TMetafile".
    virtual std::string ClassName() const = 0;
    // The bytes the card file stores for this picture (the picture as its
    // class saves itself). Vector pictures are never stored and return none.
    virtual QByteArray SaveToBytes() const = 0;
};

// Keeps the BMP file image it was made from, byte for byte.
class BitmapPicture : public Picture
{
public:
    // Throws ReadError when the bytes are not a bitmap Qt can decode.
    static std::unique_ptr<BitmapPicture> FromBytes(const QByteArray &bmpFile);
    static std::unique_ptr<BitmapPicture> FromFile(const std::string &sjisPath);
    // Encodes `image` as a 24-bit BMP file image.
    static std::unique_ptr<BitmapPicture> FromImage(const QImage &image);

    int Width() const override { return image.width(); }
    int Height() const override { return image.height(); }
    void Draw(QPainter &painter, const QRect &target) const override;
    std::string ClassName() const override { return "TBitmap"; }
    QByteArray SaveToBytes() const override { return fileBytes; }
    const QImage &Image() const { return image; }

private:
    QByteArray fileBytes;
    QImage image;
    ScaledCopy scaled;
};

// Keeps the JPEG bytes; decoded once at full size through Qt's JPEG plug-in.
class JpegPicture : public Picture
{
public:
    static std::unique_ptr<JpegPicture> FromBytes(const QByteArray &jpeg);
    static std::unique_ptr<JpegPicture> FromFile(const std::string &sjisPath);

    int Width() const override { return image.width(); }
    int Height() const override { return image.height(); }
    void Draw(QPainter &painter, const QRect &target) const override;
    std::string ClassName() const override { return "TJPEGImage"; }
    QByteArray SaveToBytes() const override { return jpegBytes; }
    const QImage &Image() const { return image; }

private:
    QByteArray jpegBytes;
    QImage image;
    ScaledCopy scaled;
};

// Filled rectangles on a background, in the picture's own pixel space; drawn
// at any scale without resampling. The QR symbol is one.
class VectorPicture : public Picture
{
public:
    VectorPicture() = default;
    VectorPicture(int width, int height, QColor background, QColor foreground,
                  std::vector<QRect> rects);

    int Width() const override { return width; }
    int Height() const override { return height; }
    void Draw(QPainter &painter, const QRect &target) const override;
    std::string ClassName() const override { return "TMetafile"; }
    QByteArray SaveToBytes() const override { return {}; }
    const std::vector<QRect> &Rects() const { return rects; }

    // The picture drawn at its own size onto an image of its own size.
    QImage ToImage() const;

private:
    void fill(QPainter &painter, const QRect &target) const;

    int width = 0;
    int height = 0;
    QColor background = Qt::white;
    QColor foreground = Qt::black;
    std::vector<QRect> rects;
    // The picture as drawn at drawnSize, made once it was drawn twice at that
    // size onto a plain 32-bit image: a drag repaints the same symbol again
    // and again, and one copy costs less than hundreds of filled rectangles.
    mutable QSize drawnSize;
    mutable int drawsAtSize = 0;
    mutable QImage drawn;
};

// Draws `image` stretched into `target` (device pixels) with a plain
// nearest-pixel copy, as a block copy would. On an image device only the part
// inside the device and its clip is stretched.
void drawStretched(QPainter &painter, const QImage &image, const QRect &target,
                   const ScaledCopy *cache = nullptr);

// The picture of a JPEG (".jpg", ".jpeg") or bitmap (".bmp") file, chosen by
// the extension without regard to case; null for any other extension. Throws
// CardError naming the file when it cannot be opened or decoded.
std::unique_ptr<Picture> LoadPictureFile(const QString &path);
