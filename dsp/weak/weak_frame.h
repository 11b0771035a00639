// The RS92 frame as the weak-signal receiver hands it on, and who it goes to.
#pragma once

#include <cstdint>
#include <span>

namespace nimbo {

inline constexpr int kSentBytes = 240; // sync 6, data 210, parity 24
inline constexpr int kLeadParityBytes = 24;
inline constexpr int kSyncByteCount = 6;
inline constexpr int kSymbolsPerByte = 20; // ten bits of two symbols

// Told once per sent frame, about one frame period after its sync bytes.
class SentFrameListener {
  public:
    // `before` holds the 24 bytes heard just before the frame's sync bytes (the parity of the
    // frame before); `bytes` the 240 bytes of the frame and `reliability` a positive
    // confidence per byte (about 0.1 for a guess, higher the surer). `follows` is true when
    // the previous call was about the frame just before this one. Returns whether the frame
    // passed its checks (repaired or not): frames that keep failing send the receiver back
    // to its search.
    virtual bool sentFrame(std::span<const uint8_t, kLeadParityBytes> before,
                           std::span<const uint8_t, kSentBytes> bytes,
                           std::span<const float, kSentBytes> reliability, bool follows) = 0;

  protected:
    ~SentFrameListener() = default;
};

} // namespace nimbo
