// Card files come from anywhere: whatever the bytes, LoadCard either reads a
// card or throws CardError, never crashes, never leaks.

#include "card/cardfile.h"
#include "card/errors.h"
#include "card/objects.h"
#include "card/stream.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

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
    try {
        LoadCard(&s, card);
    } catch (const CardError &) {
    }
    DestroyObjects(card);
    return 0;
}
