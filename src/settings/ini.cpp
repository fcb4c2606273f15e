#include "settings/ini.h"

#include "card/files.h"
#include "card/sjis.h"
#include "card/strtoint.h"
#include "card/syserror.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
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

// Lines are read in chunks of this size, never the whole file at once.
constexpr std::size_t kChunkBytes = 64 * 1024;
// Of a longer line only this many bytes are looked at; the line's place in
// the file is still exact, so writes keep every byte.
constexpr std::size_t kLineKeptBytes = 64 * 1024;

struct Line
{
    std::string_view content; // its first kLineKeptBytes bytes at most
    qint64 begin = 0;
    qint64 end = 0;          // end of the content, before the carriage returns and "\n"
    qint64 next = 0;         // start of the following line, or the text's size
    bool terminated = false; // ends with "\n"
};

// Carriage returns at the end of a line belong to its ending, however many
// there are and whether or not "\n" follows: a value never holds one (writes
// cut it off), so completing a stray "\r\r" ending cannot change a value.
// Reads a file chunk by chunk, or text already in memory, one line at a time.
class LineReader
{
public:
    explicit LineReader(QIODevice &device) : device_(&device) {}
    explicit LineReader(std::string_view text) : view_(text) {}

    // False at the end, or when reading failed (Failed() tells).
    bool Next(Line &line)
    {
        if (pos_ == view_.size() && !Fill()) {
            return false;
        }
        line.begin = viewStart_ + static_cast<qint64>(pos_);
        const std::size_t lf = view_.find('\n', pos_);
        if (lf != std::string_view::npos) {
            // The common case: the whole line is in the chunk.
            std::string_view content = view_.substr(pos_, lf - pos_);
            while (!content.empty() && content.back() == '\r') {
                content.remove_suffix(1);
            }
            line.end = line.begin + static_cast<qint64>(content.size());
            line.next = viewStart_ + static_cast<qint64>(lf) + 1;
            line.terminated = true;
            line.content = content.substr(0, kLineKeptBytes);
            pos_ = lf + 1;
            return true;
        }
        // The line goes on in the next chunks: keep its start, find its end.
        long_.clear();
        line.end = line.begin;
        line.terminated = false;
        for (;;) {
            const std::size_t stop = std::min(view_.find('\n', pos_), view_.size());
            const std::string_view piece = view_.substr(pos_, stop - pos_);
            const std::size_t lastNonCr = piece.find_last_not_of('\r');
            if (lastNonCr != std::string_view::npos) {
                line.end = viewStart_ + static_cast<qint64>(pos_ + lastNonCr) + 1;
            }
            if (long_.size() < kLineKeptBytes) {
                long_.append(piece.substr(0, kLineKeptBytes - long_.size()));
            }
            pos_ = stop;
            if (stop < view_.size()) {
                line.terminated = true;
                ++pos_;
                break;
            }
            if (!Fill()) {
                break;
            }
        }
        line.next = viewStart_ + static_cast<qint64>(pos_);
        line.content = std::string_view(long_).substr(
            0, static_cast<std::size_t>(
                   std::min<qint64>(line.end - line.begin, static_cast<qint64>(long_.size()))));
        return true;
    }

    bool Failed() const { return failed_; }

private:
    bool Fill()
    {
        viewStart_ += static_cast<qint64>(view_.size());
        view_ = {};
        pos_ = 0;
        if (device_ == nullptr || failed_) {
            return false;
        }
        chunk_.resize(kChunkBytes);
        const qint64 n = device_->read(chunk_.data(), static_cast<qint64>(chunk_.size()));
        if (n < 0) {
            failed_ = true;
        }
        if (n <= 0) {
            return false;
        }
        view_ = std::string_view(chunk_.data(), static_cast<std::size_t>(n));
        return true;
    }

    QIODevice *device_ = nullptr;
    std::string chunk_;
    std::string long_;
    std::string_view view_;
    qint64 viewStart_ = 0; // offset of view_ in the text
    std::size_t pos_ = 0;
    bool failed_ = false;
};

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
    std::optional<Line> sectionLine;
    std::optional<Line> lastKeyLine; // of that section, up to the key's line
    std::optional<Line> keyLine;
    qint64 valueBegin = 0; // offset in the text just after the key's '='
};

// Reading stops at the key's line or at the end of the first section of
// that name, whichever comes first.
Location Locate(LineReader &reader, std::string_view section, std::string_view key)
{
    Location loc;
    Line line;
    while (reader.Next(line)) {
        if (const auto name = SectionName(line.content)) {
            if (loc.sectionLine) {
                break;
            }
            if (SameName(*name, section)) {
                loc.sectionLine = line;
            }
            continue;
        }
        if (!loc.sectionLine) {
            continue;
        }
        if (const auto parsed = ParseKeyLine(line.content)) {
            loc.lastKeyLine = line;
            if (SameName(parsed->name, key)) {
                loc.keyLine = line;
                loc.valueBegin = line.begin + static_cast<qint64>(parsed->valueOffset);
                break;
            }
        }
    }
    return loc;
}

