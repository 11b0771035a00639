// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration display's conversion and texts, against values worked out by hand from
// a table whose coefficients are chosen here.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "decode/cal_conversion.h"

namespace nimbo {
namespace {

// Coefficients exact in single precision, at the default rows' indices.
const std::vector<std::pair<int, float>> kChosen = {
    {6, 7.5f},                                                             // every Y0
    {30, 1013.25f}, {31, -500.5f},                                         // P0, P1
    {25, -80.0f},   {26, 120.0f},  {27, -30.5f}, {28, 8.25f}, {29, -1.5f}, // T0..T4
    {12, 2.0f},     {13, 100.0f},                                          // H0, H1
    {65, 0.375f},
};

const CalSelections kDefaults = {
    {6, 30, 31, 32, 33, 38}, {6, 25, 26, 27, 28, 29}, {6, 12, 13, 14, 15, 16}};

// A collection that has received the pieces 0..pieces-1 of a table holding kChosen.
CalibrationCollection collection(int pieces = CalibrationCollection::kPieces) {
    std::array<uint8_t, CalibrationCollection::kTableBytes> table{};
    for (const auto& [n, value] : kChosen) {
        const uint32_t bits = std::bit_cast<uint32_t>(value);
        for (int b = 0; b < 4; ++b)
            table[65 + 5 * n + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
    CalibrationCollection cal;
    for (int i = 0; i < pieces; ++i)
        cal.addPiece(i, &table[16 * i]);
    return cal;
}

// Temp, Humd1 (the sensor in use), Humd2, RefH1, RefH2, Press, RefL1, RefL2.
std::array<double, kSensorChannels> channels(double x0, double x1, double x5) {
    return {x0, x1, 0.9, 1.0, 1.0, x5, 0.0, 0.0};
}

std::string text(const LabelText& t) {
    return t.data();
}

TEST(CalConversion, ResultsMatchHandWorkedValues) {
    const CalibrationCollection cal = collection();
    ASSERT_TRUE(cal.calComplete());
    CalSelections swapped = kDefaults; // P0 <- 120, P1 <- 2: roles follow the rows
    swapped.press[1] = 26;
    swapped.press[2] = 12;
    struct Case {
        CalSelections selections;
        double x0, x1, x5;
        const char *pressure, *temperature, *humidity;
    };
    const Case cases[] = {
        // x5 = 0 gives P0; x0 = 1 the sum of T0..T4; x1 = 0.5: 2 + 50.
        {kDefaults, 1.0, 0.5, 0.0, "1013.25 hpa", "16.25 DegC", "52.00 %"},
        // x0 = 0 gives T0; 1013.25 - 250.25; 2 + 25.
        {kDefaults, 0.0, 0.25, 0.5, "763.00 hpa", "-80.00 DegC", "27.00 %"},
        // Odd powers keep their sign: -80 - 120 - 30.5 - 8.25 - 1.5.
        {kDefaults, -1.0, 0.0, 1.0, "512.75 hpa", "-240.25 DegC", "2.00 %"},
        // -80 + 240 - 122 + 66 - 24; -80 + 60 - 7.625 + 1.03125 - 0.09375 = -26.6875.
        {kDefaults, 2.0, 1.0, 2.0, "12.25 hpa", "80.00 DegC", "102.00 %"},
        {kDefaults, 0.5, -0.5, 0.0, "1013.25 hpa", "-26.69 DegC", "-48.00 %"},
        {swapped, 0.0, 0.0, 0.25, "120.50 hpa", "-80.00 DegC", "2.00 %"},
    };
    for (const Case& c : cases) {
        const CalDisplayTexts t = calDisplayTexts(c.selections, cal, channels(c.x0, c.x1, c.x5));
        EXPECT_EQ(text(t.pressure.result), c.pressure) << c.x5;
        EXPECT_EQ(text(t.temperature.result), c.temperature) << c.x0;
        EXPECT_EQ(text(t.humidity.result), c.humidity) << c.x1;
    }
}

TEST(CalConversion, DashesUntilTheTableIsCompleteAndAfterAReset) {
    CalibrationCollection partial = collection(CalibrationCollection::kPieces - 1);
    CalibrationCollection reset = collection();
    reset.clear();
    for (const CalibrationCollection* cal : {&partial, &reset}) {
        const CalDisplayTexts t = calDisplayTexts(kDefaults, *cal, channels(1, 1, 1));
        EXPECT_EQ(text(t.pressure.result), "- hpa");
        EXPECT_EQ(text(t.temperature.result), "- DegC");
        EXPECT_EQ(text(t.humidity.result), "- %");
        EXPECT_EQ(text(t.pressure.value[1]), "0.00000000") << "the empty table's zero";
        EXPECT_EQ(text(t.pressure.index[1]), "30");
    }
}

TEST(CalConversion, OutOfRangeIndicesAreBroughtToTheNearerEndBeforeUse) {
    CalSelections wild = kDefaults;
    wild.press[1] = 66;  // P0 -> 65 (0.375)
    wild.temp[1] = -7;   // T0 -> 0 (0.0)
    wild.humd[2] = 9999; // H1 -> 65
    const CalDisplayTexts t = calDisplayTexts(wild, collection(), channels(0, 1, 0));
    EXPECT_EQ(text(t.pressure.index[1]), "65");
    EXPECT_EQ(text(t.pressure.value[1]), "0.37500000");
    EXPECT_EQ(text(t.pressure.result), "0.38 hpa");
    EXPECT_EQ(text(t.temperature.index[1]), "0");
    EXPECT_EQ(text(t.temperature.result), "0.00 DegC");
    EXPECT_EQ(text(t.humidity.result), "2.38 %"); // 2 + 0.375
}

} // namespace
} // namespace nimbo
