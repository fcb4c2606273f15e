#pragma once
// Small card files whose pictures claim far more than they hold: the inputs
// that once took gigabytes to open or draw. Used by the tests, and written
// into the card fuzzer's seed corpus (PLAKURO_WRITE_FUZZ_SEEDS, see
// tests/card/test_cardfile.cpp) so the figures can be measured again with
// plakuro-cli on fuzz/corpus/card/*bomb*.pkd.

#include "encode_image.h"

#include "card/cardfile.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/stream.h"

#include <QBuffer>
#include <QImageWriter>
#include <cstdio>
#include <memory>

namespace bombs {

// A small JPEG whose frame header is rewritten to claim `claimed` pixels;
// its scan data stays that of the small picture, so it is cut far short.
inline QByteArray jpegClaiming(QSize claimed, bool progressive = false)
{
    QImage small(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            small.setPixel(x, y, qRgb(x * 16, y * 16, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(small))
        throw std::runtime_error("test data: cannot encode a JPEG");
    // Walk the markers to the frame header (SOF0 .. SOF2).
    for (qsizetype at = 2; at + 9 < bytes.size();) {
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        const int length = (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                           static_cast<unsigned char>(bytes[at + 3]);
        if (marker >= 0xc0 && marker <= 0xc2) {
            bytes[at + 5] = static_cast<char>(claimed.height() >> 8);
            bytes[at + 6] = static_cast<char>(claimed.height() & 0xff);
            bytes[at + 7] = static_cast<char>(claimed.width() >> 8);
            bytes[at + 8] = static_cast<char>(claimed.width() & 0xff);
            return bytes;
        }
        at += 2 + length;
    }
    throw std::runtime_error("test data: no frame header");
}

// The default card (its fields empty) with `pictures` stretched over the
// whole card under the keys "bomb00", "bomb01", ... and saved.
inline QByteArray cardWith(std::vector<std::unique_ptr<Picture>> pictures,
                           const TRect &rect = {0, 0, 910, 550})
{
    Objects card;
    BuildDefaultCard(card);
    int n = 0;
    for (auto &picture : pictures) {
        char key[16];
        std::snprintf(key, sizeof key, "bomb%02d", n++);
        auto *g = new GraphicObject;
        card[key].reset(g);
        g->SetPicture(std::move(picture), Converter(645), "C:\\bomb");
        g->SetRect(rect);
        g->SetVisible(true);
    }
    MemoryStream s;
    SaveCard(&s, card);
    return s.Data();
}

// Twenty JPEG records, each claiming 8192 x 4096 pixels (about 9 KB).
inline QByteArray jpegBombCard()
{
    std::vector<std::unique_ptr<Picture>> pictures;
    for (int i = 0; i < 20; ++i)
        pictures.push_back(JpegPicture::FromBytes(jpegClaiming(QSize(8192, 4096))));
    return cardWith(std::move(pictures));
}

// One progressive JPEG claiming 8192 x 8192: its decoder buffers the whole
// picture's coefficients whatever the scale.
inline QByteArray progressiveBombCard()
{
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(JpegPicture::FromBytes(jpegClaiming(QSize(8192, 8192), true)));
    return cardWith(std::move(pictures));
}

// A 1 x 1 bitmap whose rectangle is 42325 x 42325 model units.
inline QByteArray stretchedBitmapCard()
{
    QImage one(1, 1, QImage::Format_RGB32);
    one.fill(qRgb(200, 40, 90));
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(BitmapPicture::FromImage(one));
    return cardWith(std::move(pictures), {0, 0, 42325, 42325});
}

} // namespace bombs
