#include "card/sjis.h"

#include <QSet>
#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace {

// One iconv conversion; `onInvalid` decides what an unconvertible input
// sequence becomes and how many input bytes it covers.
template <typename OnInvalid>
std::string convert(const char *to, const char *from, const std::string &in, OnInvalid onInvalid)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    std::string out;
    out.reserve(in.size() * 2);
    // glibc's EUC-JISX0213 converter costs much per call: a few calls for a
    // file of megabytes (13 times faster than 1 KB at a time), one small
    // buffer for a field's text.
    std::vector<char> buffer(std::clamp<std::size_t>(in.size() * 2 + 16, 1024, 256 * 1024));
    char *inPtr = const_cast<char *>(in.data());
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char *outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), outPtr - buffer.data());
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a sequence cut at the end): replace and go on.
            std::size_t skip =
                onInvalid(reinterpret_cast<const unsigned char *>(inPtr), inLeft, out);
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::size_t utf8SequenceLength(const unsigned char *p, std::size_t left)
{
    std::size_t n = 1;
    if (p[0] >= 0xF0)
        n = 4;
    else if (p[0] >= 0xE0)
        n = 3;
    else if (p[0] >= 0xC0)
        n = 2;
    if (n > left)
        n = left;
    // Never skip past bytes that start a new sequence.
    for (std::size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return i;
    return n;
}

// `bytes` in the two-byte encoding `from` as UTF-8. A lead byte with a bad
// trail byte loses only itself (U+FFFD), so the trail byte is decoded on its
// own.
std::string decodeToUtf8(const char *from, const std::string &bytes)
{
    return convert("UTF-8", from, bytes, [](const unsigned char *, std::size_t, std::string &out) {
        out.append("\xEF\xBF\xBD");
        return std::size_t{1};
    });
}

} // namespace

namespace sjis {

bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string fromUtf8(const std::string &utf8)
{
    return convert("CP932", "UTF-8", utf8,
                   [](const unsigned char *p, std::size_t left, std::string &out) {
                       out.push_back('?');
                       return utf8SequenceLength(p, left);
                   });
}

std::string fromUnicode(const QString &text)
{
    return fromUtf8(text.toStdString());
}

QStringList unencodable(const QString &text)
{
    // The same conversion fromUnicode does, so the list names exactly the
    // characters the file keeps as '?'.
    QStringList lost;
    QSet<QString> seen;
    convert("CP932", "UTF-8", text.toStdString(),
            [&](const unsigned char *p, std::size_t left, std::string &out) {
                out.push_back('?');
                const std::size_t n = utf8SequenceLength(p, left);
                const QString c =
                    QString::fromUtf8(reinterpret_cast<const char *>(p), static_cast<qsizetype>(n));
                if (!seen.contains(c)) {
                    seen.insert(c);
                    lost.append(c);
                }
                return n;
            });
    return lost;
}

QString unencodableList(const QString &text)
{
    QStringList shown;
    for (const QString &c : unencodable(text)) {
        const char32_t code = c.toUcs4().value(0);
        switch (QChar::category(code)) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
            shown.append(QStringLiteral("\u25CC") + c);
            break;
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Space:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            shown.append(QStringLiteral("U+%1")
                             .arg(static_cast<uint>(code), 4, 16, QLatin1Char('0'))
                             .toUpper());
            break;
        default:
            shown.append(c);
        }
    }
    return shown.join(QStringLiteral("、"));
}

std::string toUtf8(const std::string &bytes)
{
    return decodeToUtf8("CP932", bytes);
}

std::string eucJis2004ToUtf8(const std::string &bytes)
{
    return decodeToUtf8("EUC-JISX0213", bytes);
}

QString toUnicode(const std::string &bytes)
{
    return QString::fromStdString(toUtf8(bytes));
}

std::string truncate(const std::string &bytes, std::size_t max)
{
    if (bytes.size() <= max)
        return bytes;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t len = isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + len > max)
            break;
        i += len;
    }
    return bytes.substr(0, i);
}

std::string toUpper(const std::string &bytes)
{
    std::string out = bytes;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (isLeadByte(c)) {
            ++i;
            continue;
        }
        if (c >= 'a' && c <= 'z')
            out[i] = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string fileNamePart(const std::string &path)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':')
            start = i + 1;
    }
    return path.substr(start);
}

std::string extensionPart(const std::string &path)
{
    std::string name = fileNamePart(path);
    std::size_t dot = std::string::npos;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (isLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '.')
            dot = i;
    }
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

} // namespace sjis
