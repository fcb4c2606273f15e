#include "qr/qrcode.h"

#include "card/cardoptions.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

#include <QImageWriter>
#include <QPainter>
#include <qrencode.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

namespace {

bool isSjisTrail(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// libqrencode's Kanji hint takes any two bytes whose value lies in
// 8140-9FFC or E040-EBBF for one Kanji-mode character, without checking the
// second byte, and a second byte below 40 comes back as a different
// character. Text whose every lead byte starts a whole character in those
// ranges stays aligned and encodes losslessly. A lone lead byte, or a
// character outside them (code page 932 gives FA40-FC4B for name characters
// such as 髙 or 﨑), can make the encoder pair a trail byte with the next
// byte (FA9C then a line feed comes back as FA9C 4A), so such a text goes in
// 8-bit mode instead: a larger symbol, the same bytes.
bool kanjiModeIsLossless(const std::string &text)
{
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)))
            continue;
        if (i + 1 == n)
            return false;
        const auto t = static_cast<unsigned char>(text[i + 1]);
        const unsigned word = (unsigned(c) << 8) | t;
        if (!isSjisTrail(t) || !(word <= 0x9FFC || (word >= 0xE040 && word <= 0xEBBF)))
            return false;
        ++i;
    }
    return true;
}

struct QrcodeFree
{
    void operator()(QRcode *code) const { QRcode_free(code); }
};

} // namespace

namespace {

// A field the card's design leaves out (its visible flag cleared) is left
// out of the QR code as well: the code says what the card says.
std::string fieldText(const Objects &card, const char *key)
{
    const auto *obj = dynamic_cast<const TextObject *>(card.Find(key));
    return obj && obj->Object::IsVisible() ? obj->GetText() : std::string();
}

// The label without its "http://" before an address naming its own scheme.
std::string labelFor(const FieldInfo &row, const std::string &text)
{
    std::string label = row.qrLabel;
    constexpr std::string_view scheme = "http://";
    if (label.size() >= scheme.size() &&
        label.compare(label.size() - scheme.size(), scheme.size(), scheme) == 0 &&
        HasWebScheme(text))
        label.resize(label.size() - scheme.size());
    return label;
}

std::string withScheme(const std::string &address)
{
    return HasWebScheme(address) ? address : "http://" + address;
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// A field's text with every control character (line breaks, tabs, escape,
// DEL) a blank: in the labelled text and in MECARD a line break would start
// a line or a property of its own, which a reader takes for a further field
// or contact. Shift-JIS second bytes are never below 40, so bytes suffice.
std::string blanked(std::string sjis)
{
    for (char &c : sjis)
        if (isControl(static_cast<unsigned char>(c)))
            c = ' ';
    return sjis;
}

std::string labelledText(const Objects &card)
{
    std::string out;
    for (const FieldInfo &row : kFields) {
        if (!row.qrLabel)
            continue;
        const std::string text = fieldText(card, row.key);
        if (text.empty())
            continue;
        out += labelFor(row, text);
        out += blanked(text);
        out += '\n';
    }
    return out;
}

bool isSjisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Shift-JIS: a two-byte character is copied whole, so its second byte (5C
// for ソ, 表, 能 ...) is never taken for a backslash.
std::string mecardEscape(const std::string &sjis)
{
    std::string out;
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        if (isSjisLead(c) && i + 1 < sjis.size() &&
            isSjisTrail(static_cast<unsigned char>(sjis[i + 1]))) {
            out += sjis[i];
            out += sjis[++i];
            continue;
        }
        if (c == '\\' || c == ';' || c == ':' || c == ',')
            out += '\\';
        out += isControl(c) ? ' ' : sjis[i];
    }
    return out;
}

// Two non-empty parts joined by a blank; one alone when the other is empty.
std::string joined(const std::string &a, const std::string &b)
{
    if (a.empty() || b.empty())
        return a + b;
    return a + ' ' + b;
}

std::string mecardText(const Objects &card)
{
    const auto f = [&card](const char *key) { return fieldText(card, key); };
    const std::string url = f("eURL");
    const std::pair<const char *, std::string> entries[] = {
        {"N", f("eName")},
        {"SOUND", f("eFuri")},
        {"TEL", f("eTel")},
        {"TEL", f("eMobile")},
        {"EMAIL", f("eMail")},
        {"URL", url.empty() ? url : withScheme(url)},
        {"ADR", joined(f("ePostNo"), f("eAddress"))},
        {"ORG", f("eCorp")},
        {"NOTE", joined(f("eBusho"), f("eYaku"))},
    };
    std::string body;
    for (const auto &[name, value] : entries)
        if (!value.empty())
            body += std::string(name) + ':' + mecardEscape(value) + ';';
    return body.empty() ? body : "MECARD:" + body + ';';
}

// A line break (CR, LF or CR LF) is the two characters "\\n", as vCard 3.0
// writes one inside a value; any other control character is a blank.
std::string vcardEscape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QStringLiteral("\\n");
            continue;
        }
        if (c == u'\\' || c == u';' || c == u',')
            out += u'\\';
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(u' ') : c;
    }
    return out.toStdString();
}

