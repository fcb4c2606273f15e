#include "app/manual.h"

#include <QDir>
#include <QFileInfo>

#ifndef PLAKURO_DOCDIR_FROM_BINDIR
#error "PLAKURO_DOCDIR_FROM_BINDIR comes from the install folders in CMake"
#endif

namespace {

const QString kManualName = QStringLiteral("manual.html");

} // namespace

QString InstalledDocFolder()
{
    return QStringLiteral(PLAKURO_DOCDIR_FROM_BINDIR);
}

QString FindManual(const QString &programDir)
{
    const QDir dir(programDir);
    for (const QString &candidate :
         {dir.filePath(kManualName), dir.filePath(InstalledDocFolder() + u'/' + kManualName)}) {
        const QFileInfo info(candidate);
        if (info.isFile())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return QString();
}
