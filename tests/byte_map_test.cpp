// SPDX-License-Identifier: GPL-3.0-or-later
// The data display's byte map: its lines at chosen pixels of each band and its texts at
// chosen cells, against positions and strings worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "pictures/byte_map.h"

namespace nimbo {
namespace {

struct Display {
    std::array<uint8_t, kFrameBytes> frame{};
    std::array<uint8_t, CalibrationCollection::kDisplayBytes> cal{};
    std::array<uint32_t, CalibrationCollection::kWords> words{};
    std::array<double, CalibrationCollection::kCoefficients> coeffs{};
    const char* serial = "";
    ByteMapState state() const { return {frame, cal, words, coeffs, serial}; }
};

// The texts listed at (x, y), joined with '|' if there are several.
std::string textAt(const ByteMap& map, int x, int y) {
    std::string out = "<none>";
    int found = 0;
    for (const ByteMap::Text& t : map.texts())
        if (t.x == x && t.y == y) out = (found++ ? out + "|" : "") + t.text;
    return out;
}

TEST(ByteMap, LinesLieWhereTheBandsAndCellsAre) {
    auto map = std::make_unique<ByteMap>();
    map->Redraw(Display{}.state());
    // {x, y, grey}: each band's outline with its open lower right corner (both lines end
    // there), title lines only over the blocks, separators only in their rows.
    const std::array<int, 3> probes[] = {
        {6, 10, 1},     {5066, 10, 1},  {5066, 65, 1},  {5066, 66, 0},  {5065, 66, 1},
        {5067, 30, 0},  {6, 9, 0},      {741, 24, 0},   {742, 24, 1},   {1547, 24, 0},
        {788, 23, 0},   {788, 30, 1},   {1846, 30, 1},  {4836, 30, 1},  {5020, 20, 0},
        {29, 37, 0},    {29, 60, 1},    {52, 100, 1},   {52, 140, 1},   {29, 100, 0},
        {29, 115, 1},   {29, 140, 0},   {2053, 140, 1}, {2076, 140, 1}, {2099, 140, 0},
        {5043, 94, 1},  {5043, 150, 0}, {5042, 150, 1}, {3916, 210, 1}, {3939, 210, 1},
        {4008, 180, 1}, {4008, 170, 0}, {4031, 220, 0}, {4030, 220, 1}, {4054, 180, 0},
        {52, 200, 1},   {52, 177, 0},   {52, 210, 0},   {121, 170, 1},  {144, 210, 1},
    };
    for (const auto& [x, y, grey] : probes)
        EXPECT_EQ(map->dataBitmap.pixel(x, y), grey ? clGray : clBlack) << x << ", " << y;

    // Lines only, all grey: the texts are the window's to print.
    int others = 0;
    for (int y = 0; y < ByteMap::kHeight; ++y)
        for (int x = 0; x < ByteMap::kWidth; ++x) {
            const Colour c = map->dataBitmap.pixel(x, y);
            others += c != clGray && c != clBlack;
        }
    EXPECT_EQ(others, 0);
}

TEST(ByteMap, TextsStandAtTheirCellsWithTheDecodedValues) {
    auto map = std::make_unique<ByteMap>();
    Display d;
    map->Redraw(d.state());
    // An empty table and no good frame yet.
    const std::pair<std::pair<int, int>, const char*> empty[] = {
        {{13, 54}, "00"},   {{59, 138}, "400.00"},           {{197, 138}, "0"},
        {{519, 138}, ""},   {{1505, 138}, "0.00000000"},     {{33, 208}, "0.00000000"},
        {{10, 180}, "219"}, {{10, 222}, "Calibration Data"},
    };
    for (const auto& [at, text] : empty)
        EXPECT_EQ(textAt(*map, at.first, at.second), text) << at.first << ", " << at.second;

    d.frame[0] = 0x2A;
    d.frame[100] = 0xab;
    d.frame[219] = 0xFF;
    d.cal.fill(0x01);
    std::fill(d.cal.begin() + 394, d.cal.end(), 0xEE); // never shown
    d.cal[218] = 0xC4;
    d.cal[393] = 0x07;
    d.words[0] = 1234;  // 412.34 MHz
    d.words[1] = 65535; // under the first "16bit?"
    d.words[18] = 42;   // under the last
    d.coeffs[0] = 1.5;
    d.coeffs[30] = -273.15;
    d.coeffs[31] = 0.000123456789;
    d.coeffs[65] = 3.4028234663852886e38; // the largest single-precision value
    d.serial = "N1234567";
    map->Redraw(d.state());

    // Upper-case hex, labels in both rows, decoded words, serial and coefficients in band 2,
    // band 3 numbered on from 219 with groups 31..65.
    const std::pair<std::pair<int, int>, const char*> cases[] = {
        {{13 + 23 * 100, 54}, "AB"},
        {{13 + 23 * 219, 54}, "FF"},
        {{746, 12}, "1st Block (Sonde Parameter)"},
        {{1574 + 69 * 7, 26}, "CH8"},
        {{2816 + 184 * 11, 26}, "Sat Data CH 12"},
        {{10, 68}, "1sec Data"},
        {{59, 138}, "412.34"},
        {{197, 138}, "65535"},
        {{519, 138}, "N1234567"},
        {{749 + 46 * 15, 138}, "42"},
        {{1485, 138}, "0A"},
        {{1505, 138}, "1.50000000"},
        {{1505 + 115 * 30, 138}, "-273.15000000"},
        {{13 + 23 * 218, 124}, "C4"},
        {{10 + 23 * 174, 180}, "393"},
        {{13 + 23 * 174, 194}, "07"},
        {{13, 208}, "29"},
        {{1505, 96}, "32bit Float 00"},
        {{1505 + 115 * 30, 96}, "32bit Float 30"},
        {{1482 + 115 * 30, 96}, "Fix"},
        {{33, 166}, "32bit Float 31"},
        {{33, 208}, "0.00012346"},
        {{13 + 115 * 34, 208}, "??"},
        {{33 + 115 * 34, 166}, "32bit Float 65"},
        {{33 + 115 * 34, 208}, "340282346638528859811704183484516925440.00000000"},
    };
    for (const auto& [at, text] : cases)
        EXPECT_EQ(textAt(*map, at.first, at.second), text) << at.first << ", " << at.second;

    // Calibration bytes 394..439 are never shown, nor numbered.
    for (const ByteMap::Text& t : map->texts()) {
        EXPECT_STRNE(t.text, "EE") << t.x << ", " << t.y;
        EXPECT_STRNE(t.text, "394") << t.x << ", " << t.y;
    }
}

} // namespace
} // namespace nimbo
