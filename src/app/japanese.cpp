#include "app/japanese.h"
#include "card/font.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool SpeakJapanese()
{
    static bool loaded = [] {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        // Message boxes, the file, colour and print dialogs and tooltips;
        // the main window and our own dialogs set the same face themselves.
        QApplication::setFont(WindowFont());
        // Lives as long as the application: Qt looks texts up in it lazily.
        static QTranslator qt;
        if (!qt.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            return false;
        return QCoreApplication::installTranslator(&qt);
    }();
    return loaded;
}

namespace {

class IconProvider : public QFileIconProvider
{
public:
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir() && !info.isRoot())
            return QStringLiteral("フォルダ");
        return QFileIconProvider::type(info);
    }
};

} // namespace

QAbstractFileIconProvider *JapaneseFileIconProvider()
{
    static IconProvider provider;
    return &provider;
}
