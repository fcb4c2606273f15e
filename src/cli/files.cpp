#include "cli/files.h"
#include "card/picture.h"
#include "cli/args.h"

#include "card/files.h"

#include <QImageWriter>
#include <cmath>

namespace {

Failure writeFailure(const QString &path, const QString &reason)
{
    return FileFailure(path, QStringLiteral("書き込めません (%1)").arg(reason));
}

} // namespace

QByteArray ReadCardBytes(const QString &path)
{
    try {
        return files::ReadWholeFile(path, files::kCardFileLimit);
    } catch (const FileError &e) {
        throw FileFailure(path, QStringLiteral("読めません (%1)").arg(e.Cause()));
    }
}

void WriteWholeFile(const QByteArray &bytes, const QString &path)
{
    try {
        files::WriteWholeFile(path, bytes);
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}

void WriteImageFile(QImage image, int dpi, const QString &path, const char *format)
{
    const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    try {
        files::SafeFile file(path);
        QImageWriter writer(&file.Device(), format);
        if (!writer.write(image))
            file.Fail(writer.errorString());
        file.Commit();
    } catch (const FileError &e) {
        throw writeFailure(path, e.Cause());
    }
}

std::unique_ptr<Picture> ReadPictureFile(const QString &path)
{
    std::unique_ptr<Picture> picture;
    try {
        picture = LoadPictureFile(path);
    } catch (const CardError &e) {
        throw Failure(Failure::FileError, QString::fromUtf8(e.what()));
    }
    if (!picture)
        throw FileFailure(path,
                          QStringLiteral("使える画像は JPEG (.jpg, .jpeg)、ビットマップ (.bmp)、"
                                         "PNG (.png)、GIF (.gif)、TIFF (.tif, .tiff)、"
                                         "WebP (.webp) だけです"));
    return picture;
}
