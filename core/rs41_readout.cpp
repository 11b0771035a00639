// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/rs41_readout.h"

#include <algorithm>
#include <cmath>

namespace nimbo {

void blankRs41Readout(Readout& r) {
    setLabel(r.Label2, "%s", kBlankSerial);
    setLabel(r.Label50, "%s", kBlankFreq);
    setLabel(r.Label12, "%s", kBlankFrame);
    for (int i = 0; i < kSensorChannels; ++i)
        setLabel(r.channelLabels[i], "%s", kRs41Prefixes[i]);
}

LabelText rs41SerialText(const rs41::Rs41Frame& frame) {
    LabelText text{};
    setLabel(text, "Serial Number : %s", frame.serial.data());
    return text;
}

void showRs41Frame(const rs41::Rs41Frame& frame, Readout& r) {
    const auto& p = kRs41Prefixes;
    if (frame.hasStatus) {
        r.Label2 = rs41SerialText(frame);
        setLabel(r.Label12, "Frame : %u", static_cast<unsigned>(frame.frameNumber));
    }
    if (frame.hasFrequency) setLabel(r.Label50, "TxFreq : %0.3f MHz", frame.frequencyMHz);
    if (frame.hasPosition) {
        auto& c = r.channelLabels;
        setLabel(c[0], "%s%.0f m", p[0], frame.position.heightM);
        setLabel(c[1], "%s%.5f", p[1], frame.position.latitudeDeg);
        setLabel(c[2], "%s%.5f", p[2], frame.position.longitudeDeg);
        setLabel(c[3], "%s%.0f deg", p[3], frame.motion.headingDeg);
        setLabel(c[4], "%s%.1f m/s", p[4], frame.motion.horizontal);
        setLabel(c[5], "%s%.1f m/s", p[5], frame.motion.up);
        setLabel(c[6], "%s%d", p[6], frame.satellites);
    }
    // The time of day out of "2014-07-07T12:37:38Z".
    if (frame.hasTime) setLabel(r.channelLabels[7], "%s%.8s", p[7], frame.datetime.data() + 11);
}

double rs41ChartPosition(double heightM) {
    if (!std::isfinite(heightM)) return std::nan("");
    return std::clamp(heightM / kRs41ChartTopM, 0.0, 1.0);
}

} // namespace nimbo