// The values of `keys` in the first section named `section`, each as its
// first line has it; one pass that ends with the section or when every key
// was found. Nothing when the file cannot be read.
std::vector<std::optional<std::string>> ReadValues(const QString &path, std::string_view section,
                                                   const std::vector<std::string> &keys)
{
    std::vector<std::optional<std::string>> values(keys.size());
    QFile file;
    try {
        files::OpenForReading(file, path, files::Links::Refuse, files::kSettingsFileLimit);
    } catch (const FileError &) {
        return values;
    }
    LineReader reader(file);
    std::size_t missing = keys.size();
    bool inSection = false;
    Line line;
    while (missing > 0 && reader.Next(line)) {
        if (const auto name = SectionName(line.content)) {
            if (inSection) {
                break;
            }
            inSection = SameName(*name, section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const auto parsed = ParseKeyLine(line.content);
        if (!parsed) {
            continue;
        }
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!values[i] && SameName(parsed->name, keys[i])) {
                const std::string_view value = Trimmed(line.content.substr(parsed->valueOffset));
                values[i] = std::string(value.substr(0, IniFile::kMaxValueBytes));
                --missing;
            }
        }
    }
    if (reader.Failed()) {
        return std::vector<std::optional<std::string>>(keys.size());
    }
    return values;
}

std::string_view LineEnding(std::string_view text)
{
    const std::size_t lf = text.find('\n');
    if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

std::string_view View(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

[[noreturn]] void ThrowCannotWrite(const QString &path, const QString &cause)
{
    throw SettingsError(QStringLiteral("%1 に書き込めません (%2)")
                            .arg(QFileInfo(path).absoluteFilePath(), cause)
                            .toStdString());
}

// One key's value changed in `text`, as WriteString describes.
void Edit(QByteArray &text, const std::string &section, const std::string &key,
          const std::string &value)
{
    const std::string_view oneLine = std::string_view(value).substr(0, value.find_first_of("\r\n"));
    const auto bytes = [](std::string_view s) {
        return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
    };
    LineReader reader(View(text));
    const Location loc = Locate(reader, section, key);
    const QByteArray eol = bytes(LineEnding(View(text)));

    if (loc.keyLine) {
        // Blanks after '=' stay, so "a = 5" becomes "a = 7".
        qint64 from = loc.valueBegin;
        while (from < loc.keyLine->end && IsBlank(text[from])) {
            ++from;
        }
        text.replace(from, loc.keyLine->end - from, bytes(oneLine));
    } else if (loc.sectionLine) {
        const Line &after = loc.lastKeyLine ? *loc.lastKeyLine : *loc.sectionLine;
        QByteArray inserted;
        if (!after.terminated) {
            inserted += eol;
        }
        inserted += bytes(key) + '=' + bytes(oneLine) + eol;
        text.insert(after.next, inserted);
    } else {
        if (!text.isEmpty() && !text.endsWith('\n')) {
            text += eol;
        }
        text += '[' + bytes(section) + ']' + eol + bytes(key) + '=' + bytes(oneLine) + eol;
    }
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

std::string IniFile::ReadString(const std::string &section, const std::string &key,
                                const std::string &defaultValue) const
{
    return ReadValues(path_, section, {key})[0].value_or(defaultValue);
}

std::int32_t IniFile::ReadInteger(const std::string &section, const std::string &key,
                                  std::int32_t defaultValue) const
{
    return ReadIntegers(section, {{key, defaultValue}})[0];
}

std::vector<std::int32_t>
IniFile::ReadIntegers(const std::string &section,
                      const std::vector<std::pair<std::string, std::int32_t>> &keys) const
{
    std::vector<std::string> names;
    for (const auto &k : keys) {
        names.push_back(k.first);
    }
    const std::vector<std::optional<std::string>> read = ReadValues(path_, section, names);
    std::vector<std::int32_t> values;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::int32_t value = keys[i].second;
        if (!TryStrToInt(read[i].value_or(std::string()), value)) {
            value = keys[i].second;
        }
        values.push_back(value);
    }
    return values;
}

void IniFile::WriteString(const std::string &section, const std::string &key,
                          const std::string &value)
{
    WriteStrings(section, {{key, value}});
}

void IniFile::WriteStrings(const std::string &section,
                           const std::vector<std::pair<std::string, std::string>> &values)
{
    // Written through a link, the file it points to would change instead.
    if (files::IsSymLink(path_)) {
        ThrowCannotWrite(
            path_, QStringLiteral("シンボリックリンクです。リンク先のファイルは書き換えません"));
    }
    // Room for every line the edits may add, so the file's bytes are held
    // once: the edits move them in place instead of copying them.
    qsizetype room = 0;
    for (const auto &[key, value] : values) {
        room += static_cast<qsizetype>(section.size() + key.size() + value.size()) + 16;
    }
    QByteArray text;
    // An existing file that cannot be read would lose its other lines.
    if (QFileInfo::exists(path_)) {
        try {
            QFile file;
            files::OpenForReading(file, path_, files::Links::Refuse, files::kSettingsFileLimit);
            text.reserve(file.size() + room);
            text.resize(file.size());
            if (file.read(text.data(), text.size()) != text.size()) {
                ThrowCannotWrite(path_, JapaneseErrorText(file.errorString()));
            }
        } catch (const FileError &e) {
            ThrowCannotWrite(path_, e.Cause());
        }
    } else {
        text.reserve(room);
    }
    for (const auto &[key, value] : values) {
        Edit(text, section, key, value);
    }
    try {
        files::WriteWholeFile(path_, text, files::InPlace::WhenFolderReadOnly,
                              files::Links::Refuse);
    } catch (const FileError &e) {
        ThrowCannotWrite(path_, e.Cause());
    }
}

void IniFile::WriteInteger(const std::string &section, const std::string &key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}
