#include "postal/postal.h"

#include "card/files.h"
#include "card/sjis.h"

#include <QFileInfo>
#include <algorithm>

namespace postal {

namespace {

constexpr int kDigits = 7;

// The digit a typed character stands for, half or full width; -1 for none.
int digitOf(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'０' && c <= u'９')
        return c.unicode() - u'０';
    return -1;
}

bool isDash(QChar c)
{
    // What keyboards and input methods give for the dash of "100-0001".
    static constexpr char16_t kDashes[] = {u'-',      u'－',     u'ー',     u'ｰ',
                                           u'\u2010', u'\u2011', u'\u2012', u'\u2013',
                                           u'\u2014', u'\u2015', u'\u2212'};
    return std::find(std::begin(kDashes), std::end(kDashes), c.unicode()) != std::end(kDashes);
}

bool isBlank(QChar c)
{
    return c.isSpace() || c == u'\u3000';
}

// A line's key as a code: seven ASCII digits, or -1.
long long keyCode(QByteArrayView key)
{
    if (key.size() != kDigits)
        return -1;
    long long code = 0;
    for (char c : key) {
        if (c < '0' || c > '9')
            return -1;
        code = code * 10 + (c - '0');
    }
    return code;
}

std::uint32_t codeNumber(const QString &digits)
{
    return static_cast<std::uint32_t>(digits.toUInt());
}

QString codeText(std::uint32_t code)
{
    return QStringLiteral("%1").arg(code, kDigits, 10, QLatin1Char('0'));
}

} // namespace

QString NormaliseCode(const QString &typed)
{
    qsizetype begin = 0, end = typed.size();
    while (begin < end && isBlank(typed[begin]))
        ++begin;
    while (end > begin && isBlank(typed[end - 1]))
        --end;
    if (begin < end && typed[begin] == u'〒')
        ++begin;
    while (begin < end && isBlank(typed[begin]))
        ++begin;
    QString digits;
    for (qsizetype i = begin; i < end; ++i) {
        const int d = digitOf(typed[i]);
        if (d >= 0)
            digits += QChar(u'0' + d);
        else if (!(isDash(typed[i]) && digits.size() == 3 && i > begin &&
                   digitOf(typed[i - 1]) >= 0))
            return {};
    }
    return digits.size() == kDigits ? digits : QString();
}

QString FormatCode(const QString &digits)
{
    return digits.left(3) + u'-' + digits.mid(3);
}

std::unique_ptr<Dictionary> Dictionary::Load(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        std::unique_ptr<Dictionary> missing(new Dictionary);
        missing->problem = path;
        return missing;
    }
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path, kDictionaryLimit);
    } catch (const FileError &e) {
        std::unique_ptr<Dictionary> failed(new Dictionary);
        failed->state = State::Failed;
        failed->problem = QString::fromUtf8(e.what());
        return failed;
    }
    std::unique_ptr<Dictionary> d =
        FromUtf8(QByteArray::fromStdString(sjis::eucJis2004ToUtf8(bytes.toStdString())));
    if (d->state == State::Failed)
        d->problem = QStringLiteral("%1 に郵便番号がありません").arg(path);
    return d;
}

std::unique_ptr<Dictionary> Dictionary::FromUtf8(QByteArray utf8)
{
    std::unique_ptr<Dictionary> d(new Dictionary);
    d->text = std::move(utf8);
    d->index();
    d->state = d->entries.empty() ? State::Failed : State::Loaded;
    return d;
}

