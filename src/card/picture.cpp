#include "card/picture.h"
#include "card/errors.h"
#include "card/sjis.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

namespace {

QByteArray readWholeFile(const std::string &sjisPath)
{
    QString path = sjis::toUnicode(sjisPath);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw CardError("画像ファイルを開けません: " + path.toStdString() + " (" +
                        f.errorString().toStdString() + ")");
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw CardError("画像ファイルを読めません: " + path.toStdString());
    return bytes;
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

} // namespace

const QImage &ScaledCopy::For(const QImage &image, QSize size) const
{
    if (size != cachedSize || cached.isNull()) {
        cached = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        cachedSize = size;
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
    if (cache) {
        painter.drawImage(target.topLeft(), cache->For(image, target.size()));
        return;
    }
    painter.drawImage(target.topLeft(),
                      image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
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

void VectorPicture::Draw(QPainter &painter, const QRect &target) const
{
    if (Empty() || target.width() <= 0 || target.height() <= 0)
        return;
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
