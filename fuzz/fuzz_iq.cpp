// SPDX-License-Identifier: GPL-3.0-or-later
// I/Q input: any bytes as raw u8, s16 or f32 pairs at a rate and offset taken from the
// input's first bytes, read to their end through the raw source (conversion, decimation to
// 48 kHz, gain, blocks), and the same samples through the decimator alone. The decimator's
// output stays finite and in proportion to its input, comes at 48 kHz, and the blocks hold
// all of it without ever passing the gain's peak limit.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/iq_blocks.h"
#include "audio/iq_decimator.h"
#include "audio/iq_gain.h"
#include "audio/iq_input.h"
#include "fuzz/check.h"

namespace {

using nimbo::RawSampleFormat;

constexpr std::size_t kHeader = 6;
// Rates SDRs use, picked more often than the rest of the range.
constexpr int kCommonRates[] = {48000,   96000,   192000,  240000,  250000,  256000,  960000,
                                1024000, 1200000, 1920000, 2048000, 2400000, 2560000, 3200000};

int rateFrom(const uint8_t* h) {
    const uint32_t value = h[1] | (uint32_t(h[2]) << 8) | (uint32_t(h[3]) << 16);
    if (h[0] & 0x04) return kCommonRates[value % std::size(kCommonRates)];
    return nimbo::kMinRawIqRate +
           int(value % uint32_t(nimbo::kMaxIqRate - nimbo::kMinRawIqRate + 1));
}

std::size_t pairBytes(RawSampleFormat f) {
    return f == RawSampleFormat::U8 ? 2 : f == RawSampleFormat::S16 ? 4 : 8;
}

// The pairs as the raw source reads them: full scale 1, anything not finite 0.
void convert(const uint8_t* p, std::size_t pairs, RawSampleFormat f, std::vector<float>& i,
             std::vector<float>& q) {
    i.resize(pairs);
    q.resize(pairs);
    for (std::size_t k = 0; k < pairs; ++k) {
        for (int part = 0; part < 2; ++part) {
            float v = 0.0f;
            if (f == RawSampleFormat::U8) {
                v = (float(p[2 * k + part]) - 127.5f) / 127.5f;
            } else if (f == RawSampleFormat::S16) {
                const uint8_t* b = p + 4 * k + 2 * part;
                v = float(int16_t(b[0] | (b[1] << 8))) / 32768.0f;
            } else {
                const uint8_t* b = p + 8 * k + 4 * part;
                v = nimbo::cleanIqSample(
                    std::bit_cast<float>(uint32_t(b[0]) | (uint32_t(b[1]) << 8) |
                                         (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24)));
            }
            (part == 0 ? i : q)[k] = v;
        }
    }
}

// The decimator alone; returns how many 48 kHz samples it made.
std::size_t decimate(const std::vector<float>& i, const std::vector<float>& q, int rate,
                     double offsetHz) {
    float largest = 0.0f;
    for (std::size_t k = 0; k < i.size(); ++k)
        largest = std::max({largest, std::abs(i[k]), std::abs(q[k])});
    // The mixer turns |I|, |Q| <= a into |z| <= a sqrt 2; the half-bands and the low-pass
    // each add less than a half to a sample's worst case.
    const float bound = 16.0f * largest + 1e-6f;
    nimbo::IqDecimator decimator(rate, offsetHz);
    static float outI[nimbo::IqDecimator::kMaxOutput], outQ[nimbo::IqDecimator::kMaxOutput];
    std::size_t made = 0;
    for (std::size_t at = 0; at < i.size(); at += nimbo::IqDecimator::kMaxInput) {
        const std::size_t n = std::min(nimbo::IqDecimator::kMaxInput, i.size() - at);
        std::copy_n(i.data() + at, n, decimator.inputI());
        std::copy_n(q.data() + at, n, decimator.inputQ());
        const std::size_t got = decimator.process(n, outI, outQ);
        NIMBO_FUZZ_CHECK(got <= nimbo::IqDecimator::kMaxOutput);
        for (std::size_t k = 0; k < got; ++k) {
            NIMBO_FUZZ_CHECK(std::isfinite(outI[k]) && std::isfinite(outQ[k]));
            NIMBO_FUZZ_CHECK(std::abs(outI[k]) <= bound && std::abs(outQ[k]) <= bound);
        }
        made += got;
    }
    // 48 kHz out, less at most a few samples held back in the filters' windows.
    const double expected = double(i.size()) * nimbo::kSampleRate / rate;
    NIMBO_FUZZ_CHECK(double(made) <= expected + 2.0 && double(made) >= expected - 8.0);
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    nimbo::RawIqFormat format;
    const RawSampleFormat formats[] = {RawSampleFormat::U8, RawSampleFormat::S16,
                                       RawSampleFormat::F32, RawSampleFormat::S16};
    format.sample = formats[data[0] & 3];
    format.rate = rateFrom(data);
    // Mostly within the offsets allowed at this rate, now and then just past them.
    const double limit = std::max(0.0, format.rate / 2.0 - 15000.0);
    format.offsetHz = double(int16_t(data[4] | (data[5] << 8))) / 32767.0 * limit * 1.01;

    const uint8_t* payload = data + kHeader;
    const std::size_t bytes = size - kHeader;
    const int fd = ::memfd_create("fuzz_iq", MFD_CLOEXEC);
    NIMBO_FUZZ_CHECK(fd >= 0);
    NIMBO_FUZZ_CHECK(bytes == 0 || ::write(fd, payload, bytes) == ssize_t(bytes));
    NIMBO_FUZZ_CHECK(::lseek(fd, 0, SEEK_SET) == 0);

    std::string error;
    std::unique_ptr<nimbo::BlockSource> source = nimbo::openRawIq(fd, format, error);
    if (!source) {
        ::close(fd);
        NIMBO_FUZZ_CHECK(std::abs(format.offsetHz) > limit);
        NIMBO_FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    NIMBO_FUZZ_CHECK(error.empty());

    static std::vector<float> i, q;
    const std::size_t pairs = bytes / pairBytes(format.sample);
    convert(payload, pairs, format.sample, i, q);
    const std::size_t made = decimate(i, q, format.rate, format.offsetHz);

    static int16_t block[nimbo::kBlockWords];
    std::size_t blocks = 0;
    while (source->next(block)) {
        ++blocks;
        for (const int16_t w : block)
            NIMBO_FUZZ_CHECK(std::abs(int(w)) <= int(nimbo::IqGain::kPeakLimit) + 1);
        const double p = source->progress();
        NIMBO_FUZZ_CHECK(p >= 0.0 && p <= 1.0);
    }
    ::close(fd);
    NIMBO_FUZZ_CHECK(blocks == (made + nimbo::kBlockSamples - 1) / nimbo::kBlockSamples);
    const std::string end = source->error();
    NIMBO_FUZZ_CHECK(end.empty() == (bytes % pairBytes(format.sample) == 0));
    NIMBO_FUZZ_CHECK(end.find('\n') == std::string::npos);
    return 0;
}
