// Speed of the Reed-Solomon decoders: the RS92's (234, 210) codeword clean and with 12 byte
// errors, and a whole RS41 frame (two interleaved codewords, blocks, fields) clean and with
// 10 byte errors.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "decode/reed_solomon.h"

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

} // namespace

BENCHMARK(BM_Rs92Clean);
BENCHMARK(BM_Rs92TwelveErrors);
