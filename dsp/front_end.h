// SPDX-License-Identifier: GPL-3.0-or-later
// Receiver front end: one 0.1 s block of stereo PCM to the DC-blocked baseband signal,
// driving the symbol clock and symbol decisions sample by sample.
#pragma once

#include <array>
#include <cstdint>
#include <numbers>

#include "dsp/block_fir.h"
#include "dsp/frame_sync.h"
#include "dsp/symbol_clock.h"

namespace nimbo {

// The signal settings, read at the start of every block.
struct ReceiverSettings {
    int DemodType = 0;      // 1: 12 kHz IF; any other: FM discriminator audio ("FM Det")
    int InputCh = 0;        // 1: right channel; 0 and any other value: left
    bool SymbolInv = false; // negate the FM Det path output
    bool Weak = false;      // the weak-signal receiver (dsp/weak) instead of this chain
    // The block is complex baseband at 48 kHz, left = I, right = Q (an SDR's output or a
    // sound-card SDR): DemodType, InputCh and SymbolInv are then not used.
    bool Iq = false;
    // The sonde listened for: 0 the RS92 (the receiver chosen above), 1 the RS41 (the
    // weak-signal receiver with NRZ decisions), 2 both at once.
    int Sonde = 0;
};

class Receiver {
  public:
    static constexpr double kDiscriminatorScale = 8000.0;
    static constexpr double kCarrierHz = 12000.0; // the IF

    explicit Receiver(FrameListener* listener = nullptr) : sync_(listener) {}
    // Where completed frames go; a copy of another receiver tells that one's listener
    // until this is called.
    void setListener(FrameListener* listener) { sync_.setListener(listener); }

    // Steps one block of kBlockSamples interleaved stereo frames (left word first)
    // through the chain. Frames completed on the way reach the listener at once.
    void processBlock(const int16_t* interleaved, const ReceiverSettings& settings);
    // A frame handed over from elsewhere (a replayed log line): 1760 cells of 0/1 into
    // the frame sync's frameBits.
    void loadFrameBits(const uint8_t* cells) { sync_.loadFrameBits(cells); }

    // Word index of the chosen channel within a stereo frame; stays inside the frame.
    static int channelWord(int inputCh) { return inputCh == 1 ? 1 : 0; }

    // Every filter, the clock and the frame sync back to their start state.
    void reset();

    static constexpr double carrierStep =
        samplePeriod * (2.0 * std::numbers::pi * kCarrierHz); // pi/2

    // The last block on its way through: the chosen channel's samples (IF path: band-passed,
    // then their phases), the conditioned signal the scope draws, and 1 where the clock ticked.
    const std::array<double, kBlockSamples>& sampleBlock() const { return sampleBlock_; }
    const std::array<double, kBlockSamples>& demodSignal() const { return demodSignal_; }
    const std::array<uint8_t, kBlockSamples>& symbolTicks() const { return symbolTicks_; }
    double lastPhase() const { return lastPhase_; } // radians, the IF path's last sample
    double dcW1() const { return dcW1_; }           // DC-block delay elements
    double dcW2() const { return dcW2_; }
    const SymbolClock& clock() const { return clock_; }
    const FrameSync& sync() const { return sync_; }

  private:
    void demodulateIf();
    void blockDcAndClock();

    std::array<double, kBlockSamples> sampleBlock_{};
    std::array<double, kBlockSamples> demodSignal_{};
    std::array<uint8_t, kBlockSamples> symbolTicks_{};
    double lastPhase_ = 0.0;
    double dcW1_ = 0.0, dcW2_ = 0.0;
    SymbolClock clock_;
    FrameSync sync_;

    BlockFir bandPass_{bandPassTaps};
    BlockFir hilbert_{hilbertTaps};
    BlockFir lowPass_{lowPassTaps};            // shared by both paths
    std::array<double, kBlockSamples> work_{}; // IF path: Hilbert output, then frequency values
};

} // namespace nimbo
