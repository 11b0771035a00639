// SPDX-License-Identifier: GPL-3.0-or-later
// Block CRCs, frame fields and what decodeFrame does to the readout and the hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/nimbo_core.h"
#include "decode/crc16.h"
#include "decode/frame_layout.h"
#include "raster/colour.h"
#include "tests/scratch_dir.h"
#include "tests/test_frame.h"

namespace nimbo {
namespace {

TEST(Crc16, KnownValues) {
    struct Case {
        std::string data;
        uint16_t crc;
    };
    for (const Case& c : {Case{"123456789", 0x29B1}, Case{"", 0xFFFF}, Case{"A", 0xB915},
                          Case{std::string(1, '\0'), 0xE1F0}}) {
        EXPECT_EQ(crc16CcittFalse(reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size()),
                  c.crc)
            << c.data;
    }
}

TEST(FrameLayout, ReadCellsLittleEndian) {
    struct Case {
        std::vector<uint8_t> cells;
        uint32_t value;
    };
    const Case cases[] = {
        {{1, 0, 0, 0, 0, 0, 0, 0}, 0x01},
        {{0, 0, 0, 0, 0, 0, 0, 1}, 0x80},
        {{0, 1, 1, 0, 1, 0, 1, 1}, 0xD6},
        // 0x1234: low byte 0x34 first, each byte least significant bit first.
        {{0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}, 0x1234},
        {std::vector<uint8_t>(24, 1), 0xFFFFFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readCellsLE(c.cells.data(), static_cast<int>(c.cells.size())), c.value);
}

TEST(FrameLayout, CheckBlockCrcReadsTheStoredValueLowByteFirst) {
    // Data in bytes 1..9; the byte before the block is not covered.
    Bytes b = {0xAA, '1', '2', '3', '4', '5', '6', '7', '8', '9', 0xB1, 0x29};
    EXPECT_TRUE(checkBlockCrc(b.data(), 1, 9));
    b[0] = 0x55;
    EXPECT_TRUE(checkBlockCrc(b.data(), 1, 9));
    Bytes bigEndian = b;
    std::swap(bigEndian[10], bigEndian[11]);
    EXPECT_FALSE(checkBlockCrc(bigEndian.data(), 1, 9));
    Bytes flipped = b;
    flipped[5] ^= 0x10;
    EXPECT_FALSE(checkBlockCrc(flipped.data(), 1, 9));
    Bytes crcBit = b;
    crcBit[11] ^= 0x80;
    EXPECT_FALSE(checkBlockCrc(crcBit.data(), 1, 9));
}

TEST(Colours, WordsAreBlueGreenRed) {
    // 0x00BBGGRR: red in the low byte.
    EXPECT_EQ(clRed, 0x0000FFu);
    EXPECT_EQ(clLime, 0x00FF00u);
    EXPECT_EQ(clYellow, 0x00FFFFu);
    EXPECT_EQ(clBlack, 0u);
    const Colour expected[8] = {0x0000FF, 0xFFFF00, 0x808000, 0x800080,
                                0x000080, 0x00FF00, 0x808080, 0x008000};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(channelColours[i], expected[i]) << i;
}

std::string text(const LabelText& l) {
    return l.data();
}

// Records the hook calls in order.
struct Hooks : CoreHooks {
    NimboCore* core = nullptr;
    std::vector<std::string> calls;
    std::vector<std::string> serialLabelAtReset;
    bool showing = false;
    void calibrationPiece(int index, const uint8_t*) override {
        calls.push_back("piece" + std::to_string(index));
    }
    void logFrame() override { calls.push_back("log"); }
    void calibrationDisplayRefresh() override { calls.push_back("calDisplay"); }
    bool frameDisplayShowing() override { return showing; }
    void frameDisplayRefresh() override { calls.push_back("dataDisplay"); }
    void displayResetHook() override {
        calls.push_back("reset");
        serialLabelAtReset.push_back(text(core->readout().Label2));
    }
    void frameDecoded() override { calls.push_back("decoded"); }
};

struct Decoder {
    Hooks hooks;
    NimboCore core{&hooks};
    Decoder() {
        hooks.core = &core;
        // Logged frames go to a scratch folder, never where the tests were started.
        core.setProgramFolder(test::scratchDir("decode-logs"));
    }
    void decode(const Frame& f) { nimbo::decode(core, f); }
};

TEST(DecodeFrame, GoodFrameFillsTheReadout) {
    Decoder d;
    Frame f;
    d.decode(f.seal());
    EXPECT_EQ(text(d.core.readout().Label2), "Serial Number : K1234567");
    EXPECT_EQ(text(d.core.readout().Label12), "Frame : 1000");
    const char* labels[8] = {"Temp  : 700",  "Humd1 : 1100", "Humd2 : 1450", "RefH1 : 1200",
                             "RefH2 : 1200", "Press : 200",  "RefL1 : 100",  "RefL2 : 300"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(text(d.core.readout().channelLabels[i]), labels[i]);
    // References: low (100 + 300) / 2 = 200, high 1200, so a span of 1000.
    const double normalised[8] = {0.5, 0.9, 1.25, 1.0, 1.0, 0.0, -0.1, 0.1};
    for (int i = 0; i < 8; ++i)
        EXPECT_DOUBLE_EQ(d.core.frame().normalisedChannels[i], normalised[i]) << i;
    EXPECT_EQ(d.core.readout().Label11Colour, clLime);
    EXPECT_EQ(d.core.readout().indicatorCounter, 0);
}

TEST(DecodeFrame, AllBlocksFailingTouchesOnlyTheStatusDot) {
    Decoder d;
    d.core.loggingSwitched(true);
    Frame good;
    good.b[45] = 0x08;
    d.decode(good.seal());
    const std::vector<int16_t> silence(kBlockWords, 0);
    d.core.ProcessWaveBuffer(silence.data()); // the status dot ages two buffers
    d.core.ProcessWaveBuffer(silence.data());
    const Readout before = d.core.readout();
    const auto sensorRaw = d.core.frame().sensorRaw;
    const auto normalised = d.core.frame().normalisedChannels;
    const std::string serial = d.core.frame().serialNumber;
    d.hooks.calls.clear();

    Frame bad;
    bad.setSerial("Z9999999");
    bad.setSensor(0, 5);
    bad.b[45] = 0;
    d.decode(bad.seal(false, false, false));

    EXPECT_EQ(d.core.readout().Label11Colour, clRed);
    EXPECT_EQ(d.core.readout().indicatorCounter, 0);
    EXPECT_EQ(d.core.readout().Label2, before.Label2);
    EXPECT_EQ(d.core.readout().Label12, before.Label12);
    EXPECT_EQ(d.core.readout().Label50, before.Label50);
    EXPECT_EQ(d.core.readout().channelLabels, before.channelLabels);
    EXPECT_EQ(d.core.readout().Label4Colour, before.Label4Colour);
    EXPECT_EQ(d.core.readout().Label5Colour, before.Label5Colour);
    EXPECT_EQ(d.core.readout().ProgressBar1, before.ProgressBar1);
    EXPECT_EQ(d.core.frame().sensorRaw, sensorRaw);
    EXPECT_EQ(d.core.frame().normalisedChannels, normalised);
    EXPECT_EQ(d.core.frame().serialNumber, serial);
    EXPECT_EQ(d.core.frame().frameNumber, 1000u);
    EXPECT_TRUE(d.core.frame().humidSwap);
    EXPECT_EQ(d.hooks.calls, std::vector<std::string>{"decoded"});
}

TEST(DecodeFrame, SensorBlockAloneUsesTheRememberedHumiditySwitch) {
    Decoder d;
    d.core.loggingSwitched(true);
    Frame first;
    first.b[45] = 0x08; // second humidity sensor in use
    d.decode(first.seal());
    d.hooks.calls.clear();

    Frame second;
    second.setSerial("Z9999999");
    second.setU16(32, 2000);
    second.b[45] = 0x00; // would switch back, but this block fails
    second.setSensor(1, 1300);
    second.setSensor(2, 450);
    second.setSensor(0, 1200);
    d.decode(second.seal(false, true, true));

    EXPECT_EQ(d.core.readout().Label11Colour, clYellow);
    EXPECT_EQ(text(d.core.readout().Label2), "Serial Number : K1234567");
    EXPECT_EQ(text(d.core.readout().Label12), "Frame : 1000");
    EXPECT_EQ(text(d.core.readout().channelLabels[0]), "Temp  : 1200");
    EXPECT_EQ(text(d.core.readout().channelLabels[1]), "Humd1 : 1300");
    EXPECT_EQ(text(d.core.readout().channelLabels[2]), "Humd2 : 450");
    EXPECT_EQ(d.core.readout().Label4Colour, channelColours[2]);
    EXPECT_EQ(d.core.readout().Label5Colour, channelColours[1]);
    EXPECT_EQ(d.core.frame().sensorRaw[1], 450);
    EXPECT_DOUBLE_EQ(d.core.frame().normalisedChannels[0], 1.0);  // (1200 - 200) / 1000
    EXPECT_DOUBLE_EQ(d.core.frame().normalisedChannels[1], 0.25); // channel 2's (450 - 200) / 1000
    EXPECT_EQ(d.hooks.calls, (std::vector<std::string>{"calDisplay", "decoded"}));
}

TEST(DecodeFrame, HumiditySwitchIsBitThreeOfTheFlags) {
    struct Case {
        uint8_t flags;
        bool swapped;
    };
    for (const Case c :
         {Case{0x00, false}, Case{0x08, true}, Case{0xF7, false}, Case{0xFF, true}}) {
        SCOPED_TRACE(c.flags);
        Decoder d;
        Frame f;
        f.b[45] = c.flags;
        d.decode(f.seal());
        EXPECT_EQ(d.core.frame().humidSwap, c.swapped);
        // The labels keep each sensor's own reading; colour and slot 1 follow the switch.
        EXPECT_EQ(text(d.core.readout().channelLabels[1]), "Humd1 : 1100");
        EXPECT_EQ(text(d.core.readout().channelLabels[2]), "Humd2 : 1450");
        EXPECT_EQ(d.core.readout().Label4Colour, c.swapped ? clTeal : clAqua);
        EXPECT_EQ(d.core.readout().Label5Colour, c.swapped ? clAqua : clTeal);
        EXPECT_EQ(d.core.frame().sensorRaw[1], c.swapped ? 1450 : 1100);
        EXPECT_EQ(d.core.frame().sensorRaw[2], 1450);
        EXPECT_DOUBLE_EQ(d.core.frame().normalisedChannels[1], c.swapped ? 1.25 : 0.9);
    }
}

TEST(DecodeFrame, NewSerialResetsTheDisplayFirst) {
    Decoder d;
    Frame f;
    d.decode(f.seal());
    // The reset runs while the serial label is still the old one, before the piece.
    EXPECT_EQ(d.hooks.calls,
              (std::vector<std::string>{"reset", "piece3", "calDisplay", "decoded"}));
    EXPECT_EQ(d.hooks.serialLabelAtReset, std::vector<std::string>{"Serial Number : --------"});

    d.hooks.calls.clear();
    f.setU16(32, 1001);
    f.b[47] = 4;
    d.decode(f.seal());
    EXPECT_EQ(d.hooks.calls, (std::vector<std::string>{"piece4", "calDisplay", "decoded"}));

    // A manual reset blanks the serial, so the same sonde resets once more.
    d.core.displayReset();
    EXPECT_EQ(text(d.core.readout().Label2), "Serial Number : --------");
    EXPECT_EQ(text(d.core.readout().channelLabels[0]), "Temp  : ");
    EXPECT_EQ(text(d.core.readout().Label12), "Frame : ");
    d.hooks.calls.clear();
    d.decode(f.seal());
    EXPECT_EQ(d.hooks.calls.front(), "reset");

    // Another sonde: reset, then the new serial.
    d.hooks.calls.clear();
    d.hooks.serialLabelAtReset.clear();
    f.setSerial("L7654321");
    d.decode(f.seal());
    EXPECT_EQ(d.hooks.calls.front(), "reset");
    EXPECT_EQ(d.hooks.serialLabelAtReset, std::vector<std::string>{"Serial Number : --------"});
    EXPECT_EQ(text(d.core.readout().Label2), "Serial Number : L7654321");
}

TEST(DecodeFrame, NulInsideTheSerialShortensTheLabel) {
    Decoder d;
    Frame f;
    std::memcpy(&f.b[36], "AB\0DEFGH", 8);
    d.decode(f.seal());
    EXPECT_EQ(text(d.core.readout().Label2), "Serial Number : AB");
    EXPECT_EQ(std::string(d.core.frame().serialNumber), "AB");
    EXPECT_EQ(std::memcmp(d.core.frame().serialNumber, "AB\0DEFGH", 9), 0);
}

TEST(DecodeFrame, TransmitFrequencyFromPieceZero) {
    struct Case {
        int calIndex;
        unsigned code;
        const char* label;
    };
    for (const Case c :
         {Case{0, 0, "TxFreq : 400.00 MHz"}, Case{0, 65535, "TxFreq : 1055.35 MHz"},
          Case{0, 540, "TxFreq : 405.40 MHz"}, Case{0, 0x0102, "TxFreq : 402.58 MHz"},
          Case{1, 540, "TxFreq : ---.-- MHz"}}) {
        SCOPED_TRACE(c.code);
        Decoder d;
        Frame f;
        f.b[47] = static_cast<uint8_t>(c.calIndex);
        f.setU16(50, c.code);
        d.decode(f.seal());
        EXPECT_EQ(text(d.core.readout().Label50), c.label);
    }
}

TEST(DecodeFrame, NormalisationBetweenTheReferences) {
    struct Case {
        uint32_t sensors[8];
        double normalised[8];
    };
    const Case cases[] = {
        // Coinciding references: no scale, every channel 0.0.
        {{700, 1100, 1450, 500, 500, 200, 500, 500}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
        // Full-scale 24-bit values: the reference sums do not overflow.
        {{0xFFFFFF, 0, 0x800000, 0xFFFFFF, 0xFFFFFF, 1, 0, 0},
         {1.0, 0.0, 8388608.0 / 16777215.0, 1.0, 1.0, 1.0 / 16777215.0, 0.0, 0.0}},
        // Low references above the high ones give negative spans.
        {{150, 0, 0, 100, 100, 0, 200, 200}, {0.5, 2.0, 2.0, 1.0, 1.0, 2.0, 0.0, 0.0}},
    };
    for (const Case& c : cases) {
        Decoder d;
        Frame f;
        for (int i = 0; i < 8; ++i)
            f.setSensor(i, c.sensors[i]);
        d.decode(f.seal());
        for (int i = 0; i < 8; ++i) {
            EXPECT_TRUE(std::isfinite(d.core.frame().normalisedChannels[i])) << i;
            EXPECT_DOUBLE_EQ(d.core.frame().normalisedChannels[i], c.normalised[i]) << i;
        }
    }
    Decoder d;
    Frame f;
    f.setSensor(0, 0xFFFFFF);
    d.decode(f.seal());
    EXPECT_EQ(text(d.core.readout().channelLabels[0]), "Temp  : 16777215");
}

TEST(DecodeFrame, StatusDotColourAndAgeing) {
    Decoder d;
    const std::vector<int16_t> silence(2 * kBlockSamples, 0);
    // Laid out green; the counter starts at 10, so the first buffer blanks it.
    EXPECT_EQ(d.core.readout().Label11Colour, clGreen);
    d.core.ProcessWaveBuffer(silence.data());
    EXPECT_EQ(d.core.readout().Label11Colour, clBlack);

    struct Case {
        bool sonde, sensor, gps;
        Colour colour;
    };
    for (const Case c : {Case{true, true, true, clLime}, Case{true, false, true, clYellow},
                         Case{false, false, true, clYellow}, Case{false, false, false, clRed}}) {
        Frame f;
        d.decode(f.seal(c.sonde, c.sensor, c.gps));
        // Lit for the rest of this buffer and two more, then black.
        for (int buffer = 0; buffer < 3; ++buffer) {
            EXPECT_EQ(d.core.readout().Label11Colour, c.colour) << buffer;
            d.core.ProcessWaveBuffer(silence.data());
        }
        EXPECT_EQ(d.core.readout().Label11Colour, clBlack);
        d.core.ProcessWaveBuffer(silence.data());
        EXPECT_EQ(d.core.readout().Label11Colour, clBlack);
    }
}

TEST(DecodeFrame, LogOnlyWithLoggingAndFirstTwoBlocksGood) {
    struct Case {
        bool logging, sonde, sensor, gps, logged;
    };
    const Case cases[] = {
        {true, true, true, true, true},   {true, true, true, false, true},
        {true, false, true, true, false}, {true, true, false, true, false},
        {false, true, true, true, false}, {true, false, false, false, false},
    };
    for (const Case& c : cases) {
        Decoder d;
        d.core.loggingSwitched(c.logging);
        Frame f;
        d.decode(f.seal(c.sonde, c.sensor, c.gps));
        const auto& calls = d.hooks.calls;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "log"), c.logged ? 1 : 0)
            << c.logging << c.sonde << c.sensor << c.gps;
    }
}

} // namespace
} // namespace nimbo
