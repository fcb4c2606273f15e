// Card files come from anywhere: whatever the bytes, LoadCard either reads a
// card or throws CardError, never crashes, never leaks. A card it reads saves
// to a file that reads back, and saving that again gives the same bytes, so
// opening and saving a card never changes it a little more each time. A card
// it reads is also drawn as the editor's canvas and as a card image at 2400
// dpi are: whatever its pictures claim, memory stays within the run's limit
// (fuzz/run.sh sets -rss_limit_mb and -malloc_limit_mb).

#include "card/cardfile.h"
#include "card/converter.h"
#include "card/errors.h"
#include "card/font.h"
#include "card/objects.h"
#include "card/stream.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The card images, made once: a fresh 180 MB image for every input would
// only measure the sanitizer's quarantine.
QImage &cardImage(int width, int height)
{
    static QImage screen, printer;
    QImage &image = width < 1000 ? screen : printer;
    if (image.isNull())
        image = QImage(width, height, QImage::Format_RGB32);
    return image;
}

// What RenderCardImage does: a white card image, the drawing order measured
// and drawn onto it.
void draw(const DrawingOrder &order, int width, int height)
{
    QImage &image = cardImage(width, height);
    image.fill(Qt::white);
    QPainter painter(&image);
    const Converter conv(width);
    MeasureCard(order, &image, conv);
    RenderCard(order, &painter, conv);
}

} // namespace

// Drawing texts needs the application object (offscreen). The decoders'
// warnings about damaged data would flood the log and slow the run down.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    installFontSubstitutions();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MemoryStream s(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    Objects card;
    bool read = false;
    try {
        read = LoadCard(&s, card);
    } catch (const CardError &) {
    }
    if (read) {
        MemoryStream first;
        SaveCard(&first, card);
        first.Rewind();
        Objects again;
        try {
            if (!LoadCard(&first, again))
                std::abort();
        } catch (const CardError &) {
            std::abort();
        }
        MemoryStream second;
        SaveCard(&second, again);
        if (second.Data() != first.Data())
            std::abort();

        // The editor's canvas, and the card at 2400 dpi:
        // trunc(2400 x 3.58267) x trunc(2400 x 2.16535).
        const DrawingOrder order = MakeDrawingOrder(card);
        draw(order, 645, 390);
        draw(order, 8598, 5196);
    }
    return 0;
}
