// SPDX-License-Identifier: GPL-3.0-or-later
// Test I/Q worked out from first principles: a complex tone, or FM whose frequency follows
// FM Det audio (8000 levels = 2400 Hz), at any rate and offset, written as an SDR writes it.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_input.h"

namespace nimbo::test {

using Iq = std::vector<std::complex<double>>;

// amplitude * e^{j 2 pi hz t} for `count` samples at `rate`.
inline Iq toneIq(double hz, int rate, std::size_t count, double amplitude) {
    Iq z(count);
    for (std::size_t n = 0; n < count; ++n)
        z[n] =
            std::polar(amplitude, 2.0 * std::numbers::pi * std::fmod(hz * double(n) / rate, 1.0));
    return z;
}

// FM at `rate` whose instantaneous frequency is offsetHz + audio * 2400 / 8000, `audio`
// being every second word of a 48 kHz stereo block stream (the left channel), taken
// linearly between its samples; complex Gaussian noise of standard deviation noise per part.
inline Iq fmIq(const std::vector<int16_t>& stereo48k, int rate, double offsetHz, double amplitude,
               double noise = 0.0, unsigned seed = 1) {
    const std::size_t frames = stereo48k.size() / 2;
    const auto count = static_cast<std::size_t>(double(frames) * rate / 48000.0);
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise > 0.0 ? noise : 1.0);
    Iq z(count);
    double phase = 0.0; // cycles
    for (std::size_t n = 0; n < count; ++n) {
        const double t = double(n) * 48000.0 / rate;
        const auto k = std::min(static_cast<std::size_t>(t), frames - 2);
        const double mu = t - double(k);
        const double audio = (1.0 - mu) * stereo48k[2 * k] + mu * stereo48k[2 * k + 2];
        z[n] = std::polar(amplitude, 2.0 * std::numbers::pi * phase);
        if (noise > 0.0) z[n] += std::complex<double>(gauss(random), gauss(random));
        phase = std::fmod(phase + (offsetHz + audio * 2400.0 / 8000.0) / rate, 1.0);
    }
    return z;
}

// The bytes of raw I/Q pairs: u8 offset binary (127.5 = 0, values rounded and held to
// 0..255), s16 and f32 little-endian. Sample values are in the format's own units.
inline std::string rawIq(const Iq& z, RawSampleFormat format) {
    std::string bytes;
    bytes.reserve(z.size() * 8);
    const auto put16 = [&](double v) {
        const auto s = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) & 0xff));
        bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) >> 8));
    };
    const auto putFloat = [&](double v) {
        const auto f = static_cast<float>(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<char>((u >> (8 * b)) & 0xff));
    };
    for (const auto& s : z) {
        for (const double v : {s.real(), s.imag()}) {
            if (format == RawSampleFormat::U8)
                bytes.push_back(static_cast<char>(std::clamp(std::lround(v + 127.5), 0L, 255L)));
            else if (format == RawSampleFormat::S16)
                put16(v);
            else
                putFloat(v);
        }
    }
    return bytes;
}

} // namespace nimbo::test
