// An edit under the same application object as the program's, focused and
// closed at once: the platform input context plugin QT_IM_MODULE names is
// loaded when the application starts and takes the edit's focus.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.show();
    edit.setFocus();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
