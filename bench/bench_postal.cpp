// The postal dictionary: reading and indexing the installed file (what the
// first 〒 typed costs), and the address search an address keystroke costs.

#include "postal/postal.h"

#include <benchmark/benchmark.h>

namespace {

void BM_PostalLoad(benchmark::State &state)
{
    for (auto _ : state) {
        const auto d = postal::Dictionary::Load(postal::DictionaryPath());
        if (d->Status() != postal::Dictionary::State::Loaded) {
            state.SkipWithError("the postal dictionary (skkdic-extra) is not installed");
            return;
        }
        benchmark::DoNotOptimize(d->Addresses(QStringLiteral("1000001")));
    }
}
BENCHMARK(BM_PostalLoad)->Unit(benchmark::kMillisecond);

// The first search also orders the addresses; the rest are one keystroke each.
void BM_PostalCodesForAddress(benchmark::State &state)
{
    const auto d = postal::Dictionary::Load(postal::DictionaryPath());
    if (d->Status() != postal::Dictionary::State::Loaded) {
        state.SkipWithError("the postal dictionary (skkdic-extra) is not installed");
        return;
    }
    const QString typed = QStringLiteral("東京都千代田区千代田1-1 千代田ビル 3階");
    d->CodesFor(typed);
    for (auto _ : state)
        benchmark::DoNotOptimize(d->CodesFor(typed));
}
BENCHMARK(BM_PostalCodesForAddress)->Unit(benchmark::kMicrosecond);

} // namespace
