// SPDX-License-Identifier: GPL-3.0-or-later
// What the readout panel shows: label texts and colours, kept as fixed-size text.
#pragma once

#include <array>
#include <cstring>

#include "decode/frame_layout.h"
#include "raster/colour.h"

namespace nimbo {

using LabelText = std::array<char, 64>;

// printf-style into a label; text that does not fit is cut short.
void setLabel(LabelText& label, const char* format, ...) __attribute__((format(printf, 2, 3)));
inline bool labelIs(const LabelText& label, const char* text) {
    return std::strcmp(label.data(), text) == 0;
}

inline constexpr const char* kBlankSerial = "Serial Number : --------";
inline constexpr const char* kBlankFreq = "TxFreq : ---.-- MHz";
inline constexpr const char* kBlankFrame = "Frame : ";
// Temp, Humd1, Humd2, RefH1, RefH2, Press, RefL1, RefL2: labels and graph traces.
inline constexpr std::array<Colour, kSensorChannels> channelColours = {
    clRed, clAqua, clTeal, clPurple, clMaroon, clLime, clGray, clGreen};

// Label3..Label10, in channel order.
inline constexpr std::array<const char*, kSensorChannels> kChannelPrefixes = {
    "Temp  : ", "Humd1 : ", "Humd2 : ", "RefH1 : ", "RefH2 : ", "Press : ", "RefL1 : ", "RefL2 : "};

struct Readout {
    LabelText Label2{};                                     // serial number
    LabelText Label12{};                                    // frame number
    LabelText Label50{};                                    // transmit frequency
    std::array<LabelText, kSensorChannels> channelLabels{}; // Label3..Label10
    Colour Label4Colour = channelColours[1];
    Colour Label5Colour = channelColours[2];
    Colour Label11Colour = clGreen; // the status dot, as laid out
    int indicatorCounter = 10;      // buffers since the last decoded frame
    int ProgressBar1 = 0;           // calibration collection, 0..100
};

} // namespace nimbo
