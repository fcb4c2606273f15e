// Saving and reading a card that holds a full-size photo background and a
// large bitmap, against the cost of copying the same bytes and of decoding
// each picture once: reading a card should cost little beyond the decoding.

#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <QBuffer>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

// Smooth light and colour gradients with grain, as a photo has: JPEG sizes
// and decoding times are close to those of a camera picture.
QImage photo(int width, int height, std::uint32_t seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int fy = y * 255 / height;
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = static_cast<int>(state >> 27) - 16;
            const int fx = x * 255 / width;
            const int band = ((x / 37 + y / 53) & 7) * 6;
            line[x] = qRgb(qBound(0, fx + grain + band, 255), qBound(0, fy + grain, 255),
                           qBound(0, (fx + fy) / 2 - grain + band, 255));
        }
    }
    return image;
}

QByteArray encode(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        throw std::runtime_error(std::string("cannot encode ") + format);
    return bytes;
}

struct Fixture
{
    QByteArray jpeg;
    QByteArray bmp;
    Objects card;
    QByteArray file;

    Fixture()
    {
        jpeg = encode(photo(4000, 3000, 7), "JPG", 90);
        bmp = encode(photo(2000, 1500, 11), "BMP", -1);
        BuildDefaultCard(card);
        const Converter editor(645);
        auto &back = dynamic_cast<GraphicObject &>(*card[kBackPictureKey]);
        back.SetPicture(JpegPicture::FromBytes(jpeg), editor, sjis::fromUtf8("C:\\写真\\背景.jpg"));
        back.SetVisible(true);
        auto &pic = dynamic_cast<GraphicObject &>(*card[kPictureKey]);
        pic.SetPicture(BitmapPicture::FromBytes(bmp), editor, sjis::fromUtf8("C:\\画像\\ロゴ.bmp"));
        pic.SetVisible(true);
        for (const FieldInfo &f : kFields)
            dynamic_cast<TextObject &>(*card[f.key]).SetText(sjis::fromUtf8(f.caption));
        MemoryStream s;
        SaveCard(&s, card);
        file = s.Data();
    }
    ~Fixture() { DestroyObjects(card); }
};

const Fixture &fixture()
{
    static const Fixture f;
    return f;
}

void BM_SaveCard(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        MemoryStream s;
        SaveCard(&s, f.card);
        benchmark::DoNotOptimize(s.Data().constData());
    }
    state.SetBytesProcessed(state.iterations() * f.file.size());
    state.counters["file_MB"] = f.file.size() / 1e6;
}

void BM_LoadCard(benchmark::State &state)
{
    const Fixture &f = fixture();
    Objects card;
    for (auto _ : state) {
        MemoryStream s(f.file);
        if (!LoadCard(&s, card))
            state.SkipWithError("not a card file");
        state.PauseTiming();
        DestroyObjects(card);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * f.file.size());
}

// The least any reader must do: move every byte of the file once.
void BM_ReadFileBytes(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        MemoryStream s(f.file);
        QByteArray copy(f.file.size(), Qt::Uninitialized);
        s.Read(copy.data(), copy.size());
        benchmark::DoNotOptimize(copy.constData());
    }
    state.SetBytesProcessed(state.iterations() * f.file.size());
}

void BM_DecodeJpeg4000x3000(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        QImage image;
        image.loadFromData(f.jpeg, "JPEG");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetBytesProcessed(state.iterations() * f.jpeg.size());
    state.counters["jpeg_MB"] = f.jpeg.size() / 1e6;
}

void BM_DecodeBmp2000x1500(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        QImage image;
        image.loadFromData(f.bmp, "BMP");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetBytesProcessed(state.iterations() * f.bmp.size());
    state.counters["bmp_MB"] = f.bmp.size() / 1e6;
}

} // namespace

BENCHMARK(BM_SaveCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp2000x1500)->Unit(benchmark::kMillisecond);
