// Speed of the receiver chain: one 0.1 s block through each signal path, including
// frame sync and decoding.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/bench_signal.h"
#include "core/nimbo_core.h"

namespace {

void runBlocks(benchmark::State& state, bool ifSignal) {
    const std::vector<int16_t> pcm = nimbo::bench::benchSignal(ifSignal);
    const int blocks = static_cast<int>(pcm.size() / nimbo::kBlockWords);
    auto core = std::make_unique<nimbo::NimboCore>();
    nimbo::ReceiverSettings settings;
    settings.DemodType = ifSignal ? 1 : 0;
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

} // namespace

BENCHMARK(BM_FmDetBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IfBlock)->Unit(benchmark::kMicrosecond);
