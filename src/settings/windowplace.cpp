#include "settings/windowplace.h"

#include "settings/printspace.h"

#include <QDir>
#include <QFileInfo>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kWindowSection = "Window";
// No key gives this value: a key that reads as it is missing or unreadable.
constexpr std::int32_t kMissing = std::numeric_limits<std::int32_t>::min();

} // namespace

WindowPlace LoadWindowPlace(const IniFile &ini)
{
    const WindowPlace defaults;
    const std::vector<std::int32_t> v = ini.ReadIntegers(kWindowSection, {{"Left", kMissing},
                                                                          {"Top", kMissing},
                                                                          {"Width", kMissing},
                                                                          {"Height", kMissing},
                                                                          {"Maximized", 0},
                                                                          {"Zoom", kMissing}});
    WindowPlace place;
    if (v[0] != kMissing && v[1] != kMissing)
        place.position = QPoint(v[0], v[1]);
    if (v[2] > 0 && v[3] > 0)
        place.size = QSize(v[2], v[3]);
    place.maximized = v[4] != 0;
    place.zoomPercent = v[5] != kMissing ? v[5] : defaults.zoomPercent;
    return place;
}

WindowPlace LoadWindowPlace()
{
    return LoadWindowPlace(IniFile(SettingsFilePath()));
}

void SaveWindowPlace(IniFile &ini, const WindowPlace &place)
{
    std::vector<std::pair<std::string, std::string>> values;
    if (place.position) {
        values.emplace_back("Left", std::to_string(place.position->x()));
        values.emplace_back("Top", std::to_string(place.position->y()));
    }
    if (place.size) {
        values.emplace_back("Width", std::to_string(place.size->width()));
        values.emplace_back("Height", std::to_string(place.size->height()));
    }
    values.emplace_back("Maximized", place.maximized ? "1" : "0");
    values.emplace_back("Zoom", std::to_string(place.zoomPercent));
    ini.WriteStrings(kWindowSection, values);
}

void SaveWindowPlace(const WindowPlace &place)
{
    const QString path = SettingsFilePath();
    // Fails silently; the write that follows then reports the file.
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniFile ini(path);
    SaveWindowPlace(ini, place);
}
