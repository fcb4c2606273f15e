#include "cli/commands.h"

#include "card/font.h"

#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Qt's own notes (a missing runtime folder, font warnings) would break the
// one-line-per-failure promise on stderr; only its fatal messages pass.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "plakuro-cli: %s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
#ifdef __GLIBC__
    // A PDF page's content is built in buffers of a megabyte or more that
    // are freed at each page; glibc would map and unmap them every time, a
    // third of a long merge's time in page faults. Kept in the heap, they
    // are reused; the peak stays what the largest page needs.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
    // Taken before the application object exists, which would take options
    // such as "-platform" out of the list.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // No display is needed, nor used when there is one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    int appArgc = 1;
    QGuiApplication app(appArgc, argv);
    installFontSubstitutions();
    return RunTool(args);
}
