// Picture files as the editor and plakuro-cli fill import them, whatever the
// bytes: LoadPictureFile either gives a picture or throws CardError, never
// crashes, never leaks, and memory stays within the run's limit whatever a
// header claims. A picture it gives has a size, saves to the bytes a card
// file holds, and those bytes read back as a picture of the same size (a card
// saved with it opens again); it is drawn small, whole and as the visible
// part of a large stretch.
//
// The first byte chooses the file's extension (its low three bits: .png,
// .gif, .tif, .tiff, .webp, .jpg, .jpeg, .bmp); the rest is the file. PNG,
// GIF, TIFF and WebP go through Qt's image plug-ins, which are not
// instrumented: what is checked there is our side of them. fuzz/make_seeds.py
// writes the seeds (fuzz/corpus/picture/).

#include "card/errors.h"
#include "card/picture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

const char *const kExtensions[] = {"png", "gif", "tif", "tiff", "webp", "jpg", "jpeg", "bmp"};

// One scratch file for each extension, in memory (/dev/shm) where there is
// one.
QString scratchPath(const char *extension)
{
    static const QString dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                   ? QStringLiteral("/dev/shm")
                                   : QDir::tempPath();
    return QStringLiteral("%1/plakuro-fuzz-picture-%2.%3")
        .arg(dir)
        .arg(static_cast<qint64>(getpid()))
        .arg(QLatin1String(extension));
}

// The picture as a card file holds it, read back as opening the card does.
std::unique_ptr<Picture> reread(const Picture &p)
{
    const QByteArray bytes = p.SaveToBytes();
    if (p.ClassName() == "TBitmap")
        return BitmapPicture::FromBytes(bytes);
    if (p.ClassName() == "TJPEGImage")
        return JpegPicture::FromBytes(bytes);
    std::abort(); // a file never gives a vector picture
}

// The card image is made once: a picture drawn at the size of a thumbnail.
void draw(const Picture &p)
{
    static QImage image(91, 55, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    p.Draw(painter, image.rect());
    // Stretched far beyond the image: only the part shown is decoded.
    p.Draw(painter, QRect(-400, -250, 1820, 1100));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString path = scratchPath(kExtensions[data[0] & 7]);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data) + 1, static_cast<qint64>(size - 1));
    }
    std::unique_ptr<Picture> picture;
    bool refused = false;
    try {
        picture = LoadPictureFile(path);
    } catch (const CardError &) {
        refused = true;
    }
    QFile::remove(path);
    if (refused)
        return 0;
    if (!picture || picture->Width() <= 0 || picture->Height() <= 0)
        std::abort(); // every extension here is a picture's
    std::unique_ptr<Picture> again;
    try {
        again = reread(*picture);
    } catch (const CardError &) {
        std::abort();
    }
    if (again->Width() != picture->Width() || again->Height() != picture->Height())
        std::abort();
    draw(*picture);
    return 0;
}
