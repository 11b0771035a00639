// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nimbo_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/rs41_readout.h"
#include "rs41/track_logs.h"

namespace nimbo {
namespace {

constexpr double kFreqBaseMHz = 400.0;
constexpr double kFreqStepMHz = 0.01;
// The weak eye keeps whole traces as the scope cuts them.
static_assert(weak::Eye::kTicksPerTrace == Scope::kTicksPerTrace);

} // namespace

NimboCore::NimboCore(CoreHooks* hooks)
    : receiver_(this), weak_(this), hooks_(hooks ? hooks : &noHooks_) {
    rs41Chart_.fill(std::nan(""));
    setLabel(readout_.Label2, "%s", kBlankSerial);
    setLabel(readout_.Label50, "%s", kBlankFreq);
    setLabel(readout_.Label12, "%s", kBlankFrame);
    for (int i = 0; i < kSensorChannels; ++i)
        setLabel(readout_.channelLabels[i], "%s", kChannelPrefixes[i]);
}

// The weak-signal receiver learns its offset, level, clock and lock from the signal it
// hears: a new signal path or channel, or the receiver chosen anew, starts it afresh.
void NimboCore::applySettings(const ReceiverSettings& settings) {
    if (settings.Weak && (!settings_.Weak || settings.DemodType != settings_.DemodType ||
                          settings.InputCh != settings_.InputCh || settings.Iq != settings_.Iq)) {
        weak_.reset();
        weakEye_.reset();
    }
    if (settings.Iq && !settings_.Iq) iqDiscriminator_.reset();
    if (settings.Sonde != 0) {
        if (!rs41_)
            rs41_ = std::make_unique<Rs41Core>(static_cast<Rs41Core::Listener*>(this));
        else if (settings_.Sonde == 0 || settings.DemodType != settings_.DemodType ||
                 settings.InputCh != settings_.InputCh || settings.Iq != settings_.Iq)
            rs41_->reset();
    }
    const bool wasRs41 = rs41Shown();
    settings_ = settings;
    rs92Shown_ = false;
    if (rs41Shown() != wasRs41) {
        // The readout changes its labels' meaning, the chart its traces' and the scope its
        // receiver: all start blank. Scroll stays as it is.
        weakEye_.reset();
        BatchGuard batch(*this);
        displayReset();
    }
}

// With the RS41 chosen, an RS92 frame (an imported raw log) turns the readout to the RS92's
// labels, and the next RS41 frame back: the two never share the panel.
void NimboCore::showSonde(bool rs92) {
    if (settings_.Sonde != 1 || rs92Shown_ == rs92) return;
    rs92Shown_ = rs92;
    weakEye_.reset();
    BatchGuard batch(*this);
    displayReset();
}

void NimboCore::continueFrom(const Receiver& heard) {
    receiver_ = heard;
    receiver_.setListener(this);
}

void NimboCore::continueFrom(const WeakReceiver& heard) {
    weak_ = heard;
    weak_.setListener(this);
}

void NimboCore::ProcessWaveBuffer(const int16_t* interleaved) {
    if (settings_.Sonde != 0 && rs41_) rs41_->processBlock(interleaved, settings_);
    if (settings_.Sonde == 1) {
        // Only the RS41 is listened for.
    } else if (settings_.Weak) {
        weak_.processBlock(interleaved, settings_);
    } else if (settings_.Iq) {
        // The standard receiver hears I/Q through a discriminator, as FM Det on the left.
        iqDiscriminator_.process(interleaved, iqAudio_.data());
        receiver_.processBlock(iqAudio_.data(), ReceiverSettings{});
    } else {
        receiver_.processBlock(interleaved, settings_);
    }
    if (drawPictures_) {
        if (rs41Shown() && rs41_) {
            const WeakReceiver& rx = rs41_->receiver();
            const weak::Baseband& base = rx.baseband();
            weakEye_.process(base.re.data() + weak::kCarry, base.im.data() + weak::kCarry,
                             rx.eyeTicks().data());
            scope_.DrawScope(weakEye_.signal().data(), weakEye_.ticks().data());
        } else if (settings_.Weak) {
            const weak::Baseband& base = weak_.baseband();
            weakEye_.process(base.re.data() + weak::kCarry, base.im.data() + weak::kCarry,
                             weak_.eyeTicks().data());
            scope_.DrawScope(weakEye_.signal().data(), weakEye_.ticks().data());
        } else
            scope_.DrawScope(receiver_.demodSignal().data(), receiver_.symbolTicks().data());
    }
    statusDotEndOfBuffer();
    if (drawPictures_ && rs41Shown())
        graph_.endOfBuffer(scrollDown_, rs41Chart_.data(), rs41ChartOk_);
    else if (drawPictures_)
        graph_.endOfBuffer(scrollDown_, frame_.normalisedChannels.data(), frame_.sensorBlockOk);
    hooks_->endOfBuffer();
}

// An RS41 frame: logged when good and logging is on, then told on.
void NimboCore::rs41FrameDone(const rs41::Rs41Frame& frame) {
    if (logs_.on()) rs41::logFrame(logs_.folder(), frame, logs_);
    logs_.settle();
    showSonde(false);
    if (rs41Shown()) showRs41(frame);
    hooks_->rs41FrameDecoded(frame);
}

// The readout, status dot and chart for an RS41 frame. Only a frame whose correction held
// shows its fields (each from a block whose CRC holds); a failed one only lights the dot.
void NimboCore::showRs41(const rs41::Rs41Frame& frame) {
    readout_.indicatorCounter = 0;
    readout_.Label11Colour = frame.good ? clLime : frame.rsOk ? clYellow : clRed;
    rs41ChartOk_ = frame.rsOk && frame.hasPosition;
    if (!frame.rsOk) return;
    // A new sonde, the first one heard included: as with the RS92, the chart advances again.
    if (frame.hasStatus && rs41SerialText(frame) != readout_.Label2) displayReset();
    showRs41Frame(frame, readout_);
    if (rs41ChartOk_) {
        rs41Chart_[kRs41AltitudeLabel] = rs41ChartPosition(frame.position.heightM);
        graph_.sensorBlockGood();
    }
}

void NimboCore::decodeFrame(const uint8_t* cells) {
    receiver_.loadFrameBits(cells);
    decodeFrame();
}

// A sent frame from the weak-signal receiver: repaired where the parity allows, then
// decoded as the standard receiver's frames are.
// Tells the receiver whether any block of the frame holds: a frame that passes no check at
// all may mean the receiver follows the wrong place.
bool NimboCore::sentFrame(sent::ParityBytes before, sent::SentBytes bytes, sent::SentBytes second,
                          sent::Reliabilities reliability, sent::BitReliabilities bits,
                          bool follows) {
    std::array<uint8_t, kFrameBytes> content;
    uint8_t cells[kFrameBits];
    weakCorrected_ = repair_.repair(before, bytes, second, reliability, bits, follows, content);
    unpackFrameBytes(content.data(), cells);
    decodeFrame(cells);
    return frame_.sondeBlockOk || frame_.sensorBlockOk || frame_.gpsBlockOk;
}

void NimboCore::decodeFrame() {
    showSonde(true);
    const uint8_t* bits = receiver_.sync().frameBits().data();
    packFrameBytes(bits, frame_.frameBytes.data());
    frame_.rsCorrected = weakCorrected_;
    weakCorrected_ = -1;
    const uint8_t* bytes = frame_.frameBytes.data();
    frame_.sondeBlockOk = checkBlockCrc(bytes, frame::kSondeBlock.first, frame::kSondeBlock.last);
    frame_.sensorBlockOk =
        checkBlockCrc(bytes, frame::kSensorBlock.first, frame::kSensorBlock.last);
    frame_.gpsBlockOk = checkBlockCrc(bytes, frame::kGpsBlock.first, frame::kGpsBlock.last);
    frame_.txFreqSetThisFrame = false;

    if (frame_.sondeBlockOk) decodeSondeBlock();
    if (frame_.sensorBlockOk) decodeSensorBlock();
    statusDotFrame();

    if (frame_.sondeBlockOk && frame_.sensorBlockOk && frame_.gpsBlockOk && !batchMode_ &&
        hooks_->frameDisplayShowing()) {
        frameDisplayBytes_ = frame_.frameBytes;
        hooks_->frameDisplayRefresh();
    }
    if (logs_.on() && frame_.sondeBlockOk && frame_.sensorBlockOk) {
        logs_.logFrame(frame_);
        // Calibration files that could not be written get every logged frame's chance.
        if (calFilesPending_) writeCalibrationFiles();
        hooks_->logFrame();
    }
    logs_.settle();
    hooks_->frameDecoded();
}

void NimboCore::decodeSondeBlock() {
    const uint8_t* bits = receiver_.sync().frameBits().data();
    std::memcpy(frame_.serialNumber, frame_.frameBytes.data() + frame::kSerial,
                frame::kSerialLength);
    frame_.serialNumber[frame::kSerialLength] = '\0';

    LabelText serialText{};
    setLabel(serialText, "Serial Number : %s", frame_.serialNumber);
    if (serialText != readout_.Label2) {
        displayReset();
        readout_.Label2 = serialText;
    }

    frame_.frameNumber = readCellsLE(bits + 8 * frame::kFrameNumber, 16);
    setLabel(readout_.Label12, "Frame : %u", static_cast<unsigned>(frame_.frameNumber));

    frame_.calIndex = frame_.frameBytes[frame::kCalIndex];
    if (frame_.calIndex == 0) {
        const uint32_t code = readCellsLE(bits + 8 * frame::kFreqCode, 16);
        frame_.txFreqMHz = code * kFreqStepMHz + kFreqBaseMHz;
        frame_.txFreqSetThisFrame = true;
        setLabel(readout_.Label50, "TxFreq : %0.2f MHz", frame_.txFreqMHz);
    }
    if (!cal_.calComplete()) {
        const uint8_t* piece = frame_.frameBytes.data() + frame::kCalPiece;
        collectCalibrationPiece(frame_.calIndex, piece);
        hooks_->calibrationPiece(frame_.calIndex, piece);
    }
}

void NimboCore::decodeSensorBlock() {
    const uint8_t* bits = receiver_.sync().frameBits().data();
    auto& raw = frame_.sensorRaw;
    for (int i = 0; i < kSensorChannels; ++i) {
        raw[i] = static_cast<int32_t>(readCellsLE(bits + 8 * (frame::kSensors + 3 * i), 24));
        setLabel(readout_.channelLabels[i], "%s%d", kChannelPrefixes[i], raw[i]);
    }

    // The flag picks which humidity sensor is in use; the labels keep each sensor's
    // own reading, the bright colour marks the one in use, and slot 1 carries it on.
    if (frame_.sondeBlockOk)
        frame_.humidSwap = (frame_.frameBytes[frame::kFlags] >> frame::kHumidSwapBit) & 1u;
    readout_.Label4Colour = channelColours[frame_.humidSwap ? 2 : 1];
    readout_.Label5Colour = channelColours[frame_.humidSwap ? 1 : 2];
    if (frame_.humidSwap) raw[1] = raw[2];

    frame_.refLow = (raw[6] + raw[7]) * 0.5;
    frame_.refHigh = (raw[3] + raw[4]) * 0.5;
    for (int i = 0; i < kSensorChannels; ++i)
        frame_.normalisedChannels[i] = normaliseChannel(raw[i], frame_.refLow, frame_.refHigh);

    graph_.sensorBlockGood();
    hooks_->calibrationDisplayRefresh();
}

void NimboCore::statusDotFrame() {
    const int passed =
        int(frame_.sondeBlockOk) + int(frame_.sensorBlockOk) + int(frame_.gpsBlockOk);
    readout_.indicatorCounter = 0;
    readout_.Label11Colour = passed == 3 ? clLime : passed == 0 ? clRed : clYellow;
}

void NimboCore::statusDotEndOfBuffer() {
    // A frame lights the dot for the rest of its buffer and two more.
    if (readout_.indicatorCounter < 2)
        ++readout_.indicatorCounter;
    else if (readout_.Label11Colour != clBlack)
        readout_.Label11Colour = clBlack;
}

void NimboCore::collectCalibrationPiece(int index, const uint8_t* piece) {
    const bool completed = cal_.addPiece(index, piece);
    readout_.ProgressBar1 = cal_.progress();
    if (!completed) return;
    if (logs_.on()) writeCalibrationFiles();
    if (!batchMode_) {
        cal_.takeDisplayCopy();
        if (hooks_->frameDisplayShowing()) hooks_->frameDisplayRefresh();
    }
}

void NimboCore::writeCalibrationFiles() {
    calFilesPending_ = !logs_.writeCalibrationFiles(frame_.serialNumber, cal_);
}

void NimboCore::loggingSwitched(bool down) {
    logs_.setOn(down);
    if (!down) {
        logs_.dropFailure();
        calFilesPending_ = false;
    }
    if (down && cal_.allReceived()) {
        cal_.decodeCoefficients();
        writeCalibrationFiles();
        logs_.settle();
    }
}

void NimboCore::displayReset() {
    cal_.clear();
    calFilesPending_ = false;
    readout_.ProgressBar1 = 0;
    setLabel(readout_.Label2, "%s", kBlankSerial);
    setLabel(readout_.Label50, "%s", kBlankFreq);
    graph_.reset();
    frameDisplayBytes_.fill(0);
    frame_.humidSwap = false;
    if (!batchMode_) scrollDown_ = true; // a new sonde: the graph advances again
    for (int i = 0; i < kSensorChannels; ++i)
        setLabel(readout_.channelLabels[i], "%s", kChannelPrefixes[i]);
    setLabel(readout_.Label12, "%s", kBlankFrame);
    if (rs41Shown()) blankRs41Readout(readout_);
    rs41Chart_.fill(std::nan(""));
    rs41ChartOk_ = false;
    hooks_->displayResetHook();
}

void NimboCore::startUpReset() {
    BatchGuard batch(*this);
    displayReset();
}

void NimboCore::calReset() {
    BatchGuard batch(*this);
    displayReset();
}

void NimboCore::SpeedButton3Click(bool down) {
    scrollDown_ = down;
    graph_.SpeedButton3Click(down);
}

void NimboCore::replayStart() {
    scrollDown_ = false;
    graph_.replayStart();
}

void NimboCore::graphStep(bool armed) {
    if (!armed) graph_.disarm();
    if (drawPictures_) graph_.graphStep(frame_.normalisedChannels.data(), frame_.sensorBlockOk);
}

void NimboCore::refillFrameDisplay() {
    // Whatever the last replayed line held, good or not (or the last live frame when
    // nothing was read).
    packFrameBytes(receiver_.sync().frameBits().data(), frameDisplayBytes_.data());
    cal_.takeDisplayCopy();
}

void NimboCore::setRowTime(int position) {
    graph_.setRowTime(position);
}

void NimboCore::resizeGraph(int width, int height) {
    graph_.resize(width, height);
}

} // namespace nimbo
