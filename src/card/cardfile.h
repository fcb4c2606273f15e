#pragma once
#include <cstddef>
#include <memory>
#include <string>

class Stream;
class Object;
class Objects;

// The most bytes a text keeps in the file.
inline constexpr std::size_t kShortStringMax = 255;

// Longer texts are cut at the last whole Shift-JIS character within
// kShortStringMax bytes.
bool WriteShortString(Stream *s, const std::string &text);
// The text up to the first NUL among the bytes; the stream advances by the
// full length.
bool ReadShortString(Stream *s, std::string &out);

void WriteObject(Stream *s, const Object *obj);
// A new object of the class the tag names; throws ReadError for an unknown
// tag or a body cut short.
std::unique_ptr<Object> ReadObject(Stream *s);

// Writes the magic and one record per entry holding an object.
bool SaveCard(Stream *s, const Objects &card);

// false: the magic did not match and `card` is untouched. true: `card` was
// replaced (its old objects destroyed) by every record up to the end of the
// data or up to a record cut inside its key. Any other error throws ReadError
// and leaves `card` exactly as it was.
bool LoadCard(Stream *s, Objects &card);

inline constexpr const char *kCardMagic = "PK100";
