#pragma once
// Japanese postal codes and the addresses they name, from Japan Post's
// public-domain data as the skkdic-extra package installs it
// (SKK-JISYO.zipcode: one SKK dictionary line a code,
// `1000001 /東京都千代田区千代田/`, several towns of one code as further
// candidates, EUC-JIS-2004). Window-free; the window and plakuro-cli share it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace postal {

// Where the package installs the data.
inline constexpr const char *kInstalledDictionary = "/usr/share/skk/SKK-JISYO.zipcode";
// The environment variable that names another file in its place (tests, a
// newer copy of the data).
inline constexpr const char *kDictionaryVariable = "PLAKURO_POSTAL_DICT";
// The real file is about 4 MB; one far larger is not that file and is
// refused from its size alone.
inline constexpr qint64 kDictionaryLimit = 64ll << 20;

// The seven digits of a postal code as users type it: half or full width
// digits, "100-0001" with any of the dashes an input method gives (－ ー ‐ −)
// after the third digit, a leading 〒, spaces around. Empty when `typed` is
// not a postal code's shape.
QString NormaliseCode(const QString &typed);
// "100-0001" for "1000001", as a card shows it.
QString FormatCode(const QString &digits);

// A typed address's known beginning and the codes that name it.
struct CodeMatch
{
    QString address;
    QStringList codes;
};

class Dictionary
{
public:
    enum class State
    {
        Loaded,
        Missing, // no file at the path: the package is not installed
        Failed   // the file is there but cannot be read or holds no code
    };

    // The dictionary at `path`. Never throws: what went wrong is State()
    // and Problem().
    static std::unique_ptr<Dictionary> Load(const QString &path);
    // The dictionary of SKK lines in UTF-8 (what Load reads, decoded).
    static std::unique_ptr<Dictionary> FromUtf8(QByteArray text);

    State Status() const { return state; }
    // Why a Failed dictionary cannot be used; empty otherwise.
    const QString &Problem() const { return problem; }
    // How many (code, address) pairs it holds.
    std::size_t Size() const { return entries.size(); }

    // The addresses (prefecture, city, town) of a postal code in any form
    // NormaliseCode accepts, in the data's order; empty for an unknown code.
    QStringList Addresses(const QString &code) const;
    // The longest known address that `typed` starts with and its codes, in
    // order. A city's general code (ending in 0000, what Japan Post gives
    // for towns it does not list) is not offered: a typed address that only
    // reaches its city may be a town still being typed. Empty when none.
    CodeMatch CodesFor(const QString &typed) const;

private:
    Dictionary() = default;
    void index();
    // The order by address CodesFor searches; made when first asked for, so
    // a code's addresses cost only the reading.
    void indexAddresses() const;

    struct Entry
    {
        std::uint32_t code;   // the seven digits as a number
        std::uint32_t offset; // the address's UTF-8 bytes in `text`
        std::uint32_t length;
    };
    QByteArrayView addressOf(const Entry &e) const;

    State state = State::Missing;
    QString problem;
    QByteArray text;
    std::vector<Entry> entries; // by code, then the data's order
    // Entries' indexes by address bytes, then code.
    mutable std::vector<std::uint32_t> byAddress;
    mutable std::once_flag addressesIndexed;
};

// The file the dictionary is read from: $PLAKURO_POSTAL_DICT when set,
// else kInstalledDictionary.
QString DictionaryPath();
// The dictionary at DictionaryPath(), read when first asked for and kept;
// read anew when the path has changed since. Not for use from two threads.
std::shared_ptr<const Dictionary> Installed();
// The sentence a face shows once for a dictionary that is not Loaded.
QString UnavailableMessage(const Dictionary &dictionary);

} // namespace postal
