#include "dsp/weak/frame_reader.h"

#include <algorithm>
#include <cmath>

namespace nimbo::weak {
namespace {

// A bit whose soft value is the typical size is taken to be wrong about e^-2 of the time.
constexpr float kBitTrust = 2.0f;

} // namespace

// Each of the ten bits may be wrong with a chance that falls exponentially with its soft
// value (the start and stop bits count their known value, so a wrong one weighs most); the
// byte's confidence is the inverse of their sum, so one doubtful bit or several middling ones
// make a byte doubtful.
void FrameReader::readByte(const SoftRing& ring, int polarity, int64_t start, uint8_t& byte,
                           float& reliability) {
    const float scale = kBitTrust / std::max(ring.level, 1e-9f);
    unsigned value = 0;
    float doubt = std::exp(scale * polarity * ring.at(start + 1)); // start bit: 0
    for (int i = 0; i < 8; ++i) {
        const float s = polarity * ring.at(start + 3 + 2 * i);
        if (s > 0.0f) value |= 1u << i;
        doubt += std::exp(-scale * std::abs(s));
    }
    doubt += std::exp(-scale * polarity * ring.at(start + 19)); // stop bit: 1
    byte = static_cast<uint8_t>(value);
    reliability = 1.0f / doubt;
}

bool FrameReader::deliver(const SoftRing& ring, int polarity, int64_t sync, int64_t nextSync,
                          bool follows, SentFrameListener& listener) {
    // Bytes in the first half placed from this frame's sync, the rest from the next one's,
    // so that a slip of the count within the frame stays in one half.
    const int64_t firstByte = sync - (kSyncByteCount * kSymbolsPerByte - 1);
    const int64_t nextFirstByte = nextSync - (kSyncByteCount * kSymbolsPerByte - 1);
    float unused = 0.0f;
    for (int j = 0; j < kLeadParityBytes; ++j)
        readByte(ring, polarity, firstByte - (kLeadParityBytes - j) * kSymbolsPerByte, before_[j],
                 unused);
    for (int b = 0; b < kSentBytes; ++b) {
        const int64_t start = b < kSentBytes / 2
                                  ? firstByte + b * kSymbolsPerByte
                                  : nextFirstByte - (kSentBytes - b) * kSymbolsPerByte;
        readByte(ring, polarity, start, bytes_[b], reliability_[b]);
    }
    return listener.sentFrame(before_, bytes_, reliability_, follows);
}

} // namespace nimbo::weak
