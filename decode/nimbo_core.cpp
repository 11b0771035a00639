#include "decode/nimbo_core.h"

#include <algorithm>
#include <cstring>

namespace nimbo {
namespace {

constexpr double kFreqBaseMHz = 400.0;
constexpr double kFreqStepMHz = 0.01;

} // namespace

double normaliseChannel(double value, double refLow, double refHigh) {
    const double span = refHigh - refLow;
    // Coinciding references carry no scale; 0.0 keeps every reader finite.
    if (span == 0.0) return 0.0;
    return (value - refLow) / span;
}

NimboCore::NimboCore(CoreHooks* hooks) : receiver(this), hooks_(hooks ? hooks : &noHooks_) {
    setLabel(readout.Label2, "%s", kBlankSerial);
    setLabel(readout.Label50, "%s", kBlankFreq);
    setLabel(readout.Label12, "%s", kBlankFrame);
    for (int i = 0; i < frame::kChannels; ++i)
        setLabel(readout.channelLabels[i], "%s", kChannelPrefixes[i]);
}

void NimboCore::ProcessWaveBuffer(const int16_t* interleaved) {
    receiver.processBlock(interleaved, settings);
    if (drawPictures) scope.DrawScope(receiver.demodSignal.data(), receiver.symbolTicks.data());
    statusDotEndOfBuffer();
    if (drawPictures) graph.endOfBuffer(scrollDown, normalisedChannels.data(), sensorBlockOk);
    hooks_->endOfBuffer();
}

void NimboCore::decodeFrame() {
    packFrameBytes(receiver.sync.frameBits.data(), frameBytes.data());
    sondeBlockOk =
        checkBlockCrc(frameBytes.data(), frame::kSondeBlock.first, frame::kSondeBlock.last);
    sensorBlockOk =
        checkBlockCrc(frameBytes.data(), frame::kSensorBlock.first, frame::kSensorBlock.last);
    gpsBlockOk = checkBlockCrc(frameBytes.data(), frame::kGpsBlock.first, frame::kGpsBlock.last);
    txFreqSetThisFrame = false;

    if (sondeBlockOk) decodeSondeBlock();
    if (sensorBlockOk) decodeSensorBlock();
    statusDotFrame();

    if (sondeBlockOk && sensorBlockOk && gpsBlockOk && !batchMode &&
        hooks_->frameDisplayShowing()) {
        frameDisplayBytes = frameBytes;
        hooks_->frameDisplayRefresh();
    }
    if (loggingOn && sondeBlockOk && sensorBlockOk) {
        logFrame();
        hooks_->logFrame();
    }
    hooks_->frameDecoded();
}

void NimboCore::decodeSondeBlock() {
    const uint8_t* bits = receiver.sync.frameBits.data();
    std::memcpy(serialNumber, frameBytes.data() + frame::kSerial, frame::kSerialLength);
    serialNumber[frame::kSerialLength] = '\0';

    LabelText serialText{};
    setLabel(serialText, "Serial Number : %s", serialNumber);
    if (serialText != readout.Label2) {
        displayReset();
        readout.Label2 = serialText;
    }

    frameNumber = readCellsLE(bits + 8 * frame::kFrameNumber, 16);
    setLabel(readout.Label12, "Frame : %u", static_cast<unsigned>(frameNumber));

    calIndex = frameBytes[frame::kCalIndex];
    if (calIndex == 0) {
        const uint32_t code = readCellsLE(bits + 8 * frame::kFreqCode, 16);
        txFreqMHz = code * kFreqStepMHz + kFreqBaseMHz;
        txFreqSetThisFrame = true;
        setLabel(readout.Label50, "TxFreq : %0.2f MHz", txFreqMHz);
    }
    if (!calComplete) {
        collectCalibrationPiece(calIndex, frameBytes.data() + frame::kCalPiece);
        hooks_->calibrationPiece(calIndex, frameBytes.data() + frame::kCalPiece);
    }
}

void NimboCore::decodeSensorBlock() {
    const uint8_t* bits = receiver.sync.frameBits.data();
    for (int i = 0; i < frame::kChannels; ++i) {
        sensorRaw[i] = static_cast<int32_t>(readCellsLE(bits + 8 * (frame::kSensors + 3 * i), 24));
        setLabel(readout.channelLabels[i], "%s%d", kChannelPrefixes[i], sensorRaw[i]);
    }

    // The flag picks which humidity sensor is in use; the labels keep each sensor's
    // own reading, the bright colour marks the one in use, and slot 1 carries it on.
    if (sondeBlockOk) humidSwap = (frameBytes[frame::kFlags] >> frame::kHumidSwapBit) & 1u;
    readout.Label4Colour = channelColours[humidSwap ? 2 : 1];
    readout.Label5Colour = channelColours[humidSwap ? 1 : 2];
    if (humidSwap) sensorRaw[1] = sensorRaw[2];

    refLow = (sensorRaw[6] + sensorRaw[7]) * 0.5;
    refHigh = (sensorRaw[3] + sensorRaw[4]) * 0.5;
    for (int i = 0; i < frame::kChannels; ++i)
        normalisedChannels[i] = normaliseChannel(sensorRaw[i], refLow, refHigh);

    graph.sensorBlockGood();
    hooks_->calibrationDisplayRefresh();
}

void NimboCore::statusDotFrame() {
    const int passed = int(sondeBlockOk) + int(sensorBlockOk) + int(gpsBlockOk);
    readout.indicatorCounter = 0;
    readout.Label11Colour = passed == 3 ? clLime : passed == 0 ? clRed : clYellow;
}

void NimboCore::statusDotEndOfBuffer() {
    // A frame lights the dot for the rest of its buffer and two more.
    if (readout.indicatorCounter < 2)
        ++readout.indicatorCounter;
    else if (readout.Label11Colour != clBlack)
        readout.Label11Colour = clBlack;
}

void NimboCore::displayReset() {
    calReceived.fill(false);
    calTable.fill(0);
    calComplete = false;
    readout.ProgressBar1 = 0;
    setLabel(readout.Label2, "%s", kBlankSerial);
    setLabel(readout.Label50, "%s", kBlankFreq);
    graph.reset();
    calCoefficients.fill(0.0);
    frameDisplayBytes.fill(0);
    calDisplayBytes.fill(0);
    calWords.fill(0);
    humidSwap = false;
    if (!batchMode) scrollDown = true; // a new sonde: the graph advances again
    for (int i = 0; i < frame::kChannels; ++i)
        setLabel(readout.channelLabels[i], "%s", kChannelPrefixes[i]);
    setLabel(readout.Label12, "%s", kBlankFrame);
    hooks_->displayResetHook();
}

void NimboCore::calReset() {
    batchMode = true;
    displayReset();
    batchMode = false;
}

} // namespace nimbo
