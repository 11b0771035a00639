// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 frame decoding on bytes from the input. Byte 0 chooses where the frame comes from
// (bits 0-1: 0 the rest of the input as on-air bytes, descrambled here, any length; 1 data
// bytes from the input with parity made for them; 2-3 the real frame), whether a made frame is
// long (bit 2), whether the frame is handed over as 518 bytes even when short (bit 3), and
// whether it is decoded from reliabilities (bit 4) rather than a list of unreliable places.
// Then, for made and real frames: a count and that many (position: 2 bytes, xor) pairs of
// damage; then a count and that many unreliable positions (2 bytes each, some out of range),
// or a reliability per byte (input byte / 16; NaN where the byte is 255).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fuzz/check.h"
#include "rs41/rs41_frame.h"
#include "rs41/soft_decode.h"
#include "tests/rs41_real_frame.h"

namespace {

using namespace nimbo;
using namespace nimbo::rs41;

constexpr int kMaxDamage = 64;
constexpr int kMaxUnreliable = 80;

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t byte() { return size ? (--size, *data++) : 0; }
    int word() { return byte() | byte() << 8; }
};

Rs41Frame frame;
Rs41Sonde sonde;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const uint8_t flags = in.byte();
    const int source = flags & 3;

    std::array<uint8_t, 2 * kMaxFrameBytes> bytes{}; // room for more than any frame
    int given = 0;                                   // bytes handed to the decoder
    int sentBytes = 0;                               // of a made or real frame; 0 for raw
    if (source == 0) {
        given = static_cast<int>(std::min(in.size, bytes.size()));
        std::memcpy(bytes.data(), in.data, static_cast<size_t>(given));
        applyMask(std::span(bytes).first(static_cast<size_t>(given)));
        in.size = 0;
    } else if (source == 1) {
        sentBytes = flags & 4 ? kLongFrameBytes : kShortFrameBytes;
        std::copy(kHeader.begin(), kHeader.end(), bytes.begin());
        for (int i = kDataStart; i < sentBytes; ++i)
            bytes[i] = in.byte();
        bytes[kLengthByte] = flags & 4 ? kLongFrameFlag : kShortFrameFlag;
        NIMBO_FUZZ_CHECK(encodeFrame(std::span(bytes).first(static_cast<size_t>(sentBytes))));
    } else {
        sentBytes = kShortFrameBytes;
        const auto real = test::realFrame();
        std::copy(real.begin(), real.end(), bytes.begin());
    }
    const std::array<uint8_t, 2 * kMaxFrameBytes> sent = bytes;
    if (sentBytes > 0) {
        NIMBO_FUZZ_CHECK(framePassesCheck(std::span(sent).first(static_cast<size_t>(sentBytes))));
        given = flags & 8 ? kMaxFrameBytes : sentBytes;
    }

    // Damage and unreliable places; errors and distinct erasures counted per codeword.
    std::array<int, kCodewords> errors{}, erased{};
    if (sentBytes > 0) {
        const int damage = std::min<int>(in.byte(), kMaxDamage);
        for (int k = 0; k < damage; ++k) {
            const int b = in.word() % sentBytes;
            bytes[b] ^= in.byte();
        }
    }
    const bool soft = flags & 16;
    std::array<float, kMaxFrameBytes> reliability{};
    std::array<int, kMaxUnreliable> unreliable{};
    const int count = soft ? 0 : std::min<int>(in.byte(), kMaxUnreliable);
    std::array<bool, kMaxFrameBytes> marked{};
    for (int k = 0; k < count; ++k) {
        const int b = in.word() - 100; // -100 .. 65435
        unreliable[k] = b;
        if (sentBytes > 0 && b >= 0 && b < sentBytes && !marked[b]) {
            marked[b] = true;
            const CodewordPlace p = codewordPlace(b, sentBytes);
            if (p.codeword >= 0) ++erased[p.codeword];
        }
    }
    int allErrors[kCodewords] = {};
    if (sentBytes > 0)
        for (int b = 0; b < sentBytes; ++b) {
            const CodewordPlace p = codewordPlace(b, sentBytes);
            if (p.codeword < 0 || bytes[b] == sent[b]) continue;
            ++allErrors[p.codeword];
            errors[p.codeword] += !marked[b];
        }

    const std::span<const uint8_t> heard = std::span(bytes).first(static_cast<size_t>(given));
    if (soft)
        for (float& r : reliability) {
            const uint8_t b = in.byte();
            r = b == 255 ? std::nanf("") : b / 16.0f;
        }
    const bool good = soft ? decodeFrameSoft(heard, reliability, frame)
                           : decodeFrame(heard, std::span(unreliable).first(count), frame);
    sonde.update(frame);

    NIMBO_FUZZ_CHECK(good == frame.good);
    if (given < kShortFrameBytes) {
        NIMBO_FUZZ_CHECK(!good && frame.frameBytes == 0);
        return 0;
    }
    const std::span<const uint8_t> decoded = std::span(frame.bytes).first(frame.frameBytes);
    if (frame.good) NIMBO_FUZZ_CHECK(frame.rsOk && frame.walk.allCrcOk);
    if (frame.rsOk) {
        // A claimed correction leaves zero syndromes, changes as many bytes as it says, and
        // the length byte names the frame's length.
        NIMBO_FUZZ_CHECK(framePassesCheck(decoded));
        NIMBO_FUZZ_CHECK(frameBytesFromFlag(frame.bytes[kLengthByte]) == frame.frameBytes);
        int changed = 0;
        for (int b = 0; b < frame.frameBytes; ++b)
            changed += frame.bytes[b] != heard[b];
        NIMBO_FUZZ_CHECK(changed == frame.correction.corrected);
    } else {
        NIMBO_FUZZ_CHECK(frame.correction.corrected == rs::kFailed);
        NIMBO_FUZZ_CHECK(std::equal(decoded.begin(), decoded.end(), heard.begin()));
    }
    if (frame.hasFrequency)
        NIMBO_FUZZ_CHECK(frame.frequencyMHz >= 400.0 && frame.frequencyMHz < 410.24);
    if (frame.hasPosition) {
        NIMBO_FUZZ_CHECK(std::abs(frame.position.latitudeDeg) <= 90.0);
        NIMBO_FUZZ_CHECK(frame.motion.headingDeg >= 0.0 && frame.motion.headingDeg < 360.0);
    }
    if (frame.hasTime) NIMBO_FUZZ_CHECK(std::strlen(frame.datetime.data()) == 20);

    // Within the code's reach, with the length byte intact or not, the frame sent comes back.
    if (sentBytes > 0) {
        bool reach = true;
        for (int k = 0; k < kCodewords; ++k)
            reach =
                reach &&
                ((erased[k] <= rs::kParityBytes && 2 * errors[k] + erased[k] <= rs::kParityBytes) ||
                 2 * allErrors[k] <= rs::kParityBytes);
        if (reach) {
            NIMBO_FUZZ_CHECK(frame.rsOk && frame.frameBytes == sentBytes);
            NIMBO_FUZZ_CHECK(std::equal(decoded.begin() + kHeaderBytes, decoded.end(),
                                        sent.begin() + kHeaderBytes));
        }
    }
    return 0;
}
