#include "app/arguments.h"
#include "app/dialogs.h"
#include "app/japanese.h"
#include "app/meishi.h"
#include "card/font.h"
#include "card/quiet.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

int main(int argc, char *argv[])
{
    // Read before the application object exists: --help, --version and a
    // usage error need no display, and the application object takes its own
    // options out of argv.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const Arguments arguments = ParseArguments(args);
    if (const int status = RunWithoutWindow(arguments); status >= 0)
        return status;

    QApplication app(argc, argv);
    DropImageReaderMessages();
    installFontSubstitutions();
    SpeakJapanese();
    QtDialogs dialogs;
    try {
        TMeishi meishi(dialogs);
        meishi.show();
        if (!arguments.card.isEmpty())
            meishi.OpenCardArgument(arguments.card);
        app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Plakuro"), QString::fromUtf8(e.what()));
    }
    return 0;
}
