// Card files come from anywhere: whatever the bytes, LoadCard either reads a
// card or throws CardError, never crashes, never leaks. A card it reads saves
// to a file that reads back, and saving that again gives the same bytes, so
// opening and saving a card never changes it a little more each time.

#include "card/cardfile.h"
#include "card/errors.h"
#include "card/objects.h"
#include "card/stream.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The JPEG and BMP decoders need no application object. Their warnings about
// damaged data would flood the log and slow the run down.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
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
        DestroyObjects(again);
    }
    DestroyObjects(card);
    return 0;
}
