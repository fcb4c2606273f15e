#pragma once
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QPainter;

// What a drawing may cost, whatever a picture's header or its rectangle
// claims: opening, drawing or printing a card stays well under 300 MB.
namespace picture_limits {
// One decoded picture (or part of one), in bytes of 32-bit pixels.
inline constexpr qint64 kDecodeBytes = 64ll << 20;
// A JPEG picture (at the reduction drawn) of at most this many pixels is
// decoded whole; a larger one only around the part shown.
inline constexpr qint64 kWholeDecodePixels = 4ll << 20;
// Decoded pictures kept from one drawing to the next, all pictures together.
inline constexpr qint64 kCachedDecodeBytes = 64ll << 20;
// A stretched part at most this many pixels (a card at 600 dpi) is kept for
// the next repaint, so a sheet or a merge page after page stretches it once;
// a larger one is drawn in bands of about this many pixels.
inline constexpr qint64 kCachedPartPixels = 4ll << 20;
// Stretched parts kept, all pictures together, in bytes: a card may hold any
// number of pictures, and each would otherwise keep its own.
inline constexpr qint64 kCachedPartBytes = 64ll << 20;
// The most pixels one stretch may fill: beyond any device the card is
// drawn on, even at 2400 dpi.
inline constexpr qint64 kStretchPixels = 1ll << 28;
// A picture drawn into a PDF file is embedded once (per card drawn, however
// many cells and pages show it) with its own pixels, or as many as its size
// on the page holds at this many pixels per inch when that is fewer; the PDF
// viewer or printer scales it. Never more pixels than it has, and memory as
// for a drawing at 600 dpi (a large JPEG decoded at a reduction, only the
// part shown).
inline constexpr double kPdfPixelsPerInch = 600;
// A picture file converted to a bitmap (PNG, GIF, TIFF, WebP) may have at
// most this many pixels at 8 bits a channel, half as many at 16: its
// decoding stays within kDecodeBytes.
inline constexpr qint64 kImportPixels = kDecodeBytes / 4;
// The size such a bitmap keeps at most: the card (91 x 55 mm) at 600 dpi,
// 2150 x 1300 pixels (rounded up). The card is the largest size a picture
// is meant to take: one larger than the card is placed on it scaled down to
// fit, its aspect kept, and a corner drag keeps the aspect too. So a larger
// picture is scaled down, its aspect kept, to fit inside this size (2150
// pixels wide or 1300 high, whichever it reaches first) and printed at the
// card's size it still has 600 per inch; a smaller one keeps its own size.
// (Stretched further one way only, by an edge or typed numbers, it shows
// fewer that way.) The card file holds the bitmap uncompressed: 24 bits a
// pixel when every pixel is opaque (8.4 MB at most), 32 with the alpha only
// when some pixel is not (11.2 MB at most).
inline constexpr int kImportFitWidth = 2150;
inline constexpr int kImportFitHeight = 1300;
} // namespace picture_limits

// Where a stretch samples its pixels: the pixel at (xs[i], ys[j]) of a grid
// of GridSize() into (i, j) of `out`, which has the size of the indices and
// the format Format(). Returns false (and sets `problem`) when it cannot.
class PixelSource
{
public:
    virtual ~PixelSource() = default;
    virtual QSize GridSize() const = 0;
    virtual QImage::Format Format() const = 0;
    virtual bool Sample(const std::vector<int> &xs, const std::vector<int> &ys, QImage &out,
                        std::string &problem) const = 0;
};

// The last stretched part of a picture: typing repaints the card at the same
// size again and again, and stretching a photograph each time would cost
// more than everything else drawn. Only a small part is kept.
class ScaledCopy
{
public:
    ScaledCopy() = default;
    ScaledCopy(const ScaledCopy &) = delete;
    ScaledCopy &operator=(const ScaledCopy &) = delete;
    ~ScaledCopy();

    // The cached part when it was made for `size` and `part`; else null.
    const QImage *Find(QSize size, const QRect &part) const;
    // Keeps `image` unless the parts kept by all pictures would then pass
    // kCachedPartBytes; the part kept before is dropped either way.
    void Keep(QSize size, const QRect &part, QImage image) const;
    void Clear() const;

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
    // Why the last Draw left the picture out (UTF-8, for the user); empty
    // when it was drawn.
    virtual std::string DrawProblem() const { return {}; }
};

// A photo or bitmap kept as the bytes it came in. Opening checks the header
// only; pixels are decoded when drawn, only the part and resolution the
// target shows, so memory follows what is shown and never what the header
// claims. On a pixel device the picture is stretched into the target's
// device pixels; on a PDF painter it is handed over as one image of at most
// its own pixels and kPdfPixelsPerInch, scaled into the target by the
// painter, the same image object each time it is drawn at that size.
class RasterPicture : public Picture
{
public:
    RasterPicture(const RasterPicture &) = delete;
    RasterPicture &operator=(const RasterPicture &) = delete;
    ~RasterPicture() override;

    int Width() const override { return width; }
    int Height() const override { return height; }
    void Draw(QPainter &painter, const QRect &target) const override;
    QByteArray SaveToBytes() const override { return bytes; }
    std::string DrawProblem() const override { return problem; }

    // The whole picture at its own size; null (DrawProblem says why) when
    // it cannot be decoded within the limits.
    QImage ToImage() const;

protected:
    RasterPicture() = default;
    // The pixels a stretch to `target` (device pixels) samples from for the
    // visible `part` of it; null with `problem` set when they cannot be had
    // within the limits.
    virtual std::unique_ptr<PixelSource> SourceFor(QSize target, const QRect &part,
                                                   std::string &problem) const = 0;

