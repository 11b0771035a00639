// SPDX-License-Identifier: GPL-3.0-or-later
// The Reed-Solomon decoder and the frame repair on bytes and reliabilities straight from the
// input. Byte 0 chooses where the codeword comes from (bits 0-1: 0 encoded from 210 input
// bytes, 1 taken raw as 234 input bytes, 2-3 the synthetic sonde's frame n, n from the next
// byte), whether the sync bytes are heard from 6 input bytes (bit 2), whether the repair is
// called a second time with `follows` (bit 3) and whether the reliabilities are raw floats
// (bit 4), and whether the repair gets a confidence per bit too, read like the reliabilities
// after them (bit 6). Then: a count and that many (position, xor) pairs of damage, a count and that many
// erasure positions (some out of range), and the reliabilities (as many as are left).
#include <algorithm>
#include <cmath>
#include <array>
#include <cstdint>
#include <cstring>

#include "decode/frame_layout.h"
#include "decode/frame_repair.h"
#include "decode/ordered_statistics.h"
#include "decode/reed_solomon.h"
#include "fuzz/check.h"
#include "tools/synth/synth.h"

namespace {

using namespace nimbo;

constexpr int kMaxDamage = 64;
constexpr int kMaxErasures = 40;
constexpr int kSynthFrames = 32; // one calibration cycle

using Word = std::array<uint8_t, rs::kCodeLength>;
using Content = std::array<uint8_t, kFrameBytes>;

std::array<Content, kSynthFrames + 1> synthFrames;

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t byte() { return size ? (--size, *data++) : 0; }
    bool take(uint8_t* out, size_t n) {
        if (size < n) return false;
        std::memcpy(out, data, n);
        data += n;
        size -= n;
        return true;
    }
};

// Sent places the repair knows without hearing them: the constant tail.
bool inTail(int codewordPosition) {
    const int tail = rs::codewordPosition(sent::kTailStart);
    return codewordPosition >= tail && codewordPosition < tail + sent::kTailBytes;
}

// The bytes every CRC covers, and the CRCs, are the same in both.
bool sameBlocks(const Content& a, const Content& b) {
    for (const frame::Block& block : {frame::kSondeBlock, frame::kSensorBlock, frame::kGpsBlock})
        if (!std::equal(a.begin() + block.first, a.begin() + block.last + 3,
                        b.begin() + block.first))
            return false;
    return true;
}

