// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/frame_repair.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "decode/frame_layout.h"

namespace nimbo {
namespace {

// Codeword positions whose bytes are known before decoding: the constant tail.
bool forcedPosition(int position) {
    const int tailFirst = rs::codewordPosition(sent::kTailStart);
    return position >= tailFirst && position < tailFirst + sent::kTailBytes;
}

// The sync bytes and the constant tail, which every frame holds.
void putConstantBytes(std::span<uint8_t, sent::kFrameBytes> frame) {
    std::copy(sent::kSync.begin(), sent::kSync.end(), frame.begin());
    std::copy(headerPatternBytes.begin(), headerPatternBytes.end(),
              frame.begin() + sent::kTailStart);
}

// Marks an expected byte put in place of what was heard: it is not erased.
constexpr float kPut = -1.0f;
constexpr float kConfirmed = std::numeric_limits<float>::max();

} // namespace

bool FrameRepair::crcsHold(sent::ParityBytes parityBefore) {
    std::copy(parityBefore.begin(), parityBefore.end(), content_.begin());
    std::copy_n(sent_.begin(), rs::kContentSentBytes, content_.begin() + rs::kContentSentStart);
    const uint8_t* c = content_.data();
    return checkBlockCrc(c, frame::kSondeBlock.first, frame::kSondeBlock.last) &&
           checkBlockCrc(c, frame::kSensorBlock.first, frame::kSensorBlock.last) &&
           checkBlockCrc(c, frame::kGpsBlock.first, frame::kGpsBlock.last);
}

bool FrameRepair::tryDecode(int skip, int erasures) {
    work_ = codeword_;
    // order_ holds the erasable positions, least reliable first (sorted once per attempt).
    const std::span<const int> positions(order_.data() + skip, static_cast<std::size_t>(erasures));
    if (rs::decode(work_, positions) == rs::kFailed) return false;
    rs::sentFromCodeword(work_, sent_);
    return true;
}

// A group of expected bytes most of which were heard otherwise is not used: another sonde,
// or a frame count gone wrong, would only add errors.
bool FrameRepair::screenExpected(sent::SentBytes received) {
    std::array<int, FramePrediction::kGroups> expected{}, disagree{};
    for (int b = 0; b < sent::kFrameBytes; ++b) {
        if (expected_[b] == FramePrediction::kNone) continue;
        const int g = FramePrediction::group(b);
        ++expected[g];
        disagree[g] += expected_[b] != received[b];
    }
    bool any = false;
    for (int g = 0; g < FramePrediction::kGroups; ++g)
        any = any || (expected[g] > 0 && 2 * disagree[g] <= expected[g]);
    for (int b = 0; b < sent::kFrameBytes; ++b) {
        const int g = FramePrediction::group(b);
        if (2 * disagree[g] > expected[g]) expected_[b] = FramePrediction::kNone;
    }
    return any;
}

// Most of the errors left near the threshold are single wrong bits in bytes a little less
// sure than the rest; putting the likeliest other value in the least sure bytes
// (Chase) repairs frames that erasing them cannot, as erasures spend the parity twice as fast
// as needed for a byte whose error is known to within a bit. Every success still has to pass
// the three block CRCs.
bool FrameRepair::chase(int count) {
    const int bytes = std::min(kChaseBytes, count);
    unsigned flippable = 0;
    for (int i = 0; i < bytes; ++i)
        if (flip_[order_[i]] != 0) flippable |= 1u << i;
    if (flippable == 0) return false;
    const sent::ParityBytes anyParity(lastParity_);
    heard_ = codeword_;
    bool found = false;
    for (unsigned pattern = 1; pattern < (1u << bytes) && !found; ++pattern) {
        if ((pattern & ~flippable) != 0) continue; // the same as a pattern tried already
        codeword_ = heard_;
        for (int i = 0; i < bytes; ++i)
            if ((pattern >> i) & 1u) codeword_[order_[i]] ^= flip_[order_[i]];
        for (const int erasures : kChaseErasures) {
            if (tryDecode(bytes, std::min(erasures, count - bytes)) && crcsHold(anyParity)) {
                found = true;
                break;
            }
        }
    }
    codeword_ = heard_;
    return found;
}

bool FrameRepair::worthChase(sent::SentBytes received) {
    int wrong = 0;
    for (int b = sent::kTailStart; b < sent::kParityStart; ++b)
        wrong += received[b] != sent::constantByte(b);
    return wrong <= kChaseTailErrors;
}

bool FrameRepair::searchBits(const float* bits) {
    constexpr float kSure = std::numeric_limits<float>::infinity();
    for (int b = sent::kSyncBytes; b < sent::kFrameBytes; ++b) {
        const int p = rs::codewordPosition(b);
        const bool known = forcedPosition(p) || rel_[p] == kPut || rel_[p] == kConfirmed;
        for (int j = 0; j < sent::kDataBitsPerByte; ++j)
            bitRel_[8 * p + j] = known ? kSure : bits[sent::kDataBitsPerByte * b + j];
    }
    const sent::ParityBytes anyParity(lastParity_);
    return bitSearch_.decode(codeword_, bitRel_, [&](rs::ConstCodeword candidate) {
        rs::sentFromCodeword(candidate, sent_);
        return crcsHold(anyParity);
    });
}

bool FrameRepair::attempt(sent::SentBytes received, sent::SentBytes second,
                          sent::Reliabilities reliability, const float* bits, bool expect) {
    std::copy(received.begin(), received.end(), sent_.begin());
    putConstantBytes(sent_);
    for (int b = sent::kSyncBytes; b < sent::kFrameBytes; ++b) {
        const int p = rs::codewordPosition(b);
        flip_[p] = static_cast<uint8_t>(received[b] ^ second[b]);
        // A reliability that is not a number is no confidence at all (and would leave the
        // order below undefined).
        rel_[p] = std::isnan(reliability[b]) ? 0.0f : reliability[b];
        if (!expect || expected_[b] == FramePrediction::kNone) continue;
        // Heard as expected: as good as sure. Heard otherwise: the expected byte is likelier
        // than a doubtful one heard, and a wrong one costs no more than an error left in.
        if (sent_[b] == expected_[b]) {
            rel_[p] = kConfirmed;
        } else {
            sent_[b] = static_cast<uint8_t>(expected_[b]);
            rel_[p] = kPut;
            flip_[p] = 0;
        }
    }
    rs::codewordFromSent(sent_, codeword_);

    int count = 0;
    for (int p = 0; p < rs::kCodeLength; ++p)
        if (!forcedPosition(p) && rel_[p] != kPut) order_[count++] = p;
    std::sort(order_.begin(), order_.begin() + count,
              [&](int a, int b) { return rel_[a] < rel_[b] || (rel_[a] == rel_[b] && a < b); });
    // The parity before does not reach the CRC-protected blocks: any will do for the check.
    const sent::ParityBytes anyParity(lastParity_);
    if (tryDecode(0, 0) && crcsHold(anyParity)) return true;
    for (const int erasures : kErasureSteps)
        if (tryDecode(0, std::min(erasures, count)) && crcsHold(anyParity)) return true;
    if (!worthChase(received)) return false;
    return (bits && searchBits(bits)) || chase(count);
}

int FrameRepair::repair(sent::ParityBytes before, sent::SentBytes received, sent::SentBytes second,
                        sent::Reliabilities reliability, const float* bits, bool follows,
                        rs::Content content) {
    const bool previousFailed = follows && haveLast_ && lastFailed_;
    const int elapsed = follows && sinceLearned_ != FramePrediction::kUnknown
                            ? sinceLearned_ + 1
                            : FramePrediction::kUnknown;

    prediction_.predict(elapsed, expected_);
    const bool expect = screenExpected(received);
    bool ok = (expect && attempt(received, second, reliability, bits, true)) ||
              attempt(received, second, reliability, bits, false);

    int changed = rs::kFailed;
    if (ok) {
        changed = 0;
        for (int b = 0; b < sent::kFrameBytes; ++b)
            changed += sent_[b] != received[b];
        prediction_.learn(sent_);
        sinceLearned_ = 0;
    } else {
        // The bytes as heard, but with the known ones in place: a frame whose CRCs hold
        // is logged, and its sync bytes must read as sent.
        std::copy(received.begin(), received.end(), sent_.begin());
        putConstantBytes(sent_);
        sinceLearned_ = elapsed;
    }
    // The frame's bytes up to its parity; the parity before them goes in below.
    crcsHold(before);
    std::copy(content_.begin(), content_.end(), content.begin());
    std::array<uint8_t, sent::kParityBytes> parity;
    std::copy_n(sent_.begin() + sent::kParityStart, sent::kParityBytes, parity.begin());

    // The frame before failed, but what this one shows of the sonde may put it right now:
    // its parity is the start of this frame's content.
    if (previousFailed && ok) {
        prediction_.predict(-1, expected_);
        if (screenExpected(failed_) &&
            attempt(failed_, failedSecond_, failedReliability_,
                    failedHasBits_ ? failedBits_.data() : nullptr, true))
            std::copy_n(sent_.begin() + sent::kParityStart, sent::kParityBytes,
                        lastParity_.begin());
    }
    if (follows && haveLast_) std::copy(lastParity_.begin(), lastParity_.end(), content.begin());

    lastParity_ = parity;
    haveLast_ = true;
    lastFailed_ = !ok;
    if (!ok) {
        std::copy(received.begin(), received.end(), failed_.begin());
        std::copy(second.begin(), second.end(), failedSecond_.begin());
        std::copy(reliability.begin(), reliability.end(), failedReliability_.begin());
        failedHasBits_ = bits != nullptr;
        if (bits) std::copy_n(bits, sent::kFrameDataBits, failedBits_.begin());
    }
    return changed;
}

} // namespace nimbo
