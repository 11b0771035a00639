// The weak-signal receiver: frequency signal, symbol timing, soft Manchester bits, frame
// sync on every known bit (its sign gives the polarity) and sent frames with byte reliabilities.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "dsp/front_end.h"
#include "dsp/sent_frame.h"
#include "dsp/signal.h"

namespace nimbo {

inline constexpr int kSentBytes = 240; // sync 6, data 210, parity 24
inline constexpr int kLeadParityBytes = 24;

// Told once per sent frame, about one frame period after its sync bytes.
class SentFrameListener {
  public:
    // `before` holds the 24 bytes heard just before the frame's sync bytes (the parity of the
    // frame before); `bytes` the 240 bytes of the frame and `reliability` a positive
    // confidence per byte (about 0.1 for a guess, higher the surer). `follows` is true when the
    // previous call was about the frame just before this one.
    virtual void sentFrame(sent::ParityBytes before, sent::SentBytes bytes,
                           std::span<const float, sent::kFrameBytes> reliability, bool follows) = 0;

  protected:
    ~SentFrameListener() = default;
};

class WeakReceiver {
  public:
    static constexpr int kSymbolsPerByte = 20;
    static constexpr int kFrameSymbols = kSentBytes * kSymbolsPerByte; // 4800
    static constexpr int kRingSymbols = 8192;                          // > a frame and a bit
    static constexpr int kLockWindow = 4;                              // symbols either side
    static constexpr int kMaxMisses = 3; // frames without a seen sync before lock is dropped

    explicit WeakReceiver(SentFrameListener* listener = nullptr) : listener_(listener) {}
    void setListener(SentFrameListener* listener) { listener_ = listener; }

    // One block of kBlockSamples interleaved stereo frames; DemodType and InputCh are used,
    // SymbolInv is not (the frame sync finds the polarity).
    void processBlock(const int16_t* interleaved, const ReceiverSettings& settings);
    void reset();

    bool locked() const { return locked_; }
    int polarity() const { return polarity_; }      // +1, or -1 for an inverted signal
    double symbolPeriod() const { return period_; } // samples per symbol, as tracked

    // The last block for the scope: the symbol-averaged frequency, scaled so that a
    // symbol's centre sits about kEyeLevel from zero whatever the audio level, and 1 where a
    // symbol ended.
    static constexpr double kEyeLevel = 2000.0;
    const std::array<double, kBlockSamples>& eyeSignal() const { return eye_; }
    const std::array<uint8_t, kBlockSamples>& eyeTicks() const { return eyeTicks_; }

  private:
    double deviation() const; // FM Det: full deviation in audio units / kDiscriminatorScale
    void rotate(double radians);
    void rotate(double c, double s);
    void step(double f, double zr, double zi);
    void symbol(int64_t last);
    double syncMetric(int64_t end, int part) const; // signed, -1..1
    void searchSync();
    void trackSync();
    void deliver(int64_t sync, int64_t nextSync, bool follows);
    double pairAt(int64_t k) const {
        return pairs_[static_cast<std::size_t>(k) & (kRingSymbols - 1)];
    }
    void readByte(int64_t start, uint8_t& byte, float& reliability) const;

    SentFrameListener* listener_;

    // IF path: mixer phase (quarter turns), the low-pass delay line and the last output.
    // After the mixer each sample is real or imaginary by turns, so one line holds both
    // parts; it is kept twice over so that the taps always read one unbroken stretch.
    static constexpr int kIfTaps = 15;
    int mixPhase_ = 0;
    std::array<double, 2 * kIfTaps> ifLine_{};
    int ifPos_ = 0;
    // IF: the oscillator's turn per sample changes once a symbol at most; its cosine and
    // sine are worked out only when it does.
    double turnAngle_ = 0.0, turnCos_ = 1.0, turnSin_ = 0.0;
    double lastRe_ = 0.0, lastIm_ = 0.0;
    double meanRe_ = 0.0, meanIm_ = 0.0; // mean of z[n] conj(z[n-1]) (FM Det: of e^{j step})
    double offsetStep_ = 0.0;            // its angle: the carrier offset per sample

