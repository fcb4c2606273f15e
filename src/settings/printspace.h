#pragma once
// Where the program's settings live and the settings it keeps there.

#include "card/printspace.h"
#include "settings/ini.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

// The settings file of the running program, worked out afresh at each call
// (so a settings file that appears or a folder that becomes writable is
// noticed). Without a QCoreApplication the program file is taken from
// /proc/self/exe.
QString SettingsFilePath();

// The rule behind SettingsFilePath() for a given program file: the program's
// path with its extension replaced by ".INI" (or ".INI" appended when it has
// none). When that file does not exist and its folder cannot be written:
// $XDG_CONFIG_HOME/plakuro/plakuro.INI, with ~/.config for an unset or
// relative $XDG_CONFIG_HOME.
QString SettingsFilePathForProgram(const QString &programFile);

// Makes SettingsFilePath() return `path`; an empty path restores the rule.
void SetSettingsFilePathForTesting(const QString &path);

// Keys a, b, c, d, ox, oy, cropmarks, back, backturn of section
// "printspace"; each missing or unreadable one takes its default from
// PrintSpace (ox and oy: 0; crop marks off; no back side, turned on its long
// edge). Any cropmarks number but 0 means on; backturn 0 is the long edge,
// any other number the short edge. `back` holds the back's card file as the
// file system names it (not converted to Shift-JIS).
void LoadPrintSpace(const IniFile &ini, PrintSpace &out);
void LoadPrintSpace(PrintSpace &out);

// Writes a, b, c, d, ox, oy, cropmarks (1 or 0), back, backturn (1 or 0) in
// that order. Throws SettingsError when the file cannot be written.
void SavePrintSpace(IniFile &ini, const PrintSpace &in);
// The same into SettingsFilePath(), creating its folder when missing.
void SavePrintSpace(const PrintSpace &in);

// Key "url" of section "help", read afresh at each call; nothing when the key
// (or the file) is missing, which is not the same as an empty value.
std::optional<std::string> ReadHelpUrl();
