#include "app/japanese.h"
#include "card/font.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
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

// The file system model words its dates in the system's locale, not the
// default one.
class JapaneseDates : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        constexpr int kModifiedColumn = 3;
        if (role == Qt::DisplayRole && index.column() == kModifiedColumn)
            if (auto *files = qobject_cast<const QFileSystemModel *>(sourceModel()))
                return QLocale().toString(files->lastModified(mapToSource(index)),
                                          QStringLiteral("yyyy/MM/dd HH:mm"));
        return QIdentityProxyModel::data(index, role);
    }
};

} // namespace

void SpeakJapanese(QFileDialog &dialog)
{
    static IconProvider provider;
    dialog.setIconProvider(&provider);
    dialog.setProxyModel(new JapaneseDates(&dialog));
}