void Dictionary::index()
{
    // Offsets are 32 bits: kDictionaryLimit keeps the text far below that.
    const QByteArrayView all(text);
    static constexpr QByteArrayView kReplacement("\xEF\xBF\xBD");
    qsizetype lineStart = 0;
    while (lineStart < all.size()) {
        qsizetype lineEnd = all.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = all.size();
        QByteArrayView line = all.sliced(lineStart, lineEnd - lineStart);
        const qsizetype base = lineStart;
        lineStart = lineEnd + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        // ";" starts a comment line; an entry is "KEY /CANDIDATE/.../".
        const qsizetype space = line.indexOf(' ');
        if (line.startsWith(';') || space < 0)
            continue;
        const long long code = keyCode(line.first(space));
        if (code < 0)
            continue;
        qsizetype at = space + 1;
        if (at >= line.size() || line[at] != '/')
            continue;
        while (true) {
            const qsizetype start = at + 1;
            const qsizetype slash = line.indexOf('/', start);
            if (slash < 0)
                break; // what follows the last '/' is no candidate
            at = slash;
            QByteArrayView candidate = line.sliced(start, slash - start);
            // "CANDIDATE;NOTE": the note is for the reader, not the address.
            if (const qsizetype semi = candidate.indexOf(';'); semi >= 0)
                candidate.truncate(semi);
            // A Lisp expression or an okurigana block is not an address;
            // an undecodable byte would put a wrong character into one.
            if (candidate.trimmed().isEmpty() || candidate.startsWith('(') ||
                candidate.startsWith('[') || candidate.contains(kReplacement))
                continue;
            entries.push_back({static_cast<std::uint32_t>(code),
                               static_cast<std::uint32_t>(base + start),
                               static_cast<std::uint32_t>(candidate.size())});
        }
    }
    // The data comes sorted by code; an edited copy may not.
    const auto byCode = [](const Entry &a, const Entry &b) { return a.code < b.code; };
    if (!std::is_sorted(entries.begin(), entries.end(), byCode))
        std::stable_sort(entries.begin(), entries.end(), byCode);
}

void Dictionary::indexAddresses() const
{
    byAddress.resize(entries.size());
    for (std::uint32_t i = 0; i < byAddress.size(); ++i)
        byAddress[i] = i;
    std::sort(byAddress.begin(), byAddress.end(), [this](std::uint32_t a, std::uint32_t b) {
        const int c = addressOf(entries[a]).compare(addressOf(entries[b]));
        return c != 0 ? c < 0 : a < b;
    });
}

QByteArrayView Dictionary::addressOf(const Entry &e) const
{
    return QByteArrayView(text).sliced(e.offset, e.length);
}

QStringList Dictionary::Addresses(const QString &code) const
{
    const QString digits = NormaliseCode(code);
    if (digits.isEmpty())
        return {};
    const std::uint32_t number = codeNumber(digits);
    const auto [first, last] =
        std::equal_range(entries.begin(), entries.end(), Entry{number, 0, 0},
                         [](const Entry &a, const Entry &b) { return a.code < b.code; });
    QStringList addresses;
    for (auto it = first; it != last; ++it) {
        const QString address = QString::fromUtf8(addressOf(*it));
        if (!addresses.contains(address))
            addresses << address;
    }
    return addresses;
}

CodeMatch Dictionary::CodesFor(const QString &typed) const
{
    std::call_once(addressesIndexed, [this] { indexAddresses(); });
    const QByteArray utf8 = typed.trimmed().toUtf8();
    const auto less = [this](std::uint32_t i, QByteArrayView key) {
        return addressOf(entries[i]).compare(key) < 0;
    };
    // Each beginning of the text that ends on a whole character, longest
    // first: a few dozen binary searches at most.
    for (qsizetype n = utf8.size(); n > 0; --n) {
        if (n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
            continue;
        const QByteArrayView key = QByteArrayView(utf8).first(n);
        CodeMatch match;
        for (auto it = std::lower_bound(byAddress.begin(), byAddress.end(), key, less);
             it != byAddress.end() && addressOf(entries[*it]) == key; ++it) {
            const std::uint32_t code = entries[*it].code;
            if (code % 10000 != 0 && !match.codes.contains(codeText(code)))
                match.codes << codeText(code);
        }
        if (!match.codes.isEmpty()) {
            match.address = QString::fromUtf8(key);
            return match;
        }
    }
    return {};
}

QString DictionaryPath()
{
    const QString set = qEnvironmentVariable(kDictionaryVariable);
    return set.isEmpty() ? QString::fromUtf8(kInstalledDictionary) : set;
}

std::shared_ptr<const Dictionary> Installed()
{
    static QString loadedPath;
    static std::shared_ptr<const Dictionary> loaded;
    const QString path = DictionaryPath();
    if (!loaded || path != loadedPath) {
        loaded = Dictionary::Load(path);
        loadedPath = path;
    }
    return loaded;
}

QString UnavailableMessage(const Dictionary &dictionary)
{
    switch (dictionary.Status()) {
    case Dictionary::State::Loaded:
        return {};
    case Dictionary::State::Missing:
        return QStringLiteral(
            "郵便番号の辞書 (skkdic-extra) がないため、住所を自動で入れられません");
    case Dictionary::State::Failed:
        break;
    }
    return QStringLiteral("郵便番号の辞書を使えないため、住所を自動で入れられません: %1")
        .arg(dictionary.Problem());
}

} // namespace postal
