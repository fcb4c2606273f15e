#include "support.h"

#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <QColor>
#include <cmath>

ByteWriter &ByteWriter::u8(int v)
{
    bytes.append(static_cast<char>(v & 0xFF));
    return *this;
}

ByteWriter &ByteWriter::i32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        u8(static_cast<int>(u >> (8 * i)));
    return *this;
}

ByteWriter &ByteWriter::shortString(const std::string &s)
{
    if (s.size() > 255)
        throw std::logic_error("test data: shortstring over 255 bytes");
    u8(static_cast<int>(s.size()));
    bytes.append(s.data(), static_cast<qsizetype>(s.size()));
    return *this;
}

ByteWriter &ByteWriter::raw(const QByteArray &b)
{
    bytes.append(b);
    return *this;
}

QImage photoImage(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const double fx = double(x) / width, fy = double(y) / height;
            const int r = int(200 * fx + 40 * std::sin(fy * 9)) + noise;
            const int g = int(180 * fy + 30 * std::cos(fx * 7)) + noise;
            const int b = int(120 + 100 * fx * fy) + noise;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

QByteArray sampleJpeg()
{
    return encodeImage(photoImage(40, 30, 1), "JPG", 75);
}

QByteArray sampleBmp()
{
    return encodeImage(photoImage(12, 9, 2), "BMP");
}

void buildSampleCard(Objects &card)
{
    BuildDefaultCard(card);
    const Converter editor(645);
    const char *texts[][2] = {
        {"eName", "山田 太郎"},
        {"eFuri", "やまだ たろう"},
        {"eCorp", "株式会社プラクロ"},
        {"eBusho", "営業部"},
        {"eYaku", "課長"},
        {"ePostNo", "100-0001"},
        {"eAddress", "東京都千代田区千代田1-1"},
        {"eTel", "03-1234-5678"},
        {"eMobile", "090-1234-5678"},
        {"eFax", "03-1234-5679"},
        {"eURL", "www.example.jp"},
        {"eMail", "taro@example.jp"},
        {"eMemo1", "ﾒﾓ one"},
        {"eMemo2", ""},
    };
    for (const auto &[key, text] : texts)
        dynamic_cast<TextObject &>(*card[key]).SetText(sj(text));
    auto &name = dynamic_cast<TextObject &>(*card["eName"]);
    Font f;
    name.GetFont(f);
    f.bold = true;
    name.SetFont(f);
    name.SetColor(0x00804020);

    auto &back = dynamic_cast<GraphicObject &>(*card[kBackPictureKey]);
    back.SetPicture(JpegPicture::FromBytes(sampleJpeg()), editor, sj("C:\\写真\\背景.jpg"));
    back.SetVisible(true);
    auto &picture = dynamic_cast<GraphicObject &>(*card[kPictureKey]);
    picture.SetRect(TRect{700, 40, 0, 0});
    picture.SetPicture(BitmapPicture::FromBytes(sampleBmp()), editor, sj("C:\\画像\\ロゴ.bmp"));
    picture.SetVisible(true);
    auto &qr = dynamic_cast<GraphicObject &>(*card[kQrKey]);
    qr.SetPicture(std::make_unique<VectorPicture>(21, 21, Qt::white, Qt::black,
                                                  std::vector<QRect>{QRect(0, 0, 7, 7)}),
                  editor, kQrSource);
    qr.SetRect(TRect{600, 150, 850, 400});
    qr.SetVisible(true);
}

QByteArray saveCard(const Objects &card)
{
    MemoryStream s;
    SaveCard(&s, card);
    return s.Data();
}

bool loadCard(const QByteArray &bytes, Objects &card)
{
    MemoryStream s(bytes);
    return LoadCard(&s, card);
}

std::string sj(const char *utf8)
{
    return sjis::fromUtf8(utf8);
}

std::string hex(const QByteArray &bytes)
{
    return bytes.toHex(' ').toStdString();
}
