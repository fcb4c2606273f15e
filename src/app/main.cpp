#include "app/dialogs.h"
#include "app/japanese.h"
#include "app/meishi.h"
#include "card/font.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutions();
    SpeakJapanese();
    QtDialogs dialogs;
    try {
        TMeishi meishi(dialogs);
        meishi.show();
        app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Plakuro"), QString::fromUtf8(e.what()));
    }
    return 0;
}