bool crcsHold(const Content& c) {
    return checkBlockCrc(c.data(), frame::kSondeBlock.first, frame::kSondeBlock.last) &&
           checkBlockCrc(c.data(), frame::kSensorBlock.first, frame::kSensorBlock.last) &&
           checkBlockCrc(c.data(), frame::kGpsBlock.first, frame::kGpsBlock.last);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const synth::SynthOptions options;
    for (int n = 0; n <= kSynthFrames; ++n) {
        const auto f = synth::buildFrame(options, n);
        std::copy(f.begin(), f.end(), synthFrames[static_cast<size_t>(n)].begin());
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const uint8_t flags = in.byte();
    const int source = flags & 3;

    // The codeword as sent, and whether it is one (a raw input may be anything).
    Word original{};
    std::array<uint8_t, sent::kFrameBytes> sentFrame{};
    Content frame{}; // synthetic: the collected frame the sent frame starts in (its parity first)
    if (source == 0) {
        if (!in.take(original.data() + rs::kParityBytes, rs::kDataBytes)) return 0;
        rs::encode(std::span(original).subspan<rs::kParityBytes>(),
                   std::span(original).first<rs::kParityBytes>());
    } else if (source == 1) {
        if (!in.take(original.data(), rs::kCodeLength)) return 0;
    } else {
        const int n = in.byte() % kSynthFrames;
        rs::sentFromContent(synthFrames[n], synthFrames[n + 1], sentFrame);
        rs::codewordFromSent(sentFrame, original);
        frame = synthFrames[n];
    }
    const bool valid = source != 1;
    NIMBO_FUZZ_CHECK(!valid || rs::isCodeword(original));

    std::array<uint8_t, sent::kSyncBytes> sync = sent::kSync;
    if ((flags & 4) && !in.take(sync.data(), sync.size())) return 0;

    Word received = original;
    const int damage = std::min<int>(in.byte(), kMaxDamage);
    for (int k = 0; k < damage; ++k) {
        const int position = in.byte() % rs::kCodeLength;
        received[position] ^= in.byte();
    }
    int erasures[kMaxErasures];
    bool erased[rs::kCodeLength] = {};
    bool erasuresValid = true;
    int f = 0; // distinct erasures
    const int erasureCount = std::min<int>(in.byte(), kMaxErasures);
    for (int k = 0; k < erasureCount; ++k) {
        const int b = in.byte();
        const int position = b <= 240 ? b : 240 - b; // 0..240, then -1..-15
        erasures[k] = position;
        if (position < 0 || position >= rs::kCodeLength) {
            erasuresValid = false;
        } else if (!erased[position]) {
            erased[position] = true;
            ++f;
        }
    }

    // The decoder: a claimed correction is a codeword within 2e + f <= 24 of what came.
    Word c = received;
    const int result = rs::decode(c, std::span<const int>(erasures, erasureCount));
    if (result == rs::kFailed) {
        NIMBO_FUZZ_CHECK(c == received);
    } else {
        NIMBO_FUZZ_CHECK(erasuresValid);
        NIMBO_FUZZ_CHECK(rs::isCodeword(c));
        int changed = 0, e = 0;
        for (int i = 0; i < rs::kCodeLength; ++i) {
            changed += c[i] != received[i];
            e += c[i] != received[i] && !erased[i];
        }
        NIMBO_FUZZ_CHECK(result == changed);
        NIMBO_FUZZ_CHECK(2 * e + f <= rs::kParityBytes);
    }
    // A codeword needs no change, unless more places are erased than the parity can stand for
    // (the decoder refuses those whatever they hold).
    if (erasuresValid && f <= rs::kParityBytes && rs::isCodeword(received))
        NIMBO_FUZZ_CHECK(result == 0);
    // Within the code's reach the codeword sent comes back.
    int errors = 0, untailedErrors = 0;
    for (int i = 0; i < rs::kCodeLength; ++i) {
        errors += received[i] != original[i] && !erased[i];
        untailedErrors += received[i] != original[i] && !inTail(i);
    }
    if (valid && erasuresValid && 2 * errors + f <= rs::kParityBytes)
        NIMBO_FUZZ_CHECK(result >= 0 && c == original);

    // The repair, on the same bytes as a sent frame.
    std::array<uint8_t, sent::kFrameBytes> heard{};
    rs::sentFromCodeword(received, heard);
    std::copy(sync.begin(), sync.end(), heard.begin());
    const auto readReliability = [&](float& r) {
        if (flags & 16) {
            uint8_t raw[sizeof(float)] = {};
            in.take(raw, sizeof raw);
            std::memcpy(&r, raw, sizeof r);
        } else {
            r = in.byte() / 16.0f;
        }
    };
    std::array<float, sent::kFrameBytes> reliability;
    for (float& r : reliability)
        readReliability(r);
    // Bit confidences: the search on bits offers only codewords that keep the known bits.
    const bool withBits = flags & 64;
    std::array<float, sent::kFrameDataBits> bits{};
    if (withBits) {
        for (float& r : bits)
            readReliability(r);
        std::array<float, rs::OrderedStatistics::kBits> codewordBits{};
        for (int b = sent::kSyncBytes; b < sent::kFrameBytes; ++b)
            for (int j = 0; j < 8; ++j)
                codewordBits[8 * rs::codewordPosition(b) + j] = bits[8 * b + j];
        Word searched = received;
        int offered = 0;
        const bool found = rs::OrderedStatistics().decode(
            searched, codewordBits, [&](rs::ConstCodeword w) {
                if (offered++ < 4) NIMBO_FUZZ_CHECK(rs::isCodeword(w));
                for (int bit = 0; bit < rs::OrderedStatistics::kBits; ++bit) {
                    const float r = codewordBits[bit];
                    if (std::isinf(r) && r > 0.0f)
                        NIMBO_FUZZ_CHECK(((w[bit / 8] ^ received[bit / 8]) >> (bit % 8) & 1) == 0);
                }
                return valid && std::equal(w.begin(), w.end(), original.begin());
            });
        NIMBO_FUZZ_CHECK(searched == (found ? original : received));
    }
    // Second choices: each byte with one bit flipped, or none (the bytes as heard).
    std::array<uint8_t, sent::kFrameBytes> second = heard;
    if (flags & 32)
        for (uint8_t& b : second)
            b = static_cast<uint8_t>(b ^ (1u << (in.byte() & 7)));
    FrameRepair repair;
    const int calls = flags & 8 ? 2 : 1;
    for (int call = 0; call < calls; ++call) {
        Content content{};
        const std::span<const uint8_t, sent::kParityBytes> before(frame.data(),
                                                                  sent::kParityBytes);
        const int repaired =
            withBits ? repair.repair(before, heard, second, reliability, bits, call > 0, content)
                     : repair.repair(before, heard, second, reliability, call > 0, content);
        NIMBO_FUZZ_CHECK(std::equal(sent::kSync.begin(), sent::kSync.end(),
                                    content.begin() + rs::kContentSentStart));
        int differ = 0;
        for (int b = sent::kSyncBytes; b < rs::kContentSentBytes; ++b)
            differ += content[rs::kContentSentStart + b] != heard[b];
        if (repaired == rs::kFailed) {
            NIMBO_FUZZ_CHECK(differ == 0);
            if (call == 0)
                NIMBO_FUZZ_CHECK(std::equal(content.begin(), content.begin() + sent::kParityBytes,
                                            frame.begin()));
        } else {
            NIMBO_FUZZ_CHECK(crcsHold(content));
            NIMBO_FUZZ_CHECK(differ <= repaired && repaired <= sent::kFrameBytes);
            if (source >= 2) {
                // What the CRCs cover is as sent: a wrong correction would have to beat them.
                NIMBO_FUZZ_CHECK(sameBlocks(content, frame));
                // Within the code's reach every byte is as sent. Beyond it a correction may
                // land on another codeword that differs from the one sent only where no CRC
                // looks (the parity and the blocks' identifier and length bytes: 30 places,
                // more than the code's distance of 25); no check can tell, and damage shaped
                // like that does not come by chance.
                if (2 * untailedErrors <= rs::kParityBytes)
                    NIMBO_FUZZ_CHECK(std::equal(content.begin() + rs::kContentSentStart,
                                                content.end(),
                                                frame.begin() + rs::kContentSentStart));
            }
        }
        // Errors alone, up to 12 outside the known tail, are always put right.
        if (source >= 2 && call == 0 && 2 * untailedErrors <= rs::kParityBytes)
            NIMBO_FUZZ_CHECK(repaired >= 0);
    }
    return 0;
}
