// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/weak/weak_receiver.h"

#include <algorithm>
#include <numbers>

namespace nimbo {

WeakReceiver::WeakReceiver(SentFrameListener* listener)
    : listener_(listener), sync_(weak::rs92Pattern()) {}

WeakReceiver::WeakReceiver(Rs41FrameListener* listener)
    : rs41Listener_(listener), nrz_(true), fm_(true), timing_(true), sync_(weak::rs41Pattern()) {}

void WeakReceiver::reset() {
    const Path path = path_;
    fm_.reset();
    if_.reset();
    iq_.reset();
    ifSearch_.reset();
    iqSearch_.reset();
    channel_.reset();
    base_ = weak::Baseband{};
    timing_.reset();
    carrier_.reset();
    pairs_.reset();
    bits_.reset();
    ring_ = weak::SoftRing{};
    sync_.reset();
    lastTick_ = -1;
    searchSince_ = 0;
    searching_ = true;
    path_ = path;
}

double WeakReceiver::deviation() const {
    const double mean = nrz_ ? weak::SymbolTiming::kNrzSymbolMean : weak::SymbolTiming::kSymbolMean;
    return std::max(timing_.symbolLevel() / (weak::kSamplesPerSymbol * mean), 0.05);
}

double WeakReceiver::carrierOffsetHz() const {
    const double radians = path_ == Path::FmDet ? fm_.offset() : channel_.offset();
    return radians * kSampleRate / (2.0 * std::numbers::pi);
}

// While unlocked, the coarse search watches the wide baseband; each estimate it makes puts
// the channel on it and starts the fine loop afresh.
void WeakReceiver::acquire(const float* re, const float* im) {
    weak::CarrierSearch& search = path_ == Path::Iq ? iqSearch_ : ifSearch_;
    if (sync_.locked()) {
        searching_ = false;
        return;
    }
    // What it gathered before the lock may be another carrier's: each search starts afresh.
    if (!searching_) search.reset();
    searching_ = true;
    search.process(re, im, kBlockSamples);
    if (!search.ready()) return;
    if (search.peakToMean() >= weak::CarrierSearch::kConfident) {
        channel_.tune(2.0 * std::numbers::pi * search.offsetHz() / kSampleRate);
        carrier_.reset();
    }
    search.take();
}

void WeakReceiver::searchAfresh() {
    sync_.unlock();
    ifSearch_.reset();
    iqSearch_.reset();
    carrier_.reset();
    searchSince_ = ring_.newest;
}

void WeakReceiver::processBlock(const int16_t* interleaved, const ReceiverSettings& settings) {
    const Path path = settings.Iq ? Path::Iq : settings.DemodType == 1 ? Path::If : Path::FmDet;
    if (path != path_) {
        path_ = path;
        reset();
    }
    const int16_t* channel = interleaved + Receiver::channelWord(settings.InputCh);
    switch (path_) {
    case Path::FmDet:
        fm_.process(channel, kInputChannels, deviation(), base_);
        break;
    case Path::If:
        if_.process(channel, kInputChannels, wideRe_.data(), wideIm_.data());
        acquire(wideRe_.data(), wideIm_.data());
        channel_.process(wideRe_.data(), wideIm_.data(), base_);
        break;
    case Path::Iq:
        iq_.process(interleaved, wideRe_.data(), wideIm_.data());
        acquire(wideRe_.data(), wideIm_.data());
        channel_.process(wideRe_.data(), wideIm_.data(), base_);
        break;
    }
    timing_.process(base_.freq.data(), sync_.locked());
    const int64_t blockStart = timing_.samplesDone() - kBlockSamples;
    for (const int64_t tick : timing_.ticks()) {
        const int last = static_cast<int>(tick - blockStart) + weak::kCarry;
        const int samples =
            lastTick_ < 0 ? weak::kSamplesPerSymbol : static_cast<int>(tick - lastTick_);
        lastTick_ = tick;
        const bool decided = nrz_ ? bits_.symbol(base_, last, samples, carrier_, ring_)
                                  : pairs_.symbol(base_, last, samples, carrier_, ring_);
        if (!decided || !sync_.step(ring_)) continue;
        if (nrz_ && rs41Listener_)
            sync_.frameChecked(rs41Reader_.deliver(ring_, sync_.polarity(), sync_.frameSync(),
                                                   sync_.nextSync(), *rs41Listener_));
        else if (!nrz_ && listener_)
            sync_.frameChecked(reader_.deliver(ring_, sync_.polarity(), sync_.frameSync(),
                                               sync_.nextSync(), sync_.follows(), *listener_));
    }
    // The fine loop's correction so far becomes the front end's.
    const double handed = carrier_.handOver();
    if (path_ == Path::FmDet)
        fm_.retune(handed);
    else
        channel_.retune(handed);
    base_.carryOver();
    if (ring_.newest - std::max(sync_.lastSeen(), searchSince_) > kResearchSymbols) searchAfresh();
}

} // namespace nimbo
