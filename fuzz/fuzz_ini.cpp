// The settings file reader and writer over arbitrary file contents: nothing
// may crash, and a value written must read back as written while every other
// section keeps its values. The print space (keys a, b, c, d, ox, oy,
// cropmarks, back, backturn) reads from any file, and what is saved reads
// back as saved.

#include "card/printspace.h"
#include "settings/ini.h"
#include "settings/printspace.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <limits>
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

    // The print space as the file has it, then changed in every value and
    // saved: it reads back as saved. A value is one line: the back card's
    // path as read may hold a carriage return inside its line, and is saved
    // cut there (and without the blanks that then end it).
    PrintSpace space;
    LoadPrintSpace(ini, space);
    if (space.a != -123)
        std::abort();
    space.a = 7;
    space.b = -(space.b / 2);
    space.ox = space.ox == 0 ? -15 : -(space.ox / 3);
    space.oy = space.oy == std::numeric_limits<std::int32_t>::max() ? 0 : space.oy + 1;
    space.cropMarks = !space.cropMarks;
    space.back.shortEdge = !space.back.shortEdge;
    if (space.back.file.isEmpty())
        space.back.file = QStringLiteral("/home/名前/裏面 1.pkd");
    try {
        SavePrintSpace(ini, space);
    } catch (const SettingsError &) {
        return 0;
    }
    PrintSpace expected = space;
    QByteArray back = QFile::encodeName(space.back.file);
    back.truncate(back.indexOf('\r') < 0 ? back.size() : back.indexOf('\r'));
    while (back.endsWith(' ') || back.endsWith('\t'))
        back.chop(1);
    expected.back.file = QFile::decodeName(back);
    PrintSpace read;
    LoadPrintSpace(ini, read);
    if (!(read == expected))
        std::abort();
    if (ini.ReadString("help", "url", "") != helpBefore)
        std::abort();
    return 0;
}
