#include "decode/frame_repair.h"

#include <algorithm>
#include <cstring>

#include "decode/frame_layout.h"

namespace nimbo {
namespace {

// Codeword positions whose bytes are known before decoding: the constant tail.
bool forcedPosition(int position) {
    const int tailFirst = rs::codewordPosition(rs::kSentHeaderTail);
    return position >= tailFirst &&
           position < tailFirst + static_cast<int>(headerPatternBytes.size());
}

} // namespace

bool FrameRepair::crcsHold(const uint8_t* parityBefore) {
    std::memcpy(content_.data(), parityBefore, rs::kParityBytes);
    std::memcpy(content_.data() + rs::kContentSentStart, sent_.data(), rs::kContentSentBytes);
    const uint8_t* c = content_.data();
    return checkBlockCrc(c, frame::kSondeBlock.first, frame::kSondeBlock.last) &&
           checkBlockCrc(c, frame::kSensorBlock.first, frame::kSensorBlock.last) &&
           checkBlockCrc(c, frame::kGpsBlock.first, frame::kGpsBlock.last);
}

bool FrameRepair::tryDecode(int erasures) {
    work_ = codeword_;
    int positions[rs::kCodeLength];
    // order_ holds the unforced positions, least reliable first (sorted once per frame).
    int f = 0;
    for (; f < erasures; ++f)
        positions[f] = order_[f];
    if (rs::decode(work_.data(), std::span<const int>(positions, f)) == rs::kFailed) return false;
    rs::sentFromCodeword(work_.data(), sent_.data());
    return true;
}

int FrameRepair::repair(const uint8_t* before, const uint8_t* received, const float* reliability,
                        bool follows, uint8_t* content) {
    uint8_t parityBefore[rs::kParityBytes];
    std::memcpy(parityBefore, follows && haveLast_ ? lastParity_.data() : before, rs::kParityBytes);

    // The sync bytes and the constant tail are known: forced before decoding.
    std::memcpy(sent_.data(), received, rs::kSentFrameBytes);
    std::memcpy(sent_.data() + rs::kSentHeaderTail, headerPatternBytes.data(),
                headerPatternBytes.size());
    rs::codewordFromSent(sent_.data(), codeword_.data());

    // Unforced codeword positions ordered by the reliability of their sent byte.
    int count = 0;
    float rel[rs::kCodeLength];
    for (int b = rs::kSyncBytes; b < rs::kSentFrameBytes; ++b) {
        const int p = rs::codewordPosition(b);
        rel[p] = reliability[b];
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
        for (int b = 0; b < rs::kSentFrameBytes; ++b)
            changed += sent_[b] != received[b];
    } else {
        std::memcpy(sent_.data(), received, rs::kSentFrameBytes);
        crcsHold(parityBefore); // only to fill content_ with the bytes as heard
    }
    std::memcpy(content, content_.data(), kFrameBytes);
    std::memcpy(lastParity_.data(), sent_.data() + rs::kSentParity, rs::kParityBytes);
    haveLast_ = true;
    return changed;
}

} // namespace nimbo
