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
    int DemodType = 0;      // 0: FM discriminator audio ("FM Det"); other: 12 kHz IF
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

    explicit Receiver(FrameListener* listener = nullptr) : sync(listener) {}

    // Steps one block of kBlockSamples interleaved stereo frames (left word first)
    // through the chain. Frames completed on the way reach the listener at once.
    void processBlock(const int16_t* interleaved, const ReceiverSettings& settings);

    // Word index of the chosen channel within a stereo frame; stays inside the frame.
    static int channelWord(int inputCh) { return inputCh == 1 ? 1 : 0; }

    // Every filter, the clock and the frame sync back to their start state.
    void reset();

    static constexpr double carrierStep =
        samplePeriod * (2.0 * std::numbers::pi * kCarrierHz); // pi/2

    std::array<double, kBlockSamples> sampleBlock{};
    std::array<double, kBlockSamples> demodSignal{};  // read by the scope after the block
    std::array<uint8_t, kBlockSamples> symbolTicks{}; // 1 where the clock ticked
    double lastPhase = 0.0;
    double dcW1 = 0.0, dcW2 = 0.0; // DC-block delay elements

    SymbolClock clock;
    FrameSync sync;

  private:
    void demodulateIf();
    void blockDcAndClock();

    BlockFir bandPass_{bandPassTaps};
    BlockFir hilbert_{hilbertTaps};
    BlockFir lowPass_{lowPassTaps};            // shared by both paths
    std::array<double, kBlockSamples> work_{}; // IF path: Hilbert output, then frequency values
};

} // namespace nimbo
