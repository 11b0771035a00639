// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-signal receiver: front end (FM Det, 12 kHz IF or I/Q), carrier acquisition and
// tracking, symbol timing, soft decisions (Manchester pairs for the RS92, NRZ bits for the
// RS41), frame sync on every known bit (its sign gives the polarity) and frames with byte
// reliabilities, stage by stage.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/front_end.h"
#include "dsp/signal.h"
#include "dsp/weak/carrier_loop.h"
#include "dsp/weak/carrier_search.h"
#include "dsp/weak/channel_filter.h"
#include "dsp/weak/fm_front_end.h"
#include "dsp/weak/frame_reader.h"
#include "dsp/weak/if_front_end.h"
#include "dsp/weak/manchester_pairs.h"
#include "dsp/weak/nrz_bits.h"
#include "dsp/weak/rs41_reader.h"
#include "dsp/weak/soft_ring.h"
#include "dsp/weak/symbol_timing.h"
#include "dsp/weak/sync_search.h"
#include "dsp/weak/weak_frame.h"

namespace nimbo {

class WeakReceiver {
  public:
    // An RS92 receiver (Manchester pairs), or an RS41 one (NRZ bits) with the second form.
    explicit WeakReceiver(SentFrameListener* listener = nullptr);
    explicit WeakReceiver(Rs41FrameListener* listener);
    void setListener(SentFrameListener* listener) { listener_ = listener; }
    void setListener(Rs41FrameListener* listener) { rs41Listener_ = listener; }
    bool rs41() const { return nrz_; }

    // One block of kBlockSamples interleaved stereo frames. DemodType, InputCh and Iq are
    // used; SymbolInv is not (the frame sync finds the polarity). A new signal path starts
    // the receiver afresh.
    void processBlock(const int16_t* interleaved, const ReceiverSettings& settings);
    void reset();

    bool locked() const { return sync_.locked(); }
    int polarity() const { return sync_.polarity(); }        // +1, or -1 for an inverted signal
    double symbolPeriod() const { return timing_.period(); } // samples per symbol
    // Where the receiver has the carrier, Hz from 0 (I/Q), from 12 kHz (IF) or as the mean
    // step of the FM Det audio.
    double carrierOffsetHz() const;

    // How long without a clear sync (or a frame passing its checks) before the receiver
    // searches again from scratch: a sonde that drifted, a receiver retuned, a lock on noise.
    static constexpr int kResearchSymbols = 3 * weak::kSymbolRate;
    // Carrier search ranges either side of the expected place.
    static constexpr double kIfSearchHz = 3000.0;
    static constexpr double kIqSearchHz = 10000.0;

    // The last block for the scope's eye: its baseband (the block's first sample at index
    // weak::kCarry) and 1 where a symbol ended.
    const weak::Baseband& baseband() const { return base_; }
    const std::array<uint8_t, kBlockSamples>& eyeTicks() const { return timing_.eyeTicks(); }

  private:
    enum class Path { FmDet, If, Iq };
    double deviation() const;
    void acquire(const float* re, const float* im);
    void searchAfresh();

    SentFrameListener* listener_ = nullptr;
    Rs41FrameListener* rs41Listener_ = nullptr;
    bool nrz_ = false; // RS41
    Path path_ = Path::FmDet;
    weak::FmFrontEnd fm_;
    weak::IfFrontEnd if_;
    weak::IqFrontEnd iq_;
    weak::CarrierSearch ifSearch_{kIfSearchHz};
    weak::CarrierSearch iqSearch_{kIqSearchHz};
    weak::ChannelFilter channel_;
    weak::Baseband base_;
    std::array<float, kBlockSamples> wideRe_{}, wideIm_{};
    weak::SymbolTiming timing_;
    weak::CarrierLoop carrier_;
    weak::ManchesterPairs pairs_;
    weak::NrzBits bits_;
    weak::SoftRing ring_;
    weak::SyncSearch sync_;
    weak::FrameReader reader_;
    weak::Rs41Reader rs41Reader_;
    int64_t lastTick_ = -1;
    int64_t searchSince_ = 0; // symbol index where the current search began
    bool searching_ = true;   // the carrier search is gathering (the receiver has no lock)
};

} // namespace nimbo
