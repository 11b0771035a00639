#include "decode/frame_repair.h"

#include <algorithm>
#include <cmath>

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

} // namespace

bool FrameRepair::crcsHold(sent::ParityBytes parityBefore) {
    std::copy(parityBefore.begin(), parityBefore.end(), content_.begin());
    std::copy_n(sent_.begin(), rs::kContentSentBytes, content_.begin() + rs::kContentSentStart);
    const uint8_t* c = content_.data();
    return checkBlockCrc(c, frame::kSondeBlock.first, frame::kSondeBlock.last) &&
           checkBlockCrc(c, frame::kSensorBlock.first, frame::kSensorBlock.last) &&
           checkBlockCrc(c, frame::kGpsBlock.first, frame::kGpsBlock.last);
}

bool FrameRepair::tryDecode(int erasures) {
    work_ = codeword_;
    // order_ holds the unforced positions, least reliable first (sorted once per frame).
    const std::span<const int> positions(order_.data(), static_cast<std::size_t>(erasures));
    if (rs::decode(work_, positions) == rs::kFailed) return false;
    rs::sentFromCodeword(work_, sent_);
    return true;
}

int FrameRepair::repair(sent::ParityBytes before, sent::SentBytes received,
                        sent::Reliabilities reliability, bool follows, rs::Content content) {
    // lastParity_ changes only at the end.
    const sent::ParityBytes parityBefore =
        follows && haveLast_ ? sent::ParityBytes(lastParity_) : before;

    // The sync bytes and the constant tail are known: forced before decoding.
    std::copy(received.begin(), received.end(), sent_.begin());
    putConstantBytes(sent_);
    rs::codewordFromSent(sent_, codeword_);

    // Unforced codeword positions ordered by the reliability of their sent byte.
    int count = 0;
    std::array<float, rs::kCodeLength> rel;
    for (int b = sent::kSyncBytes; b < sent::kFrameBytes; ++b) {
        const int p = rs::codewordPosition(b);
        // A reliability that is not a number is no confidence at all (and would leave the
        // order below undefined).
        rel[p] = std::isnan(reliability[b]) ? 0.0f : reliability[b];
        if (!forcedPosition(p)) order_[count++] = p;
    }
    std::sort(order_.begin(), order_.begin() + count,
              [&](int a, int b) { return rel[a] < rel[b] || (rel[a] == rel[b] && a < b); });

    bool ok = tryDecode(0) && crcsHold(parityBefore);
    for (int step = 0; !ok && step < static_cast<int>(kErasureSteps.size()); ++step)
        ok = tryDecode(std::min(kErasureSteps[step], count)) && crcsHold(parityBefore);

    int changed = rs::kFailed;
    if (ok) {
        changed = 0;
        for (int b = 0; b < sent::kFrameBytes; ++b)
            changed += sent_[b] != received[b];
    } else {
        // The bytes as heard, but with the known ones in place: a frame whose CRCs hold
        // is logged, and its sync bytes must read as sent.
        std::copy(received.begin(), received.end(), sent_.begin());
        putConstantBytes(sent_);
        crcsHold(parityBefore); // only to fill content_
    }
    std::copy(content_.begin(), content_.end(), content.begin());
    std::copy_n(sent_.begin() + sent::kParityStart, sent::kParityBytes, lastParity_.begin());
    haveLast_ = true;
    return changed;
}

} // namespace nimbo
