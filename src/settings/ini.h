#pragma once
// Settings files in the private-profile format: "[section]" lines and
// "key=value" lines below them. Names and values are Shift-JIS bytes and are
// never converted; the file is handled as bytes.
//
// Reading: section and key names match without regard to ASCII case (bytes
// of two-byte characters compare exactly); blanks around names and values are
// ignored; lines whose first non-blank character is ';' are comments; only
// the first section of a given name counts, and within it the first line of
// a given key. Reading never fails: a missing or unreadable file, section or
// key gives the default. The file is read in chunks and only until the key
// is found or its section ends; of a line longer than 64 KiB only the first
// 64 KiB count. A symbolic link, a FIFO or a device counts as no file.
//
// Writing reaches the file at once and replaces it atomically. Only the
// value part of the key's line changes; every other byte is kept. A missing
// key becomes a new line after the last key line of its section, a missing
// section is added at the end of the file, a missing file is created. New
// lines take the file's line ending (that of its first line), CRLF for a file
// that has none yet. A symbolic link is not written through (SettingsError),
// nor anything that is not a regular file. When the folder does not let a
// new file be made beside it, a writable file is overwritten in place, its
// new length reserved first, so a full disk leaves it as it was.

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A settings file could not be written. The message is UTF-8, meant for the
// user, and names the file's absolute path.
class SettingsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class IniFile
{
public:
    // The longest value a read returns; longer values are cut to this many bytes.
    static constexpr std::size_t kMaxValueBytes = 2047;

    explicit IniFile(QString path);

    const QString &FilePath() const { return path_; }

    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    // The value by TryStrToInt; the default when it is missing or does not convert.
    std::int32_t ReadInteger(const std::string &section, const std::string &key,
                             std::int32_t defaultValue) const;

    // Names must not contain line breaks, a key no '=' and a section no ']'.
    // A value is cut at its first line break, as a value is one line. Throws
    // SettingsError when the file cannot be read back or written; the file is
    // then as it was.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    // Plain decimal text.
    void WriteInteger(const std::string &section, const std::string &key, std::int32_t value);

    // Several keys of one section in one pass over the file; each value as
    // ReadInteger gives it, the paired default when missing.
    std::vector<std::int32_t>
    ReadIntegers(const std::string &section,
                 const std::vector<std::pair<std::string, std::int32_t>> &keys) const;
    // Several keys of one section written in one replacement of the file, in
    // the order given: either all of them reach the file or none.
    void WriteStrings(const std::string &section,
                      const std::vector<std::pair<std::string, std::string>> &values);

private:
    QString path_;
};
