// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/cal_conversion.h"

#include <algorithm>

namespace nimbo {
namespace {

constexpr int kTempSlot = 0;
constexpr int kHumdSlot = 1;
constexpr int kPressSlot = 5;
constexpr int kFirstTerm = 1; // row 0 is Y0, which no result uses
constexpr int kTempTerms = 5;

void fillGroup(CalGroupTexts& texts, const CalRows& rows,
               const std::array<double, CalibrationCollection::kCoefficients>& c) {
    for (int r = 0; r < kCalRows; ++r) {
        setLabel(texts.index[r], "%d", rows[r]);
        setLabel(texts.value[r], "%0.8f", c[rows[r]]);
    }
}

} // namespace

int clampSelection(int index) {
    return std::clamp(index, kCalIndexMin, kCalIndexMax);
}

CalSelections clampSelections(CalSelections s) {
    for (CalRows* rows : {&s.press, &s.temp, &s.humd})
        for (int& index : *rows)
            index = clampSelection(index);
    return s;
}

CalResults convertCalibration(const CalSelections& selections,
                              const std::array<double, CalibrationCollection::kCoefficients>& c,
                              const std::array<double, kSensorChannels>& normalised) {
    const CalSelections s = clampSelections(selections);
    const auto term = [&](const CalRows& rows, int k) { return c[rows[kFirstTerm + k]]; };

    const double x0 = normalised[kTempSlot];
    double temperature = 0.0;
    double power = 1.0;
    for (int k = 0; k < kTempTerms; ++k) {
        temperature += term(s.temp, k) * power;
        power *= x0;
    }
    return {term(s.press, 0) + term(s.press, 1) * normalised[kPressSlot], temperature,
            term(s.humd, 0) + term(s.humd, 1) * normalised[kHumdSlot]};
}

CalDisplayTexts calDisplayTexts(const CalSelections& selections, const CalibrationCollection& cal,
                                const std::array<double, kSensorChannels>& normalised) {
    const CalSelections s = clampSelections(selections);
    const auto& c = cal.calCoefficients();
    CalDisplayTexts t;
    fillGroup(t.pressure, s.press, c);
    fillGroup(t.temperature, s.temp, c);
    fillGroup(t.humidity, s.humd, c);
    if (cal.calComplete()) {
        const CalResults r = convertCalibration(s, c, normalised);
        setLabel(t.pressure.result, "%0.2f hpa", r.pressure);
        setLabel(t.temperature.result, "%0.2f DegC", r.temperature);
        setLabel(t.humidity.result, "%0.2f %%", r.humidity);
    } else {
        setLabel(t.pressure.result, "%s", kBlankPressure);
        setLabel(t.temperature.result, "%s", kBlankTemperature);
        setLabel(t.humidity.result, "%s", kBlankHumidity);
    }
    return t;
}

} // namespace nimbo