// Family and given name: split at the first blank (either width).
std::pair<QString, QString> splitName(const QString &name)
{
    const QString s = name.trimmed();
    for (qsizetype i = 0; i < s.size(); ++i)
        if (s[i] == u' ' || s[i] == QChar(0x3000))
            return {s.left(i).trimmed(), s.mid(i + 1).trimmed()};
    return {s, QString()};
}

std::string vcardText(const Objects &card)
{
    const auto f = [&card](const char *key) { return sjis::toUnicode(fieldText(card, key)); };
    const QString name = f("eName"), reading = f("eFuri"), corp = f("eCorp"), dept = f("eBusho");
    const QString post = f("ePostNo"), address = f("eAddress"), url = f("eURL");
    std::vector<std::pair<std::string, std::string>> lines; // name, value
    if (!name.isEmpty()) {
        const auto [family, given] = splitName(name);
        lines.emplace_back("N", vcardEscape(family) + ';' + vcardEscape(given) + ";;;");
        lines.emplace_back("FN", vcardEscape(name));
    }
    if (!reading.isEmpty()) {
        const auto [family, given] = splitName(reading);
        lines.emplace_back("SORT-STRING", vcardEscape(reading));
        if (!family.isEmpty())
            lines.emplace_back("X-PHONETIC-LAST-NAME", vcardEscape(family));
        if (!given.isEmpty())
            lines.emplace_back("X-PHONETIC-FIRST-NAME", vcardEscape(given));
    }
    if (!corp.isEmpty() || !dept.isEmpty())
        lines.emplace_back("ORG", dept.isEmpty() ? vcardEscape(corp)
                                                 : vcardEscape(corp) + ';' + vcardEscape(dept));
    const std::pair<const char *, const char *> plain[] = {
        {"TITLE", "eYaku"},
        {"TEL;TYPE=WORK,VOICE", "eTel"},
        {"TEL;TYPE=CELL", "eMobile"},
        {"TEL;TYPE=FAX", "eFax"},
    };
    for (const auto &[property, key] : plain)
        if (const QString v = f(key); !v.isEmpty())
            lines.emplace_back(property, vcardEscape(v));
    // PO box; extended address; street; locality; region; postal code; country.
    if (!post.isEmpty() || !address.isEmpty())
        lines.emplace_back("ADR;TYPE=WORK",
                           ";;" + vcardEscape(address) + ";;;" + vcardEscape(post) + ';');
    if (!url.isEmpty())
        lines.emplace_back("URL",
                           vcardEscape(QString::fromStdString(withScheme(url.toStdString()))));
    if (const QString mail = f("eMail"); !mail.isEmpty())
        lines.emplace_back("EMAIL", vcardEscape(mail));
    if (lines.empty())
        return {};
    std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    for (const auto &[property, value] : lines)
        out += property + ':' + value + "\r\n";
    return out + "END:VCARD\r\n";
}

} // namespace

