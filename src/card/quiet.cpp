#include "card/quiet.h"

#include <QMessageLogContext>
#include <QString>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex &quietMutex()
{
    static std::mutex m;
    return m;
}

QtMessageHandler previousHandler = nullptr;

bool fromImageReaders(const char *category)
{
    return category && (std::strncmp(category, "qt.gui.imageio", 14) == 0 ||
                        std::strncmp(category, "qt.imageformats", 15) == 0);
}

void dropImageReaders(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg && fromImageReaders(context.category))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

QuietStderr::QuietStderr()
{
    quietMutex().lock();
    std::fflush(stderr);
    saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0)
        ::dup2(null, 2);
    if (null >= 0)
        ::close(null);
}

QuietStderr::~QuietStderr()
{
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, 2);
        ::close(saved);
    }
    quietMutex().unlock();
}

void DropImageReaderMessages()
{
    previousHandler = qInstallMessageHandler(dropImageReaders);
}
