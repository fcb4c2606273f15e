// Saving and reading a card that holds a full-size photo background and a
// large bitmap, against the cost of copying the same bytes and of decoding
// each picture once: reading a card should cost little beyond the decoding.

#include "realistic.h"

#include "card/cardfile.h"
#include "card/objects.h"
#include "card/stream.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

struct Fixture
{
    const QByteArray &jpeg;
    const QByteArray &bmp;
    const Objects &card;
    const QByteArray &file;
};

Fixture fixture()
{
    const Realistic &r = realistic();
    return {r.jpeg, r.bmp, r.editor.Card(), r.file};
}

void BM_SaveCard(benchmark::State &state)
{
    const Fixture f = fixture();
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
    const Fixture f = fixture();
    Objects card;
    for (auto _ : state) {
        MemoryStream s(f.file);
        if (!LoadCard(&s, card))
            state.SkipWithError("not a card file");
        state.PauseTiming();
        card.Clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * f.file.size());
}

// The least any reader must do: move every byte of the file once.
void BM_ReadFileBytes(benchmark::State &state)
{
    const Fixture f = fixture();
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
    const Fixture f = fixture();
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
    const Fixture f = fixture();
    for (auto _ : state) {
        QImage image;
        image.loadFromData(f.bmp, "BMP");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetBytesProcessed(state.iterations() * f.bmp.size());
    state.counters["bmp_MB"] = f.bmp.size() / 1e6;
}

} // namespace

BENCHMARK(BM_SaveCard)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCard)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileBytes)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg4000x3000)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp2000x1500)->Apply(withSpread)->Unit(benchmark::kMillisecond);
