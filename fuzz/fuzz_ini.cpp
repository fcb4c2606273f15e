// The settings file reader and writer over arbitrary file contents: nothing
// may crash, and a value written must read back as written while every other
// section keeps its values.

#include "settings/ini.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

QString scratchPath()
{
    static const QString path =
        QStringLiteral("/tmp/plakuro-fuzz-ini-%1.INI").arg(static_cast<qint64>(getpid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = scratchPath();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    IniFile ini(path);
    const std::string helpBefore = ini.ReadString("help", "url", "");
    for (const char *key : {"a", "b", "c", "d"})
        (void)ini.ReadInteger("printspace", key, 10);
    try {
        ini.WriteInteger("printspace", "a", -123);
        ini.WriteString("other section", "k", "value \x83\x5c");
    } catch (const SettingsError &) {
        return 0;
    }
    if (ini.ReadInteger("printspace", "a", 0) != -123)
        std::abort();
    if (ini.ReadString("other section", "k", "") != "value \x83\x5c")
        std::abort();
    if (ini.ReadString("help", "url", "") != helpBefore)
        std::abort();
    return 0;
}
