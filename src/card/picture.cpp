#include "card/picture.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/sjis.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

QByteArray readWholeFile(const std::string &sjisPath)
{
    QString path = sjis::toUnicode(sjisPath);
    try {
        return files::ReadWholeFile(path);
    } catch (const FileError &e) {
        throw CardError("画像ファイルを読めません: " + path.toStdString() + " (" +
                        e.Cause().toStdString() + ")");
    }
}

QImage decode(const QByteArray &bytes, const char *format, const char *what)
{
    QImage image;
    if (!image.loadFromData(bytes, format) || image.isNull())
        throw ReadError(std::string(what) + "として読めないデータです");
    // One pixel format for every picture keeps stretched drawing cheap.
    if (image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return image.convertToFormat(QImage::Format_RGB32);
}

// Qt's nearest-pixel stretch of a 32-bit image walks the source in 16.16
// fixed point: the step is 65536 over the factor, truncated, and the first
// sample lies half a step less one in. Repeating that walk gives any part of
// the stretch alone with the same pixels. Beyond these bounds Qt walks
// otherwise, and the whole stretch is left to it.
bool canStretchPart(const QImage &image, QSize size)
{
    constexpr int kLongestSide = 0x7fff;
    constexpr qint64 kLargestFactor = 512;
    const QImage::Format f = image.format();
    return (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied) &&
           image.width() <= kLongestSide && image.height() <= kLongestSide &&
           size.width() <= kLongestSide && size.height() <= kLongestSide &&
           size.width() <= kLargestFactor * image.width() &&
           size.height() <= kLargestFactor * image.height();
}

// Source indices of the stretched pixels first .. first + count - 1 along one
// axis, the factor formed as Qt forms it (the mapped length over the source).
std::vector<int> sourceIndices(int source, int target, int first, int count)
{
    const double factor = source * (static_cast<double>(target) / source) / source;
    const auto step = static_cast<qint64>(static_cast<int>(65536 / factor));
    qint64 pos = static_cast<qint64>(std::ceil(0.5 * static_cast<double>(step))) - 1 + step * first;
    std::vector<int> indices(static_cast<std::size_t>(count));
    for (int &i : indices) {
        i = std::clamp(static_cast<int>(pos >> 16), 0, source - 1);
        pos += step;
    }
    return indices;
}

QImage stretchedPart(const QImage &image, QSize size, const QRect &part)
{
    if (!canStretchPart(image, size)) {
        QImage whole = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return part == whole.rect() ? whole : whole.copy(part);
    }
    QImage out(part.size(), image.format());
    if (out.isNull())
        return out;
    const std::vector<int> xs = sourceIndices(image.width(), size.width(), part.x(), part.width());
    const std::vector<int> ys =
        sourceIndices(image.height(), size.height(), part.y(), part.height());
    for (int y = 0; y < part.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(image.constScanLine(ys[y]));
        auto *to = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < part.width(); ++x)
            to[x] = from[xs[x]];
    }
    return out;
}

// The part of a stretch into `target` that the painter can show, in the
// stretch's own pixels; all of it where that cannot be told.
QRect visiblePart(const QPainter &painter, const QRect &target)
{
    const QRect whole(QPoint(0, 0), target.size());
    const QPaintDevice *device = painter.device();
    if (!device || device->devType() != QInternal::Image || device->devicePixelRatio() != 1 ||
        painter.deviceTransform().type() != QTransform::TxNone)
        return whole;
    QRect visible(0, 0, device->width(), device->height());
    if (painter.hasClipping())
        visible &= painter.clipBoundingRect().toAlignedRect();
    return visible.translated(-target.topLeft()) & whole;
}

} // namespace

const QImage &ScaledCopy::For(const QImage &image, QSize size, const QRect &part) const
{
    if (size != cachedSize || part != cachedPart || cached.isNull()) {
        cached = stretchedPart(image, size, part);
        cachedSize = size;
        cachedPart = part;
    }
    return cached;
}

