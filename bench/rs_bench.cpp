// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the Reed-Solomon decoders: the RS92's (234, 210) codeword clean and with 12 byte
// errors, the search on its bits through every candidate, and a whole RS41 frame (two interleaved codewords, blocks, fields) clean, with 10
// byte errors, and noise through every erasure step.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "decode/ordered_statistics.h"
#include "decode/reed_solomon.h"
#include "rs41/rs41_frame.h"
#include "rs41/soft_decode.h"
#include "tests/rs41_real_frame.h"

namespace {

using namespace nimbo;

std::array<uint8_t, rs::kCodeLength> rs92Word(int errors) {
    std::mt19937 rng(92);
    std::array<uint8_t, rs::kCodeLength> c{};
    for (int i = rs::kParityBytes; i < rs::kCodeLength; ++i)
        c[i] = static_cast<uint8_t>(rng());
    rs::encode(std::span(c).subspan<rs::kParityBytes>(), std::span(c).first<rs::kParityBytes>());
    for (int k = 0; k < errors; ++k)
        c[static_cast<std::size_t>(k * 19)] ^= static_cast<uint8_t>(1 + k);
    return c;
}

void runRs92(benchmark::State& state, int errors) {
    const auto received = rs92Word(errors);
    for (auto _ : state) {
        auto c = received;
        benchmark::DoNotOptimize(rs::decode(c));
        benchmark::ClobberMemory();
    }
}

void BM_Rs92Clean(benchmark::State& state) {
    runRs92(state, 0);
}
void BM_Rs92TwelveErrors(benchmark::State& state) {
    runRs92(state, 12);
}

// The search on bits with every candidate refused (the most a frame that fails costs): 60
// wrong bits among random confidences.
void BM_Rs92BitSearchEveryCandidate(benchmark::State& state) {
    auto received = rs92Word(0);
    std::mt19937 rng(93);
    for (int k = 0; k < 60; ++k)
        received[rng() % rs::kCodeLength] ^= static_cast<uint8_t>(1u << (rng() % 8));
    std::array<float, rs::OrderedStatistics::kBits> reliability;
    for (float& r : reliability)
        r = static_cast<float>(rng() % 1000);
    rs::OrderedStatistics search;
    int offered = 0;
    for (auto _ : state) {
        auto c = received;
        benchmark::DoNotOptimize(search.decode(c, reliability, [&](rs::ConstCodeword w) {
            offered += w[0] != 0xFF;
            return false;
        }));
    }
    benchmark::DoNotOptimize(offered);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// decodeFrame on the real frame, with `errors` bytes spoilt over both codewords.
void runRs41(benchmark::State& state, int errors) {
    auto received = rs41::test::realFrame();
    for (int k = 0; k < errors; ++k)
        received[static_cast<std::size_t>(20 + 29 * k)] ^= static_cast<uint8_t>(0x11 * (k + 1));
    rs41::Rs41Frame frame;
    int good = 0;
    for (auto _ : state) {
        good += rs41::decodeFrame(received, {}, frame);
        benchmark::DoNotOptimize(frame.position.heightM);
    }
    if (good != state.iterations() || frame.correction.corrected != errors)
        state.SkipWithError("the frame did not decode");
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Rs41FrameClean(benchmark::State& state) {
    runRs41(state, 0);
}
void BM_Rs41FrameTenErrors(benchmark::State& state) {
    runRs41(state, 10);
}

// decodeFrameSoft on noise: every erasure step tried and failed, the most a frame can cost.
void BM_Rs41SoftNoise(benchmark::State& state) {
    std::mt19937 rng(41);
    std::array<uint8_t, rs41::kShortFrameBytes> noise;
    std::array<float, rs41::kShortFrameBytes> reliability;
    for (int i = 0; i < rs41::kShortFrameBytes; ++i) {
        noise[i] = static_cast<uint8_t>(rng());
        reliability[i] = static_cast<float>(rng() % 1000);
    }
    noise[rs41::kLengthByte] = rs41::kShortFrameFlag;
    rs41::Rs41Frame frame;
    int good = 0;
    for (auto _ : state)
        good += rs41::decodeFrameSoft(noise, reliability, frame);
    if (good != 0) state.SkipWithError("noise decoded");
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_Rs92Clean);
BENCHMARK(BM_Rs92TwelveErrors);
BENCHMARK(BM_Rs92BitSearchEveryCandidate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rs41FrameClean);
BENCHMARK(BM_Rs41FrameTenErrors);
BENCHMARK(BM_Rs41SoftNoise);
