// SPDX-License-Identifier: GPL-3.0-or-later
// The window's RS41 readout below Qt: the label texts from the real frame (values worked out
// by hand from its bytes), fields a frame did not bring left alone, the chart's altitude
// scale, and a recording through the core lighting the dot and drawing the altitude trace.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "core/nimbo_core.h"
#include "core/rs41_readout.h"
#include "rs41_real_frame.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

rs41::Rs41Frame realDecoded() {
    const auto bytes = rs41::test::realFrame();
    rs41::Rs41Frame f;
    EXPECT_TRUE(rs41::decodeFrame(bytes, {}, f));
    return f;
}

// Label3..Label10 of the real frame, in that order.
const char* const kRealChannelTexts[kSensorChannels] = {
    "Alt   : 28410 m",  "Lat   : 46.05026",  "Lon   : 16.11077", "Head  : 273 deg",
    "Speed : 13.6 m/s", "Climb : -36.2 m/s", "Sats  : 8",        "UTC   : 12:37:38"};

void expectRealReadout(const Readout& r) {
    EXPECT_STREQ(r.Label2.data(), "Serial Number : K1930293");
    EXPECT_STREQ(r.Label12.data(), "Frame : 5910");
    for (int i = 0; i < kSensorChannels; ++i)
        EXPECT_STREQ(r.channelLabels[i].data(), kRealChannelTexts[i]) << i;
}

// Each field comes only with the block that brings it; what a frame lacks stays shown.
TEST(Rs41Readout, FieldsComeOnlyWithTheirBlocks) {
    struct Case {
        bool status, position, time, frequency;
        const char *label2, *label12, *alt, *sats, *utc, *label50;
    };
    const Case cases[] = {
        {false, false, false, false, kBlankSerial, kBlankFrame,
         "Alt   : ", "Sats  : ", "UTC   : ", kBlankFreq},
        {true, false, false, true, "Serial Number : K1930293", "Frame : 5910",
         "Alt   : ", "Sats  : ", "UTC   : ", "TxFreq : 405.300 MHz"},
        {false, true, false, false, kBlankSerial, kBlankFrame, "Alt   : 28410 m", "Sats  : 8",
         "UTC   : ", kBlankFreq},
        {false, false, true, false, kBlankSerial, kBlankFrame,
         "Alt   : ", "Sats  : ", "UTC   : 12:37:38", kBlankFreq},
    };
    for (const Case& c : cases) {
        rs41::Rs41Frame f = realDecoded();
        f.hasStatus = c.status;
        f.hasPosition = c.position;
        f.hasTime = c.time;
        f.hasFrequency = c.frequency;
        f.frequencyMHz = 405.3;
        Readout r;
        blankRs41Readout(r);
        showRs41Frame(f, r);
        SCOPED_TRACE(c.alt);
        EXPECT_STREQ(r.Label2.data(), c.label2);
        EXPECT_STREQ(r.Label12.data(), c.label12);
        EXPECT_STREQ(r.channelLabels[0].data(), c.alt);
        EXPECT_STREQ(r.channelLabels[6].data(), c.sats);
        EXPECT_STREQ(r.channelLabels[7].data(), c.utc);
        EXPECT_STREQ(r.Label50.data(), c.label50);
    }
}

TEST(Rs41Readout, ChartPlacesTheAltitudeFromGroundToTop) {
    const struct {
        double heightM, position;
    } cases[] = {{0, 0}, {17500, 0.5}, {28410, 0.8117142857}, {35000, 1}, {41000, 1}, {-120, 0}};
    for (const auto& c : cases)
        EXPECT_NEAR(rs41ChartPosition(c.heightM), c.position, 1e-9) << c.heightM;
    EXPECT_TRUE(std::isnan(rs41ChartPosition(std::nan(""))));
}

// Notes the status dot as each RS41 frame leaves it.
class DotRecorder final : public CoreHooks {
  public:
    explicit DotRecorder(const NimboCore& core) : core_(core) {}
    std::vector<Colour> dots;

  private:
    void rs41FrameDecoded(const rs41::Rs41Frame&) override {
        dots.push_back(core_.readout().Label11Colour);
    }
    const NimboCore& core_;
};

// The real frame sent eight times as FM Det audio, heard with the RS41 chosen.
TEST(Rs41Readout, RecordingThroughTheCoreShowsFrameDotAndAltitude) {
    synth::SynthOptions o;
    o.sonde = synth::Sonde::Rs41;
    o.frames = 8;
    const auto real = rs41::test::realFrame();
    o.frameFile.assign(real.begin(), real.end());
    const std::vector<int16_t> audio = synth::synthesize(o);

    NimboCore core;
    DotRecorder dots(core);
    core.setHooks(&dots);
    core.startUpReset();
    ReceiverSettings rs41;
    rs41.Sonde = 1;
    core.applySettings(rs41);
    EXPECT_STREQ(core.readout().channelLabels[0].data(), "Alt   : ");
    const std::vector<int16_t> silence(kBlockWords, 0);
    for (std::size_t at = 0; at + kBlockWords <= audio.size(); at += kBlockWords)
        core.ProcessWaveBuffer(audio.data() + at);
    for (int i = 0; i < core.closingSilenceBlocks(); ++i)
        core.ProcessWaveBuffer(silence.data());

    expectRealReadout(core.readout());
    ASSERT_GE(dots.dots.size(), 3u);
    for (Colour c : dots.dots)
        EXPECT_EQ(c, clLime);
    // The first serial heard set the chart going: one red trace, at 28410 m of 35000 m
    // across 880 pixels (x = 714), and nothing in the other traces' colours.
    const Raster& chart = core.graph().graphBitmap();
    int red = 0, redElsewhere = 0, others = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x) {
            const Colour p = chart.pixel(x, y);
            if (p == clRed) ++(x == 714 ? red : redElsewhere);
            for (int k = 1; k < kSensorChannels; ++k)
                others += p == channelColours[k] && p != clGray;
        }
    EXPECT_GT(red, 0);
    EXPECT_EQ(redElsewhere, 0);
    EXPECT_EQ(others, 0);

    // An RS92 frame (an imported raw log) with the RS41 chosen: the RS92's labels, its
    // serial; the next RS41 frame turns the panel back.
    synth::SynthOptions rs92;
    rs92.serial = "N7654321";
    const auto content = synth::buildFrame(rs92, 0);
    std::array<uint8_t, kFrameBits> cells{};
    unpackFrameBytes(content.data(), cells.data());
    core.decodeFrame(cells.data());
    EXPECT_STREQ(core.readout().Label2.data(), "Serial Number : N7654321");
    EXPECT_EQ(std::string(core.readout().channelLabels[0].data()).rfind(kChannelPrefixes[0], 0),
              0u);
    for (std::size_t at = 0; at + kBlockWords <= audio.size(); at += kBlockWords)
        core.ProcessWaveBuffer(audio.data() + at);
    for (int i = 0; i < core.closingSilenceBlocks(); ++i)
        core.ProcessWaveBuffer(silence.data());
    expectRealReadout(core.readout());

    // Back to the RS92: its labels again, blank.
    core.applySettings({});
    EXPECT_STREQ(core.readout().channelLabels[0].data(), kChannelPrefixes[0]);
    EXPECT_STREQ(core.readout().Label2.data(), kBlankSerial);
}

} // namespace
} // namespace nimbo
