// SPDX-License-Identifier: GPL-3.0-or-later
// The readout panel's texts for an RS41: serial, frequency and frame number where the RS92
// shows them, and the position and motion in the eight channel labels' places.
#pragma once

#include <array>

#include "decode/frame_layout.h"
#include "decode/readout.h"
#include "rs41/rs41_frame.h"

namespace nimbo {

// Label3..Label10 with an RS41: the place, the motion, the satellites and the time; altitude
// first, so that it has the colour of the chart's one trace (the first channel's).
inline constexpr std::array<const char*, kSensorChannels> kRs41Prefixes = {
    "Alt   : ", "Lat   : ", "Lon   : ", "Head  : ", "Speed : ", "Climb : ", "Sats  : ", "UTC   : "};
inline constexpr int kRs41AltitudeLabel = 0;
// The chart's altitude scale: 0 m at the left edge, this at the right.
inline constexpr double kRs41ChartTopM = 35000.0;

// The labels as a display reset leaves them with an RS41.
void blankRs41Readout(Readout& r);
// Takes what `frame` brought into the labels; fields its blocks did not bring stay as they
// were. Label2 is "Serial Number : K1930293" as for the RS92, Label50 "TxFreq : 405.300 MHz"
// (the RS41's steps are finer than 10 kHz).
void showRs41Frame(const rs41::Rs41Frame& frame, Readout& r);
// The serial's label text, to tell a new sonde from the one shown.
LabelText rs41SerialText(const rs41::Rs41Frame& frame);
// The altitude as the chart places it: 0..1 across, NaN when there is none to draw.
double rs41ChartPosition(double heightM);

} // namespace nimbo
