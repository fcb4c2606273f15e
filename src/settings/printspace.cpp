#include "settings/printspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const std::string kPrintSpaceSection = "printspace";

QString &PathForTesting()
{
    static QString path;
    return path;
}

QString ProgramFile()
{
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationFilePath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

} // namespace

QString SettingsFilePathForProgram(const QString &programFile)
{
    const QFileInfo program(programFile);
    QString name = program.fileName();
    // A leading dot marks a hidden file, not an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        name.truncate(dot);
    }
    const QString folder = program.absolutePath();
    const QString beside = folder + QLatin1Char('/') + name + QStringLiteral(".INI");

    const QFileInfo folderInfo(folder);
    if (QFileInfo::exists(beside) || (folderInfo.isDir() && folderInfo.isWritable())) {
        return beside;
    }
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/plakuro/plakuro.INI");
}

QString SettingsFilePath()
{
    if (!PathForTesting().isEmpty()) {
        return PathForTesting();
    }
    return SettingsFilePathForProgram(ProgramFile());
}

void SetSettingsFilePathForTesting(const QString &path)
{
    PathForTesting() = path;
}

void LoadPrintSpace(const IniFile &ini, PrintSpace &out)
{
    const PrintSpace defaults;
    out.a = ini.ReadInteger(kPrintSpaceSection, "a", defaults.a);
    out.b = ini.ReadInteger(kPrintSpaceSection, "b", defaults.b);
    out.c = ini.ReadInteger(kPrintSpaceSection, "c", defaults.c);
    out.d = ini.ReadInteger(kPrintSpaceSection, "d", defaults.d);
}

void LoadPrintSpace(PrintSpace &out)
{
    LoadPrintSpace(IniFile(SettingsFilePath()), out);
}

void SavePrintSpace(IniFile &ini, const PrintSpace &in)
{
    ini.WriteInteger(kPrintSpaceSection, "a", in.a);
    ini.WriteInteger(kPrintSpaceSection, "b", in.b);
    ini.WriteInteger(kPrintSpaceSection, "c", in.c);
    ini.WriteInteger(kPrintSpaceSection, "d", in.d);
}

void SavePrintSpace(const PrintSpace &in)
{
    const QString path = SettingsFilePath();
    // Fails silently; the write that follows then reports the file.
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniFile ini(path);
    SavePrintSpace(ini, in);
}

std::string ReadHelpUrl()
{
    return IniFile(SettingsFilePath()).ReadString("help", "url", std::string());
}