    QByteArray bytes;
    int width = 0;
    int height = 0;

private:
    // Draw's way on a PDF painter; `part` is the visible part of the target.
    void drawIntoPdf(QPainter &painter, const QRect &target, const QRect &part) const;

    mutable std::string problem;
    ScaledCopy scaled;
};

// Keeps the BMP file image it was made from, byte for byte, and samples its
// pixels straight from those bytes (run-length coded ones row by row).
class BitmapPicture : public RasterPicture
{
public:
    // Throws ReadError when the bytes are not a bitmap (header, colour
    // table and coding checked; the pixels are not decoded).
    static std::unique_ptr<BitmapPicture> FromBytes(const QByteArray &bmpFile);
    static std::unique_ptr<BitmapPicture> FromFile(const std::string &sjisPath);
    // Encodes `image` as a 24-bit BMP file image.
    static std::unique_ptr<BitmapPicture> FromImage(const QImage &image);
    // Encodes `image` as a 32-bit BMP file image with its alpha: a version 5
    // header, bit fields (alpha, red, green, blue from the top byte down,
    // alpha not premultiplied), rows bottom-up; the form other readers of
    // BMP files take transparency from.
    static std::unique_ptr<BitmapPicture> FromImageWithAlpha(const QImage &image);

    std::string ClassName() const override { return "TBitmap"; }

    // What the header says, as the sampler uses it.
    struct Layout
    {
        int bitCount = 0;
        int compression = 0; // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
        bool topDown = false;
        bool alpha = false;
        qint64 dataOffset = 0;
        qint64 stride = 0;
        std::uint32_t masks[4] = {};
        int shifts[4] = {};
        int scales[4] = {};
        std::vector<QRgb> palette;
    };

protected:
    std::unique_ptr<PixelSource> SourceFor(QSize target, const QRect &part,
                                           std::string &problem) const override;

private:
    BitmapPicture() = default;
    Layout layout;
};

// Keeps the JPEG bytes; decodes through Qt's JPEG reader at 1/1, 1/2, 1/4
// or 1/8 of the size (the decoder's own cheap scaling) and only the rows
// and columns shown, keeping one or two decodings for the next repaint.
// A picture with an EXIF orientation is upright: Width() and Height() and
// every drawing are those of the picture turned as the orientation says;
// the bytes stay as they came.
class JpegPicture : public RasterPicture
{
public:
    // Throws ReadError when the bytes are not a JPEG image the decoder can
    // read the header of.
    static std::unique_ptr<JpegPicture> FromBytes(const QByteArray &jpeg);
    static std::unique_ptr<JpegPicture> FromFile(const std::string &sjisPath);
    ~JpegPicture() override;

    std::string ClassName() const override { return "TJPEGImage"; }

protected:
    std::unique_ptr<PixelSource> SourceFor(QSize target, const QRect &part,
                                           std::string &problem) const override;

private:
    JpegPicture() = default;
    struct Decoded
    {
        int reduction = 1;
        QRect region; // in the reduced picture's pixels, as stored (not turned)
        QImage image;
        qint64 lastUse = 0;
    };
    // The decoding at `reduction` holding `region` (its top-left pixel at
    // `origin` of the reduced picture, both as stored), from the kept ones or
    // made now; null when the decoder fails.
    QImage decoded(int reduction, const QRect &region, QPoint &origin, std::string &problem) const;
    mutable std::vector<Decoded> kept;
    // The size as stored, before the orientation turns it.
    QSize storedSize() const;
    // The EXIF orientation as the reader's transformation flags (mirror,
    // flip, then a quarter turn clockwise); 0 for none.
    int orientation = 0;
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
    // fill's rectangles for a PDF file.
    void fillAsVectors(QPainter &painter, const QRect &target) const;

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
    // The rectangles as fillAsVectors writes them, in units of gridUnit.
    mutable bool gridValid = false;
    mutable int gridUnit = 1;
    mutable std::vector<QRectF> gridRects;
};

// Source indices of the stretched pixels first .. first + count - 1 along
// one axis of a stretch of a `source` picture to `target`: the nearest-pixel
// walk Qt's own stretch takes (which depends on both axes), with 64-bit
// positions at any enlargement.
std::vector<int> StretchIndices(QSize source, QSize target, Qt::Orientation axis, qint64 first,
                                int count);

// Output rows the run-length bitmap sampler has filled by copying the row
// above them, since the program started: a stretch copies at most once per
// row it fills, whatever escapes the bitmap holds. For the tests.
qint64 RunLengthRowCopies();

// Draws `image` stretched into `target` (device pixels) with a plain
// nearest-pixel copy, as a block copy would: only the part the painter
// shows, in bands when large. With a cache, a small part is kept for the
// next draw of the same part.
void drawStretched(QPainter &painter, const QImage &image, const QRect &target,
                   const ScaledCopy *cache = nullptr);

// The picture of a JPEG (".jpg", ".jpeg") or bitmap (".bmp") file, kept byte
// for byte, or of a PNG, GIF, TIFF or WebP file (".png", ".gif", ".tif",
// ".tiff", ".webp") converted to a bitmap, 24-bit when it is wholly opaque,
// else 32-bit with its alpha (see kImportPixels, kImportFitWidth and
// kImportFitHeight); chosen by the extension without regard to case; null
// for any other extension. Throws CardError naming the file when it cannot
// be opened or is not a picture of that kind.
std::unique_ptr<Picture> LoadPictureFile(const QString &path);
