// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing cost per block and per second: the scope on a clean Manchester signal with a
// tick every 10 samples, the graph at its design size scrolling at every step.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "pictures/scope.h"
#include "pictures/sensor_graph.h"

namespace {

constexpr int kSamplesPerSymbol = 10;
constexpr double kLevel = 3000.0; // about two thirds of the scope's half height
constexpr int kBlocks = 8;

struct Block {
    std::vector<double> signal = std::vector<double>(nimbo::kBlockSamples);
    std::vector<uint8_t> ticks = std::vector<uint8_t>(nimbo::kBlockSamples);
};

// Random bits as Manchester symbol pairs, smoothed by a one-pole low-pass so that the
// transitions slope like a band-limited receiver output; ticks mid-symbol.
std::vector<Block> manchesterBlocks() {
    std::mt19937 rng(5);
    std::vector<Block> blocks(kBlocks);
    double y = 0.0;
    int symbol = 0;
    bool bit = false;
    for (Block& b : blocks) {
        for (int k = 0; k < nimbo::kBlockSamples; ++k, ++symbol) {
            const int inSymbol = symbol % kSamplesPerSymbol;
            const int half = symbol / kSamplesPerSymbol % 2;
            if (inSymbol == 0 && half == 0) bit = rng() & 1;
            const double target = (bit != (half == 1)) ? kLevel : -kLevel;
            y += 0.35 * (target - y);
            b.signal[k] = y;
            b.ticks[k] = inSymbol == kSamplesPerSymbol / 2;
        }
    }
    return blocks;
}

void BM_DrawScope(benchmark::State& state) {
    const std::vector<Block> blocks = manchesterBlocks();
    auto scope = std::make_unique<nimbo::Scope>();
    int i = 0;
    for (auto _ : state) {
        const Block& b = blocks[i++ % kBlocks];
        scope->DrawScope(b.signal.data(), b.ticks.data());
        benchmark::DoNotOptimize(scope->scopeBitmap().bits());
    }
}
BENCHMARK(BM_DrawScope)->Unit(benchmark::kMicrosecond);

// Channels drifting slowly across the chart, as in a flight.
std::array<double, 8> flightValues(int step) {
    std::array<double, 8> v{};
    for (int k = 0; k < 8; ++k)
        v[k] = 0.1 * k + 0.0007 * (step % 1000);
    return v;
}

void BM_GraphStep(benchmark::State& state) {
    nimbo::SensorGraph graph; // 880 x 518
    graph.setRowTime(static_cast<int>(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        const std::array<double, 8> v = flightValues(step++);
        graph.graphStep(v.data(), true);
        benchmark::DoNotOptimize(graph.graphBitmap().bits());
    }
}
BENCHMARK(BM_GraphStep)->Arg(0)->Arg(5)->Unit(benchmark::kMicrosecond);

// One second of live drawing: ten blocks through the scope and the graph's hook.
void BM_OneSecondOfPictures(benchmark::State& state) {
    const std::vector<Block> blocks = manchesterBlocks();
    auto scope = std::make_unique<nimbo::Scope>();
    nimbo::SensorGraph graph;
    graph.setRowTime(0);
    int step = 0;
    for (auto _ : state) {
        const std::array<double, 8> v = flightValues(step++);
        for (int i = 0; i < 10; ++i) {
            const Block& b = blocks[i % kBlocks];
            scope->DrawScope(b.signal.data(), b.ticks.data());
            graph.sensorBlockGood();
            graph.endOfBuffer(true, v.data(), true);
        }
        benchmark::DoNotOptimize(graph.graphBitmap().bits());
    }
}
BENCHMARK(BM_OneSecondOfPictures)->Unit(benchmark::kMicrosecond);

} // namespace