void drawStretched(QPainter &painter, const QImage &image, const QRect &target,
                   const ScaledCopy *cache)
{
    if (image.isNull() || target.width() <= 0 || target.height() <= 0)
        return;
    if (target.size() == image.size()) {
        painter.drawImage(target.topLeft(), image);
        return;
    }
    const QRect part = visiblePart(painter, target);
    if (part.isEmpty())
        return;
    const QPoint at = target.topLeft() + part.topLeft();
    if (cache) {
        painter.drawImage(at, cache->For(image, target.size(), part));
        return;
    }
    painter.drawImage(at, stretchedPart(image, target.size(), part));
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromBytes(const QByteArray &bmpFile)
{
    auto p = std::unique_ptr<BitmapPicture>(new BitmapPicture);
    p->image = decode(bmpFile, "BMP", "ビットマップ");
    p->fileBytes = bmpFile;
    return p;
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromFile(const std::string &sjisPath)
{
    return FromBytes(readWholeFile(sjisPath));
}

std::unique_ptr<BitmapPicture> BitmapPicture::FromImage(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "BMP");
    if (!writer.write(image.convertToFormat(QImage::Format_RGB32)))
        throw CardError("ビットマップを作れません: " + writer.errorString().toStdString());
    buffer.close();
    return FromBytes(bytes);
}

void BitmapPicture::Draw(QPainter &painter, const QRect &target) const
{
    drawStretched(painter, image, target, &scaled);
}

std::unique_ptr<JpegPicture> JpegPicture::FromBytes(const QByteArray &jpeg)
{
    auto p = std::unique_ptr<JpegPicture>(new JpegPicture);
    p->image = decode(jpeg, "JPEG", "JPEG 画像");
    p->jpegBytes = jpeg;
    return p;
}

std::unique_ptr<JpegPicture> JpegPicture::FromFile(const std::string &sjisPath)
{
    return FromBytes(readWholeFile(sjisPath));
}

void JpegPicture::Draw(QPainter &painter, const QRect &target) const
{
    drawStretched(painter, image, target, &scaled);
}

VectorPicture::VectorPicture(int width, int height, QColor background, QColor foreground,
                             std::vector<QRect> rects)
    : width(width), height(height), background(background), foreground(foreground),
      rects(std::move(rects))
{
}

namespace {

// Whether copying an image of opaque pixels to `target` writes what filling
// opaque rectangles there would: a 32-bit image device taken pixel for pixel,
// blending left alone, the whole target on it (a copy is clipped as fills
// are).
bool copiesAsFills(const QPainter &painter, const QRect &target)
{
    const QPaintDevice *device = painter.device();
    if (!device || device->devType() != QInternal::Image || device->devicePixelRatio() != 1 ||
        painter.deviceTransform().type() != QTransform::TxNone || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const auto *image = static_cast<const QImage *>(device);
    const QImage::Format f = image->format();
    return (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
            f == QImage::Format_ARGB32_Premultiplied) &&
           image->rect().contains(target);
}

} // namespace

void VectorPicture::Draw(QPainter &painter, const QRect &target) const
{
    if (Empty() || target.width() <= 0 || target.height() <= 0)
        return;
    if (background.alpha() == 255 && foreground.alpha() == 255 && copiesAsFills(painter, target)) {
        if (target.size() != drawnSize) {
            drawnSize = target.size();
            drawsAtSize = 0;
            drawn = QImage();
        }
        if (drawsAtSize < 2)
            ++drawsAtSize;
        if (drawsAtSize == 2 && drawn.isNull()) {
            drawn = QImage(target.size(), QImage::Format_RGB32);
            QPainter p(&drawn);
            fill(p, drawn.rect());
        }
        if (!drawn.isNull()) {
            painter.drawImage(target.topLeft(), drawn);
            return;
        }
    }
    fill(painter, target);
}

void VectorPicture::fill(QPainter &painter, const QRect &target) const
{
    // Edges are mapped one by one, so neighbouring rectangles meet without
    // gaps or overlaps at any scale.
    const qint64 tw = target.width(), th = target.height();
    auto mapX = [&](int x) { return target.left() + static_cast<int>(x * tw / width); };
    auto mapY = [&](int y) { return target.top() + static_cast<int>(y * th / height); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(target, background);
    for (const QRect &r : rects) {
        int l = mapX(r.left()), t = mapY(r.top());
        int rr = mapX(r.left() + r.width()), b = mapY(r.top() + r.height());
        if (rr > l && b > t)
            painter.fillRect(QRect(l, t, rr - l, b - t), foreground);
    }
    painter.restore();
}

QImage VectorPicture::ToImage() const
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!Empty()) {
        QPainter p(&image);
        Draw(p, QRect(0, 0, width, height));
    }
    return image;
}

std::unique_ptr<Picture> LoadPictureFile(const QString &path)
{
    const std::string ext = sjis::toUpper(sjis::extensionPart(sjis::fromUnicode(path)));
    if (ext != ".JPEG" && ext != ".JPG" && ext != ".BMP")
        return nullptr;
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path);
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("画像ファイル %1 を開けません: %2")
                            .arg(QDir::toNativeSeparators(path), e.Cause())
                            .toStdString());
    }
    try {
        if (ext == ".BMP")
            return BitmapPicture::FromBytes(bytes);
        return JpegPicture::FromBytes(bytes);
    } catch (const CardError &e) {
        throw CardError(QStringLiteral("画像ファイル %1 を読めません: %2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                            .toStdString());
    }
}
