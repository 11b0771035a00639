// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/byte_map.h"

#include <cstdarg>
#include <cstdio>

namespace nimbo {
namespace {

// Every band is a row of 23-pixel byte cells from x = 6; a byte's index is printed 4
// pixels into its cell and its value 7. Rows are 14 pixels high, texts 2 below a row's top.
constexpr int kLeft = 6;
constexpr int kCell = 23;
constexpr int kIndexInset = 4;
constexpr int kValueInset = 7;
constexpr int kTextDrop = 2;
constexpr int cellLeft(int i) {
    return kLeft + kCell * i;
}

// Band 1: the frame, bytes 0..219.
constexpr int kFrameRight = cellLeft(kFrameBytes); // 5066
constexpr int kFrameTop = 10, kFrameFields = 24, kFrameIndex = 38, kFrameValue = 52;
constexpr int kFrameBottom = 66;

// Band 2: calibration bytes 0..218, band 3: 219..393 numbered on from 219.
constexpr int kBand2Bytes = 219;
constexpr int kBand3Bytes = 175;
constexpr int kBand2Right = cellLeft(kBand2Bytes); // 5043
constexpr int kBand3Right = cellLeft(kBand3Bytes); // 4031
static_assert(kBand2Bytes + kBand3Bytes <= CalibrationCollection::kDisplayBytes);

// A coefficient group: one index byte and four value bytes.
constexpr int kGroupBytes = 5;
constexpr int kBand2Groups = 31;
constexpr int kBand3Groups = 35;
constexpr int kBand2FirstGroupByte = 64;
static_assert(kBand2Groups + kBand3Groups == CalibrationCollection::kCoefficients);
static_assert(kBand2FirstGroupByte + kGroupBytes * kBand2Groups == kBand2Bytes);
static_assert(kGroupBytes * kBand3Groups == kBand3Bytes);

// Printed under each group's index byte; the sonde's own names for its coefficients as far
// as they are known.
constexpr const char* kGroupLabels[CalibrationCollection::kCoefficients] = {
    "0A", "0B", "0C", "0D", "0E", "0F", "11", "14", "15", "16", "17", "1B", "3C", "3D",
    "3E", "3F", "46", "47", "48", "49", "50", "51", "52", "1E", "1F", "20", "21", "22",
    "23", "25", "28", "29", "2A", "2B", "2F", "6E", "6F", "70", "71", "72", "78", "79",
    "7A", "7B", "7C", "32", "33", "34", "35", "39", "82", "83", "84", "85", "86", "8C",
    "8D", "8E", "8F", "90", "97", "98", "99", "9A", "9D", "??"};

struct Label {
    int x;
    int y;
    const char* text;
};

// Band 1's field labels, block titles in the upper row, fields in the lower; the eight
// sensor channels and twelve satellite channels are added in a loop.
constexpr Label kFrameLabels[] = {
    {10, 26, "Reed Solomon Code"},
    {562, 26, "Fix Bit?"},
    {700, 26, "Flag"},
    {746, 12, "1st Block (Sonde Parameter)"},
    {746, 26, "Frame"},
    {792, 26, "Serial Number (ASCII)"},
    {1022, 26, "Humd Heat?"},
    {1091, 26, "Parameter Calibration Data"},
    {1482, 26, "CRC"},
    {1528, 26, "Flag"},
    {1574, 12, "2nd Block (Senser Value)"},
    {2126, 26, "CRC"},
    {2172, 26, "Flag"},
    {2218, 12, "3rd Block (GPS Data)"},
    {2218, 26, "GPS Time?"},
    {2287, 26, "????"},
    {2540, 26, "GPS Sat Carrier Freq/Phase?"},
    {5024, 26, "CRC"},
};
constexpr int kChannels = 8, kChannelWidth = 3 * kCell, kFirstChannelX = 1574;
constexpr int kSatellites = 12, kSatelliteWidth = 8 * kCell, kFirstSatelliteX = 2816;

// Band 1's separators: whole-height ones in the upper two rows, field ones in the lower.
constexpr int kBlockEdges[] = {558, 696, 742, 1524, 1570, 2168, 2214, kFrameRight};
constexpr int kFieldEdges[] = {788, 1018, 1087, 1478, 2283, 2536, 5020};
constexpr int kFirstChannelEdge = 1639, kFirstSatelliteEdge = 2812;
// The three blocks, each with the line under its title.
constexpr int kBlockSpans[][2] = {{742, 1524}, {1570, 2168}, {2214, kFrameRight}};

// Band 2's fields before the coefficient groups: left edge, label, and what is printed
// under them (a calWords entry, the frequency, the serial, or nothing).
enum class Decoded { None, Freq, Word, Serial };
struct Field {
    int firstByte;
    const char* label;
    Decoded decoded;
    int word;
};
constexpr Field kCalFields[] = {
    {0, "CRC?", Decoded::None, 0},           {2, "Freq", Decoded::Freq, 0},
    {4, "Timer Setting?", Decoded::None, 0}, {8, "16bit?", Decoded::Word, 1},
    {10, "16bit?", Decoded::Word, 2},        {12, "Fix Bit?", Decoded::None, 0},
    {20, "Type?", Decoded::None, 0},         {22, "Serial Number", Decoded::Serial, 0},
};
constexpr int kWordFieldsFirstByte = 32, kWordFields = 16, kFirstWordFieldWord = 3;
static_assert(kFirstWordFieldWord + kWordFields == CalibrationCollection::kWords);
// Texts sit 4 pixels into a field (labels) or 7 (decoded values), like index and value.
constexpr int kBand2Top = 94, kBand2Index = 108, kBand2Value = 122, kBand2Decoded = 136;
constexpr int kBand2Bottom = 150;
constexpr int kBand3Top = 164, kBand3Index = 178, kBand3Value = 192, kBand3Decoded = 206;
constexpr int kBand3Bottom = 220;

// The transmit frequency: 400 MHz plus the word in 10 kHz steps.
constexpr double kFreqBaseMHz = 400.0, kFreqStepMHz = 0.01;

} // namespace

// The description's "a line from (x0, y0) to (x1, y1)" is the pen's move-to and line-to:
// the start pixel is drawn and the end pixel is not, as the raster's lineTo does. So the
// left border "from y = 10 to 66" covers rows 10..65 and the bottom line at y = 66 fills
// in its corner, while the lower right corner of each band, where both lines end, stays
// black: (5066, 66), (5043, 150) and (4031, 220).
void ByteMap::line(int x0, int y0, int x1, int y1) {
    dataBitmap.moveTo(x0, y0);
    dataBitmap.lineTo(x1, y1);
}

void ByteMap::text(int x, int y, const char* format, ...) {
    if (count_ == kMaxTexts) return;
    Text& t = texts_[count_++];
    t.x = x;
    t.y = y;
    va_list args;
    va_start(args, format);
    std::vsnprintf(t.text, sizeof t.text, format, args);
    va_end(args);
}

void ByteMap::Redraw(const ByteMapState& state) {
    count_ = 0;
    dataBitmap.fill(kBackground);
    dataBitmap.setPen(kLineColour, PenStyle::Solid);
    drawFrameBand(state);
    drawCalibrationBand2(state);
    drawCalibrationBand3(state);
}

void ByteMap::drawFrameBand(const ByteMapState& state) {
    for (int y : {kFrameTop, kFrameIndex, kFrameValue, kFrameBottom})
        line(kLeft, y, kFrameRight, y);
    line(kLeft, kFrameTop, kLeft, kFrameBottom);
    for (const auto& span : kBlockSpans)
        line(span[0], kFrameFields, span[1], kFrameFields);

    for (int x : kBlockEdges)
        line(x, kFrameTop, x, kFrameIndex);
    for (int x : kFieldEdges)
        line(x, kFrameFields, x, kFrameIndex);
    for (int k = 0; k < kChannels; ++k)
        line(kFirstChannelEdge + kChannelWidth * k, kFrameFields,
             kFirstChannelEdge + kChannelWidth * k, kFrameIndex);
    for (int k = 0; k < kSatellites; ++k)
        line(kFirstSatelliteEdge + kSatelliteWidth * k, kFrameFields,
             kFirstSatelliteEdge + kSatelliteWidth * k, kFrameIndex);

    for (const Label& l : kFrameLabels)
        text(l.x, l.y, "%s", l.text);
    for (int k = 0; k < kChannels; ++k)
        text(kFirstChannelX + kChannelWidth * k, kFrameFields + kTextDrop, "CH%d", k + 1);
    for (int k = 0; k < kSatellites; ++k)
        text(kFirstSatelliteX + kSatelliteWidth * k, kFrameFields + kTextDrop, "Sat Data CH %02d",
             k + 1);

    for (int p = 1; p <= kFrameBytes; ++p)
        line(cellLeft(p), kFrameIndex, cellLeft(p), kFrameBottom);
    for (int i = 0; i < kFrameBytes; ++i) {
        text(cellLeft(i) + kIndexInset, kFrameIndex + kTextDrop, "%03d", i);
        text(cellLeft(i) + kValueInset, kFrameValue + kTextDrop, "%02X",
             state.frameDisplayBytes[i]);
    }
    text(kLeft + kIndexInset, kFrameBottom + kTextDrop, "1sec Data");
}

void ByteMap::drawCalibrationBand2(const ByteMapState& state) {
    for (int y : {kBand2Top, kBand2Index, kBand2Value, kBand2Decoded, kBand2Bottom})
        line(kLeft, y, kBand2Right, y);

    const int labelY = kBand2Top + kTextDrop, decodedY = kBand2Decoded + kTextDrop;
    const auto field = [&](int firstByte, const char* label) {
        const int x = cellLeft(firstByte);
        line(x, kBand2Top, x, kBand2Bottom);
        text(x + kIndexInset, labelY, "%s", label);
        return x + kValueInset;
    };
    for (const Field& f : kCalFields) {
        const int x = field(f.firstByte, f.label);
        switch (f.decoded) {
        case Decoded::None:
            break;
        case Decoded::Freq:
            text(x, decodedY, "%0.2f", state.calWords[f.word] * kFreqStepMHz + kFreqBaseMHz);
            break;
        case Decoded::Word:
            text(x, decodedY, "%u", state.calWords[f.word]);
            break;
        case Decoded::Serial:
            text(x, decodedY, "%.8s", state.serialNumber ? state.serialNumber : "");
            break;
        }
    }
    for (int m = 0; m < kWordFields; ++m) {
        const int x = field(kWordFieldsFirstByte + 2 * m, "16bit?");
        text(x, decodedY, "%u", state.calWords[kFirstWordFieldWord + m]);
    }

    for (int n = 0; n < kBand2Groups; ++n) {
        const int x = cellLeft(kBand2FirstGroupByte + kGroupBytes * n);
        line(x, kBand2Top, x, kBand2Bottom);
        line(x + kCell, kBand2Top, x + kCell, kBand2Bottom);
        text(x + kIndexInset, labelY, "Fix");
        text(x + kValueInset, decodedY, "%s", kGroupLabels[n]);
        text(x + kCell + kIndexInset, labelY, "32bit Float %02d", n);
        text(x + kCell + kIndexInset, decodedY, "%0.8f", state.calCoefficients[n]);
    }

    for (int p = 1; p <= kBand2Bytes; ++p)
        line(cellLeft(p), kBand2Index, cellLeft(p), kBand2Decoded);
    for (int i = 0; i < kBand2Bytes; ++i) {
        text(cellLeft(i) + kIndexInset, kBand2Index + kTextDrop, "%03d", i);
        text(cellLeft(i) + kValueInset, kBand2Value + kTextDrop, "%02X", state.calDisplayBytes[i]);
    }
    line(kBand2Right, kBand2Top, kBand2Right, kBand2Bottom);
}

void ByteMap::drawCalibrationBand3(const ByteMapState& state) {
    for (int y : {kBand3Top, kBand3Index, kBand3Value, kBand3Decoded, kBand3Bottom})
        line(kLeft, y, kBand3Right, y);

    for (int n = 0; n < kBand3Groups; ++n) {
        const int x = cellLeft(kGroupBytes * n);
        const int group = kBand2Groups + n;
        line(x, kBand3Top, x, kBand3Bottom);
        line(x + kCell, kBand3Top, x + kCell, kBand3Bottom);
        text(x + kIndexInset, kBand3Top + kTextDrop, "Fix");
        text(x + kValueInset, kBand3Decoded + kTextDrop, "%s", kGroupLabels[group]);
        text(x + kCell + kIndexInset, kBand3Top + kTextDrop, "32bit Float %02d", group);
        text(x + kCell + kIndexInset, kBand3Decoded + kTextDrop, "%0.8f",
             state.calCoefficients[group]);
    }

    // The cells go on numbering from band 2; bytes 394..439 are not shown.
    for (int p = 1; p < kBand3Bytes; ++p)
        line(cellLeft(p), kBand3Index, cellLeft(p), kBand3Decoded);
    for (int c = 0; c < kBand3Bytes; ++c) {
        const int byte = kBand2Bytes + c;
        text(cellLeft(c) + kIndexInset, kBand3Index + kTextDrop, "%03d", byte);
        text(cellLeft(c) + kValueInset, kBand3Value + kTextDrop, "%02X",
             state.calDisplayBytes[byte]);
    }
    line(kBand3Right, kBand3Top, kBand3Right, kBand3Bottom);
    text(kLeft + kIndexInset, kBand3Bottom + kTextDrop, "Calibration Data");
}

} // namespace nimbo