    // Frequency signal: offset estimate, level, symbol boxcar and its recent history.
    double dc_ = 0.0;
    double level_ = 0.0;
    static constexpr int kHistory = 32;
    std::array<double, 10> box_{};
    int boxPos_ = 0;
    double boxSum_ = 0.0;
    std::array<double, kHistory> yHist_{};
    // The baseband twice over, like the IF delay line, for the symbol correlations.
    std::array<float, 2 * kHistory> zReHist_{}, zImHist_{};
    double ncoRe_ = 1.0, ncoIm_ = 0.0; // FM Det: rebuilt carrier; IF: offset oscillator
    double fineStep_ = 0.0;            // radians per sample the carrier still turns
    std::complex<float> turn_{};       // mean turn of the carrier from pair to pair
    int64_t sampleIndex_ = 0;

    // Symbol timing: the next tick in samples and the tracked period.
    double nextTick_ = 10.0;
    double period_ = 10.0;
    double lastY_ = 0.0;
    // The mean size of a symbol's averaged frequency per unit of deviation, for Gaussian-
    // filtered (BT 0.5) Manchester symbols: measured 0.67..0.69 from a clean signal down to
    // 9 dB; 0.67 decoded best at 10 dB.
    static constexpr double kSymbolMean = 0.67;
    // Mean size of the symbol-averaged frequency at the ticks (summed over a symbol); it
    // starts at the standard level's and gives the deviation that rebuilds the FM Det phase.
    double symbolLevel_ = 10.0 * kSymbolMean;

    // Per symbol: correlation with the falling and rising half-turn paths; per pair: the
    // carrier (c1 + c0) and the bit metric (c1 - c0).
    static constexpr int kSymbolRing = 128;
    static constexpr int kReferencePairs = 8; // pairs either side in the carrier reference
    static constexpr int kReferenceDelay = 2 * kReferencePairs; // symbols: newest to decided
    std::array<std::complex<float>, kSymbolRing> down_{}, up_{}, carrier_{}, metric_{};
    // FM Det: clipped steps (clicks) in the symbol being gathered and per symbol, for the
    // weights of the carrier reference.
    int clipsNow_ = 0;
    std::array<uint8_t, kSymbolRing> clips_{};
    int64_t pairIndex_ = -1;
    float pairLevel_ = 0.0f; // mean size of the pair values, for their limit

    // Soft bits: the decision value of the symbol pair ending at each symbol (positive for a
    // 1 when the polarity is +1), limited; the frame sync and the byte reader use them.
    std::array<float, kRingSymbols> pairs_{};
    std::array<uint64_t, 2> signs_{}; // their signs per parity of the symbol, newest in bit 0
    int64_t symbolIndex_ = -1;

    // Frame sync.
    bool locked_ = false;
    int polarity_ = 1;
    int64_t syncAt_ = 0;     // symbol index of the last bit of the last sync byte
    int64_t candidate_ = -1; // search: best position so far and its metric
    double candidateMetric_ = 0.0;
    int64_t bestInWindow_ = -1; // tracking: best position in the window
    double bestWindowMetric_ = 0.0;
    int misses_ = 0;
    bool delivered_ = false; // the previous frame was delivered (for `follows`)

    std::array<uint8_t, kLeadParityBytes> before_{};
    std::array<uint8_t, kSentBytes> bytes_{};
    std::array<float, kSentBytes> reliability_{};

    std::array<double, kBlockSamples> eye_{};
    std::array<uint8_t, kBlockSamples> eyeTicks_{};
    int blockSample_ = 0; // index in the block of the sample being stepped
    double eyeScale_ = kEyeLevel / (10.0 * kSymbolMean); // kEyeLevel / symbolLevel_
};

} // namespace nimbo
