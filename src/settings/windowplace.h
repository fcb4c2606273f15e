#pragma once
// The main window's place and zoom between runs: section "Window" of the
// settings file, beside and independent of the print settings.

#include "settings/ini.h"

#include <QPoint>
#include <QSize>
#include <optional>

struct WindowPlace
{
    // The window's client area when it is not maximised, in screen
    // coordinates; each part is missing when the file does not hold it.
    std::optional<QPoint> position;
    std::optional<QSize> size;
    bool maximized = false;
    // The zoom in percent as the zoom list names it; 0 for 「全体」.
    int zoomPercent = 100;

    bool operator==(const WindowPlace &) const = default;
};

// Keys Left, Top, Width, Height, Maximized and Zoom of section "Window".
// Left and Top count only together, as do Width and Height, which must both
// be positive; Maximized is any number but 0; a missing or unreadable Zoom
// is 100. Whether a place still suits the screens is the window's business.
WindowPlace LoadWindowPlace(const IniFile &ini);
WindowPlace LoadWindowPlace();

// Writes Left, Top, Width, Height (those of the parts it holds), Maximized
// (1 or 0) and Zoom in one replacement of the file. Throws SettingsError
// when the file cannot be written.
void SaveWindowPlace(IniFile &ini, const WindowPlace &place);
// The same into SettingsFilePath(), creating its folder when missing.
void SaveWindowPlace(const WindowPlace &place);
