#include "settings/printspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
    const std::vector<std::int32_t> v =
        ini.ReadIntegers(kPrintSpaceSection, {{"a", defaults.a},
                                              {"b", defaults.b},
                                              {"c", defaults.c},
                                              {"d", defaults.d},
                                              {"ox", defaults.ox},
                                              {"oy", defaults.oy},
                                              {"cropmarks", defaults.cropMarks ? 1 : 0}});
    out = PrintSpace{v[0], v[1], v[2], v[3], v[4], v[5], v[6] != 0};
    // The path as the file system's own bytes: any name reads back as it was
    // written, whatever the settings file's own encoding.
    out.back.file = QFile::decodeName(
        QByteArray::fromStdString(ini.ReadString(kPrintSpaceSection, "back", std::string())));
    out.back.shortEdge = ini.ReadInteger(kPrintSpaceSection, "backturn", 0) != 0;
}

void LoadPrintSpace(PrintSpace &out)
{
    LoadPrintSpace(IniFile(SettingsFilePath()), out);
}

void SavePrintSpace(IniFile &ini, const PrintSpace &in)
{
    // One replacement of the file: the values change together or not at all.
    ini.WriteStrings(kPrintSpaceSection, {{"a", std::to_string(in.a)},
                                          {"b", std::to_string(in.b)},
                                          {"c", std::to_string(in.c)},
                                          {"d", std::to_string(in.d)},
                                          {"ox", std::to_string(in.ox)},
                                          {"oy", std::to_string(in.oy)},
                                          {"cropmarks", in.cropMarks ? "1" : "0"},
                                          {"back", QFile::encodeName(in.back.file).toStdString()},
                                          {"backturn", in.back.shortEdge ? "1" : "0"}});
}

void SavePrintSpace(const PrintSpace &in)
{
    const QString path = SettingsFilePath();
    // Fails silently; the write that follows then reports the file.
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniFile ini(path);
    SavePrintSpace(ini, in);
}

std::optional<std::string> ReadHelpUrl()
{
    // A value read is one line, so a line break cannot be one.
    const std::string missing = "\n";
    std::string url = IniFile(SettingsFilePath()).ReadString("help", "url", missing);
    if (url == missing)
        return std::nullopt;
    return url;
}
