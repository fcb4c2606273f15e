#pragma once
// Small card files whose pictures claim far more than they hold: the inputs
// that once took gigabytes to open or draw. Used by the tests, and written
// into the card fuzzer's seed corpus (PLAKURO_WRITE_FUZZ_SEEDS, see
// tests/card/test_cardfile.cpp) so the figures can be measured again with
// plakuro-cli on fuzz/corpus/card/*bomb*.pkd. Also cards whose pictures cost
// far more to draw or print than their size suggests (run-length escapes,
// thousands of tiny pictures), for the tests and the benchmarks.

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
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

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

// A bitmap file image with an info header: `pixels` as the file holds them
// (coded as `compression` says), `palette` as its colour table.
inline QByteArray bitmapFile(int width, int height, int bits, int compression,
                             const QByteArray &pixels, const std::vector<QRgb> &palette = {})
{
    QByteArray table;
    for (QRgb c : palette)
        table.append(static_cast<char>(qBlue(c)))
            .append(static_cast<char>(qGreen(c)))
            .append(static_cast<char>(qRed(c)))
            .append('\0');
    auto le = [](QByteArray &b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(static_cast<char>(v >> (8 * i)));
    };
    QByteArray info;
    le(info, 40, 4);
    le(info, static_cast<std::uint32_t>(width), 4);
    le(info, static_cast<std::uint32_t>(height), 4);
    le(info, 1, 2);
    le(info, static_cast<std::uint32_t>(bits), 2);
    le(info, static_cast<std::uint32_t>(compression), 4);
    le(info, static_cast<std::uint32_t>(pixels.size()), 4);
    le(info, 2835, 4);
    le(info, 2835, 4);
    le(info, static_cast<std::uint32_t>(palette.size()), 4);
    le(info, 0, 4);
    const auto offset = static_cast<std::uint32_t>(14 + info.size() + table.size());
    QByteArray file("BM");
    le(file, offset + static_cast<std::uint32_t>(pixels.size()), 4);
    le(file, 0, 4);
    le(file, offset, 4);
    return file + info + table + pixels;
}

// The sixteen colours of the run-length bitmaps.
inline std::vector<QRgb> sixteenColours()
{
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(qRgb(200 - i * 10, i * 15, 40 + i * 12));
    return palette;
}

// A run-length coded bitmap (RLE8 for `bits` 8, RLE4 for 4) of 16 x `height`
// pixels, coded almost wholly in escapes: each pixel a run of one (colour
// (x + 2y) % 16 on file row y), each followed by `deltas` delta escapes
// that move nowhere (00 02 00 00), each row closed by an end of line
// (00 00), the bitmap by its end (00 01). As it comes, 16 x 2 pixels in
// about 65 KB: stretched over a card, each file row stands for half the
// output rows.
inline QByteArray rleDeltaBitmap(int bits = 8, int height = 2, int deltas = 512)
{
    constexpr int kWidth = 16;
    QByteArray coding;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int colour = (x + 2 * y) % 16;
            coding.append('\x01').append(static_cast<char>(bits == 4 ? colour * 17 : colour));
            for (int d = 0; d < deltas; ++d)
                coding.append(QByteArray("\0\x02\0\0", 4));
        }
        coding.append(QByteArray("\0\0", 2));
    }
    coding.append(QByteArray("\0\x01", 2));
    return bitmapFile(kWidth, height, bits, bits == 4 ? 2 : 1, coding, sixteenColours());
}

// The pixels of rleDeltaBitmap as a plain 24-bit bitmap.
inline QByteArray plainDeltaTwinBitmap(int height = 2)
{
    const std::vector<QRgb> palette = sixteenColours();
    QImage image(16, height, QImage::Format_RGB32);
    // Bitmaps run bottom-up: file row y is picture row height - 1 - y.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, height - 1 - y, palette[static_cast<std::size_t>((x + 2 * y) % 16)]);
    return encodeImage(image, "BMP");
}

// The default card with rleDeltaBitmap over the whole card (about 65 KB).
inline QByteArray rleDeltaCard()
{
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(BitmapPicture::FromBytes(rleDeltaBitmap()));
    return cardWith(std::move(pictures));
}

// The default card with plainDeltaTwinBitmap over the whole card.
inline QByteArray plainBitmapCard()
{
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(BitmapPicture::FromBytes(plainDeltaTwinBitmap()));
    return cardWith(std::move(pictures));
}

// The default card with `count` pictures under the keys "tiny0000", ...:
// each a 4 x 4 bitmap of its own colours kept as a converted PNG was, 32
// bits with alpha (all opaque), stretched to `side` model units square (8 mm
// as it comes), laid 50 to a row over the card, overlapping. With 2000 the
// card file is about 540 KB.
inline QByteArray manyTinyPicturesCard(int count = 2000, int side = 80)
{
    Objects card;
    BuildDefaultCard(card);
    std::uint32_t state = 12345;
    for (int n = 0; n < count; ++n) {
        QImage tiny(4, 4, QImage::Format_ARGB32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                state = state * 1664525u + 1013904223u;
                tiny.setPixel(x, y, 0xff000000u | (state >> 8));
            }
        char key[16];
        std::snprintf(key, sizeof key, "tiny%04d", n);
        auto *g = new GraphicObject;
        card[key].reset(g);
        g->SetPicture(BitmapPicture::FromImageWithAlpha(tiny), Converter(645), "C:\\tiny.png");
        const int left = (n % 50) * (910 - side) / 49, top = (n / 50) % 40 * (550 - side) / 39;
        g->SetRect({left, top, left + side, top + side});
        g->SetVisible(true);
    }
    MemoryStream s;
    SaveCard(&s, card);
    return s.Data();
}

} // namespace bombs