std::string BuildQrText(const Objects &card, QrFormat format)
{
    switch (format) {
    case QrFormat::Mecard:
        return mecardText(card);
    case QrFormat::Vcard:
        return vcardText(card);
    case QrFormat::Text:
        break;
    }
    return labelledText(card);
}

std::string CardQrText(const Objects &card)
{
    return BuildQrText(card, ReadCardOptions(card).qrFormat);
}

namespace {

// Null when the text is longer than the largest symbol holds.
std::unique_ptr<VectorPicture> encodeQrPicture(const std::string &text, bool bytesOnly)
{
    // Case sensitivity 1: with 0 the encoder upper-cases bytes, trail bytes
    // of two-byte characters among them.
    const QRencodeMode hint = !bytesOnly && kanjiModeIsLossless(text) ? QR_MODE_KANJI : QR_MODE_8;
    errno = 0;
    std::unique_ptr<QRcode, QrcodeFree> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, hint, 1));
    if (!code) {
        if (errno == ERANGE)
            return nullptr;
        if (errno == ENOMEM)
            throw CardError("QR コードを作るためのメモリが足りません");
        throw CardError("QR コードを作れません");
    }

    const int modules = code->width;
    const int m = kQrModulePixels;
    const int offset = kQrQuietModules * m;
    std::vector<QRect> rects;
    for (int y = 0; y < modules; ++y) {
        const unsigned char *row = code->data + static_cast<std::size_t>(y) * modules;
        for (int x = 0; x < modules;) {
            if (!(row[x] & 1)) { // bit 0 set: dark module
                ++x;
                continue;
            }
            const int start = x;
            while (x < modules && (row[x] & 1))
                ++x;
            rects.emplace_back(offset + start * m, offset + y * m, (x - start) * m, m);
        }
    }
    const int size = (modules + 2 * kQrQuietModules) * m;
    return std::make_unique<VectorPicture>(size, size, Qt::white, Qt::black, std::move(rects));
}

} // namespace

std::unique_ptr<VectorPicture> MakeQrPicture(const std::string &text, bool *tooLong, bool bytesOnly)
{
    if (tooLong)
        *tooLong = false;
    if (text.empty())
        return std::make_unique<VectorPicture>();
    // Typing into a memo field, showing the code again and filling the fields
    // one by one ask for the same symbol again and again, and the encoder
    // takes most of a keystroke. A text that did not fit is remembered too
    // (as a null picture): typing on past the limit asks again each time.
    thread_local std::string lastText;
    thread_local std::unique_ptr<VectorPicture> last;
    thread_local bool lastValid = false;
    thread_local bool lastBytesOnly = false;
    if (!lastValid || text != lastText || bytesOnly != lastBytesOnly) {
        lastValid = false;
        last = encodeQrPicture(text, bytesOnly);
        lastText = text;
        lastBytesOnly = bytesOnly;
        lastValid = true;
    }
    if (!last) {
        if (tooLong)
            *tooLong = true;
        return std::make_unique<VectorPicture>();
    }
    return std::make_unique<VectorPicture>(*last);
}

std::unique_ptr<VectorPicture> MakeCardQrPicture(const Objects &card, bool *tooLong)
{
    const QrFormat format = ReadCardOptions(card).qrFormat;
    return MakeQrPicture(BuildQrText(card, format), tooLong, format == QrFormat::Vcard);
}

namespace {

// Moves `r` left or up so that it ends on the card, never past 0.
void keepOnCard(TRect &r)
{
    const long long w = static_cast<long long>(r.right) - r.left;
    const long long h = static_cast<long long>(r.bottom) - r.top;
    if (r.right > kCardModelWidth)
        r.left = static_cast<int>(std::max(0LL, kCardModelWidth - w));
    if (r.bottom > kCardModelHeight)
        r.top = static_cast<int>(std::max(0LL, kCardModelHeight - h));
    r.right = Converter::Saturate(r.left + w);
    r.bottom = Converter::Saturate(r.top + h);
}

} // namespace

