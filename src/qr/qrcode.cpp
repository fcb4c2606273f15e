#include "qr/qrcode.h"

#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/objects.h"

#include <QImageWriter>
#include <QPainter>
#include <qrencode.h>

#include <cerrno>

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

std::string BuildQrText(const Objects &card)
{
    std::string out;
    for (const FieldInfo &row : kFields) {
        if (!row.qrLabel)
            continue;
        const auto *obj = dynamic_cast<const TextObject *>(card.Find(row.key));
        if (!obj)
            continue;
        const std::string text = obj->GetText();
        if (text.empty())
            continue;
        out += row.qrLabel;
        out += text;
        out += '\n';
    }
    return out;
}

namespace {

// Null when the text is longer than the largest symbol holds.
std::unique_ptr<VectorPicture> encodeQrPicture(const std::string &text)
{
    // Case sensitivity 1: with 0 the encoder upper-cases bytes, trail bytes
    // of two-byte characters among them.
    const QRencodeMode hint = kanjiModeIsLossless(text) ? QR_MODE_KANJI : QR_MODE_8;
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

std::unique_ptr<VectorPicture> MakeQrPicture(const std::string &text, bool *tooLong)
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
    if (!lastValid || text != lastText) {
        lastValid = false;
        last = encodeQrPicture(text);
        lastText = text;
        lastValid = true;
    }
    if (!last) {
        if (tooLong)
            *tooLong = true;
        return std::make_unique<VectorPicture>();
    }
    return std::make_unique<VectorPicture>(*last);
}

QrUpdate UpdateQrCode(Objects &card, const Converter &screen)
{
    auto *qr = dynamic_cast<GraphicObject *>(card.Find(kQrKey));
    if (!qr || !qr->IsVisible())
        return QrUpdate::NotShown;
    bool tooLong = false;
    std::unique_ptr<VectorPicture> picture = MakeQrPicture(BuildQrText(card), &tooLong);
    qr->SetPicture(std::move(picture), screen, kQrSource);
    return tooLong ? QrUpdate::TooLong : QrUpdate::Built;
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
