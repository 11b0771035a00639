// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the receivers: one 0.1 s block through each signal path, including frame sync
// and decoding, for the standard chain and the weak-signal receiver (with its repair).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/bench_signal.h"
#include "core/nimbo_core.h"

namespace {

void runBlocks(benchmark::State& state, bool ifSignal, bool weak = false) {
    const std::vector<int16_t> pcm = nimbo::bench::benchSignal(ifSignal);
    const int blocks = static_cast<int>(pcm.size() / nimbo::kBlockWords);
    auto core = std::make_unique<nimbo::NimboCore>();
    nimbo::ReceiverSettings settings;
    settings.DemodType = ifSignal ? 1 : 0;
    settings.Weak = weak;
    core->applySettings(settings);
    core->setDrawPictures(false); // the signal path alone; drawing has its own benchmarks
    int64_t frames = 0;
    int b = 0;
    for (auto _ : state) {
        core->ProcessWaveBuffer(pcm.data() + static_cast<std::size_t>(b) * nimbo::kBlockWords);
        if (core->frame().sondeBlockOk) ++frames;
        b = (b + 1) % blocks;
    }
    state.counters["x_realtime"] = benchmark::Counter(0.1 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(frames);
}

void BM_FmDetBlock(benchmark::State& state) {
    runBlocks(state, false);
}
void BM_IfBlock(benchmark::State& state) {
    runBlocks(state, true);
}
void BM_WeakFmDetBlock(benchmark::State& state) {
    runBlocks(state, false, true);
}
void BM_WeakIfBlock(benchmark::State& state) {
    runBlocks(state, true, true);
}

} // namespace

BENCHMARK(BM_FmDetBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IfBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeakFmDetBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeakIfBlock)->Unit(benchmark::kMicrosecond);
