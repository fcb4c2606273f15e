#include "settings/ini.h"

#include "card/sjis.h"
#include "card/strtoint.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The byte after a code page 932 lead byte may fall into the ASCII range
// (letters, ']'), so scanning and case folding must step over it.
bool IsLeadByte(char c)
{
    return sjis::isLeadByte(static_cast<unsigned char>(c));
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i])) {
            // Equal lead bytes keep both names on character boundaries.
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) {
                return false;
            }
            ++i;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0;  // end of the content, before the carriage returns and "\n"
    std::size_t next = 0; // start of the following line, or the text's size
    bool terminated = false; // ends with "\n"
};

// Carriage returns at the end of a line belong to its ending, however many
// there are and whether or not "\n" follows: a value never holds one (writes
// cut it off), so completing a stray "\r\r" ending cannot change a value.
std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t lf = text.find('\n', pos);
        line.terminated = lf != std::string_view::npos;
        line.end = line.terminated ? lf : text.size();
        line.next = line.terminated ? lf + 1 : text.size();
        while (line.end > pos && text[line.end - 1] == '\r') {
            --line.end;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::optional<std::string_view> SectionName(std::string_view content)
{
    std::size_t i = 0;
    while (i < content.size() && IsBlank(content[i])) {
        ++i;
    }
    if (i == content.size() || content[i] != '[') {
        return std::nullopt;
    }
    const std::size_t start = ++i;
    while (i < content.size() && content[i] != ']') {
        i += (IsLeadByte(content[i]) && i + 1 < content.size()) ? 2 : 1;
    }
    return Trimmed(content.substr(start, i - start));
}

struct KeyLine
{
    std::string_view name;
    std::size_t valueOffset = 0; // within the line, just after '='
};

// For a line that is not a section header.
std::optional<KeyLine> ParseKeyLine(std::string_view content)
{
    const std::string_view rest = Trimmed(content);
    if (rest.empty() || rest.front() == ';') {
        return std::nullopt;
    }
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyLine{Trimmed(content.substr(0, eq)), eq + 1};
}

struct Location
{
    std::vector<Line> lines;
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> lastKeyLine; // of that section, up to the key's line
    std::optional<std::size_t> keyLine;
    std::size_t valueBegin = 0; // offset in the text just after the key's '='
};

Location Locate(std::string_view text, std::string_view section, std::string_view key)
{
    Location loc;
    loc.lines = SplitLines(text);
    for (std::size_t i = 0; i < loc.lines.size(); ++i) {
        const Line &line = loc.lines[i];
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        if (const auto name = SectionName(content)) {
            if (loc.sectionLine) {
                break;
            }
            if (SameName(*name, section)) {
                loc.sectionLine = i;
            }
            continue;
        }
        if (!loc.sectionLine) {
            continue;
        }
        if (const auto parsed = ParseKeyLine(content)) {
            loc.lastKeyLine = i;
            if (SameName(parsed->name, key)) {
                loc.keyLine = i;
                loc.valueBegin = line.begin + parsed->valueOffset;
                break;
            }
        }
    }
    return loc;
}

std::string_view LineEnding(std::string_view text)
{
    const std::size_t lf = text.find('\n');
    if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

bool ReadAll(const QString &path, std::string &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    out.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

[[noreturn]] void ThrowCannotWrite(const QString &path)
{
    throw SettingsError(QFileInfo(path).absoluteFilePath().toStdString() + " に書き込めません");
}

void SaveAll(const QString &path, const std::string &text)
{
    QSaveFile file(path);
    // A writable file in a folder where no temporary file can be made is
    // still written, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        ThrowCannotWrite(path);
    }
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        file.cancelWriting();
        ThrowCannotWrite(path);
    }
    if (!file.commit()) {
        ThrowCannotWrite(path);
    }
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

std::string IniFile::ReadString(const std::string &section, const std::string &key,
                                const std::string &defaultValue) const
{
    std::string text;
    if (!ReadAll(path_, text)) {
        return defaultValue;
    }
    const Location loc = Locate(text, section, key);
    if (!loc.keyLine) {
        return defaultValue;
    }
    const Line &line = loc.lines[*loc.keyLine];
    const std::string_view all(text);
    const std::string_view value = Trimmed(all.substr(loc.valueBegin, line.end - loc.valueBegin));
    return std::string(value.substr(0, kMaxValueBytes));
}

std::int32_t IniFile::ReadInteger(const std::string &section, const std::string &key,
                                  std::int32_t defaultValue) const
{
    std::int32_t value = defaultValue;
    if (!TryStrToInt(ReadString(section, key, std::string()), value)) {
        return defaultValue;
    }
    return value;
}

void IniFile::WriteString(const std::string &section, const std::string &key,
                          const std::string &value)
{
    std::string text;
    // An existing file that cannot be read would lose its other lines.
    if (QFileInfo::exists(path_) && !ReadAll(path_, text)) {
        ThrowCannotWrite(path_);
    }
    const std::string_view oneLine = std::string_view(value).substr(0, value.find_first_of("\r\n"));
    const Location loc = Locate(text, section, key);
    const std::string eol(LineEnding(text));

    if (loc.keyLine) {
        // Blanks after '=' stay, so "a = 5" becomes "a = 7".
        const Line &line = loc.lines[*loc.keyLine];
        std::size_t from = loc.valueBegin;
        while (from < line.end && IsBlank(text[from])) {
            ++from;
        }
        text.replace(from, line.end - from, oneLine);
    } else if (loc.sectionLine) {
        const Line &after = loc.lines[loc.lastKeyLine.value_or(*loc.sectionLine)];
        std::string inserted;
        if (!after.terminated) {
            inserted += eol;
        }
        inserted += key;
        inserted += '=';
        inserted += oneLine;
        inserted += eol;
        text.insert(after.next, inserted);
    } else {
        if (!text.empty() && text.back() != '\n') {
            text += eol;
        }
        text += '[';
        text += section;
        text += ']';
        text += eol;
        text += key;
        text += '=';
        text += oneLine;
        text += eol;
    }
    SaveAll(path_, text);
}

void IniFile::WriteInteger(const std::string &section, const std::string &key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}
