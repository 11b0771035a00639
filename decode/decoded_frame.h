// SPDX-License-Identifier: GPL-3.0-or-later
// What the frames have said so far: the block checks of the latest frame and the values
// of the latest blocks that passed. A failed block leaves its values from earlier frames.
#pragma once

#include <array>
#include <cstdint>

#include "decode/frame_layout.h"

namespace nimbo {

struct DecodedFrame {
    bool sondeBlockOk = false;
    bool sensorBlockOk = false;
    bool gpsBlockOk = false;
    char serialNumber[frame::kSerialLength + 1] = {};
    uint32_t frameNumber = 0;
    uint8_t calIndex = 0;
    bool humidSwap = false; // the second humidity sensor is in use
    std::array<int32_t, kSensorChannels> sensorRaw{};
    double refLow = 0.0;
    double refHigh = 0.0;
    std::array<double, kSensorChannels> normalisedChannels{};
    double txFreqMHz = 0.0;
    bool txFreqSetThisFrame = false; // set by a good piece-0 block of the latest frame
    std::array<uint8_t, kFrameBytes> frameBytes{}; // the latest frame, whatever its checks
    // Weak-signal receiver: bytes the Reed-Solomon repair changed in the latest frame's sent
    // frame; -1 when it was not repaired (or the standard receiver is on).
    int rsCorrected = -1;
};

// (value - refLow) / (refHigh - refLow); 0.0 when the references coincide.
double normaliseChannel(double value, double refLow, double refHigh);

} // namespace nimbo
