// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration display's arithmetic: the coefficients picked by index turned into
// pressure, temperature and humidity, and every text that window shows.
#pragma once

#include <array>

#include "decode/calibration.h"
#include "decode/frame_layout.h"
#include "decode/readout.h"

namespace nimbo {

// Rows per quantity, top to bottom: Y0, then the five polynomial rows (P0..P4, T0..T4,
// H0..H4). Row r is stored under the settings key Press<r+1>, Temp<r+1>, Humd<r+1>.
inline constexpr int kCalRows = 6;
inline constexpr int kCalIndexMin = 0;
inline constexpr int kCalIndexMax = CalibrationCollection::kCoefficients - 1;

inline constexpr const char* kBlankPressure = "- hpa";
inline constexpr const char* kBlankTemperature = "- DegC";
inline constexpr const char* kBlankHumidity = "- %";

using CalRows = std::array<int, kCalRows>;

// The coefficient index chosen in each row of the three groups.
struct CalSelections {
    CalRows press{};
    CalRows temp{};
    CalRows humd{};
    bool operator==(const CalSelections&) const = default;
};

// An index from anywhere (the settings file included) brought into 0..65, the nearer end
// for one outside it.
int clampSelection(int index);
CalSelections clampSelections(CalSelections selections);

struct CalResults {
    double pressure;    // hPa: c(P0) + c(P1) x5
    double temperature; // degrees C: c(T0) + c(T1) x0 + ... + c(T4) x0^4
    double humidity;    // percent: c(H0) + c(H1) x1
};

// x0, x1 and x5 are slots 0, 1 and 5 of the normalised channels; slot 1 is the humidity
// sensor in use. Indices are clamped first.
CalResults convertCalibration(const CalSelections& selections,
                              const std::array<double, CalibrationCollection::kCoefficients>& c,
                              const std::array<double, kSensorChannels>& normalised);

// The texts of one group: each row's index and coefficient value ("%0.8f"), and the result
// on top of the group.
struct CalGroupTexts {
    std::array<LabelText, kCalRows> index{};
    std::array<LabelText, kCalRows> value{};
    LabelText result{};
};

struct CalDisplayTexts {
    CalGroupTexts pressure;    // Label2 "%0.2f hpa"
    CalGroupTexts temperature; // Label1 "%0.2f DegC"
    CalGroupTexts humidity;    // Label39 "%0.2f %"
};

// Everything the window shows. The results show only once the table is complete; until
// then the dash texts, and the values of the empty table's zero coefficients.
CalDisplayTexts calDisplayTexts(const CalSelections& selections, const CalibrationCollection& cal,
                                const std::array<double, kSensorChannels>& normalised);

} // namespace nimbo