QrUpdate UpdateQrCode(Objects &card, const Converter &screen)
{
    auto *qr = dynamic_cast<GraphicObject *>(card.Find(kQrKey));
    if (!qr || !qr->IsVisible())
        return QrUpdate::NotShown;
    bool tooLong = false;
    std::unique_ptr<VectorPicture> picture = MakeCardQrPicture(card, &tooLong);
    const bool empty = picture->Empty();
    TRect was;
    qr->GetRect(was);
    qr->SetPicture(std::move(picture), screen, kQrSource);
    if (ReadCardOptions(card).qrSizeKept) {
        // The symbol is square: a rectangle that is not keeps its shorter side.
        const long long side = std::min(static_cast<long long>(was.right) - was.left,
                                        static_cast<long long>(was.bottom) - was.top);
        TRect kept = was;
        if (side >= 0) {
            kept.right = Converter::Saturate(was.left + side);
            kept.bottom = Converter::Saturate(was.top + side);
        }
        qr->SetRect(kept);
        return tooLong ? QrUpdate::TooLong : QrUpdate::Built;
    }
    TRect r;
    qr->GetRect(r);
    if (!empty && was == TRect{}) {
        const long long w = static_cast<long long>(r.right) - r.left;
        const long long h = static_cast<long long>(r.bottom) - r.top;
        r = TRect{static_cast<int>(kCardModelWidth - kQrCornerMargin - w),
                  static_cast<int>(kCardModelHeight - kQrCornerMargin - h),
                  kCardModelWidth - kQrCornerMargin, kCardModelHeight - kQrCornerMargin};
        if (r.left < 0 || r.top < 0) { // larger than the card within its margins
            r = TRect{std::max(0, r.left), std::max(0, r.top), 0, 0};
            r.right = Converter::Saturate(r.left + w);
            r.bottom = Converter::Saturate(r.top + h);
        }
    }
    // In 64 bits: a record may hold any rectangle.
    auto span = [](int a, int b) { return static_cast<long long>(b) - a; };
    const bool resized = span(r.left, r.right) != span(was.left, was.right) ||
                         span(r.top, r.bottom) != span(was.top, was.bottom);
    if (resized)
        keepOnCard(r);
    qr->SetRect(r);
    return tooLong ? QrUpdate::TooLong : QrUpdate::Built;
}

double QrModuleMillimetres(const Objects &card)
{
    const auto *qr = dynamic_cast<const GraphicObject *>(card.Find(kQrKey));
    if (!qr || !qr->IsVisible() || qr->Source() != kQrSource || !qr->GetPicture() ||
        qr->GetPicture()->Empty())
        return 0;
    TRect r;
    qr->GetRect(r);
    const long long side = std::min(static_cast<long long>(r.right) - r.left,
                                    static_cast<long long>(r.bottom) - r.top);
    if (side <= 0)
        return 0;
    const int modules = qr->GetPicture()->Width() / kQrModulePixels; // quiet zone included
    return modules > 0 ? static_cast<double>(side) / 10.0 / modules : 0;
}

QImage QrPictureImage(const Picture &p)
{
    if (p.Empty())
        return {};
    QImage image(p.Width(), p.Height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    p.Draw(painter, QRect(0, 0, p.Width(), p.Height()));
    return image;
}

void SaveQrPictureBmp(const Picture &p, const QString &path)
{
    if (p.Empty())
        throw CardError("QR コードの画像がありません。QR コードにする項目を入力してください");
    const QImage image = QrPictureImage(p);
    files::SafeFile file(path);
    // Qt writes a 32-bit image without alpha as a 24-bit BMP.
    QImageWriter writer(&file.Device(), "BMP");
    if (!writer.write(image))
        file.Fail(writer.errorString());
    file.Commit();
}
