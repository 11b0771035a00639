// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-synth --sonde rs41: built frames read back by the RS41 decoder, the flight, the GPS
// clock, the given frame, and the NRZ modulation read back from the phase of clean I/Q.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "rs41/rs41_frame.h"
#include "tests/rs41_real_frame.h"
#include "tests/tool_runner.h"
#include "tools/synth/flight.h"
#include "tools/synth/gps_clock.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/rs41_builder.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {

SynthOptions rs41Options() {
    SynthOptions o;
    o.sonde = Sonde::Rs41;
    o.serial = kRs41DefaultSerial;
    return o;
}

rs41::Rs41Frame decoded(const SynthOptions& o, int n) {
    Rs41Bytes bytes;
    EXPECT_EQ(buildRs41Frame(o, n, bytes), 320);
    rs41::Rs41Frame f;
    rs41::decodeFrame(std::span(bytes).first(320), {}, f);
    return f;
}

// Frames of the flight from launch sites around the globe (the date line and the south
// included): every frame good and clean, the fields as sent.
TEST(SynthRs41, BuiltFramesDecodeWithTheFieldsAsSent) {
    const struct {
        double lat, lon;
        int firstFrame, firstSubframe;
        const char* serial;
    } cases[] = {
        {52.0, 5.0, 1, 0, "S1234567"},
        {-34.95, 138.52, 65530, 49, "T9876543"},
        {64.82, -147.88, 0, 50, "U0000001"},
        {-0.5, 179.9, 7, 3, "S1234567"}, // drifts east over the date line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial + std::string(" at ") + std::to_string(c.lat));
        SynthOptions o = rs41Options();
        o.siteLatitudeDeg = c.lat;
        o.siteLongitudeDeg = c.lon;
        o.firstFrameNumber = c.firstFrame;
        o.firstCalIndex = c.firstSubframe;
        o.serial = c.serial;
        rs41::Rs41Sonde sonde;
        std::vector<int> frames = {1200, 6199, 6200, 6201, 7500, 8400};
        for (int n = 52; n >= 0; --n) // the first 53, subframe 0 among them
            frames.insert(frames.begin(), n);
        bool heard = false;
        for (int n : frames) {
            SCOPED_TRACE("frame " + std::to_string(n));
            rs41::Rs41Frame f = decoded(o, n);
            sonde.update(f);
            ASSERT_TRUE(f.good);
            EXPECT_EQ(f.correction.corrected, 0) << "both codewords are clean";
            EXPECT_TRUE(f.lengthFlagOk);
            EXPECT_EQ(f.walk.count, 6);
            EXPECT_STREQ(f.serial.data(), c.serial);
            EXPECT_EQ(f.frameNumber, (c.firstFrame + n) % 65536);
            EXPECT_EQ(f.subframe, (c.firstSubframe + n) % 51);
            if (f.subframe == 0) {
                EXPECT_DOUBLE_EQ(rs41::frequencyFromSubframe0(f.calibration), 405.3);
                heard = true;
            }
            EXPECT_EQ(f.hasFrequency, heard);
            EXPECT_EQ(f.satellites, 9);
            ASSERT_TRUE(f.hasPosition);
            ASSERT_TRUE(f.hasTime);
            EXPECT_NEAR(f.position.heightM, flightAt(n).heightM, 0.02); // cm in each axis
            EXPECT_GE(f.position.longitudeDeg, -180.0);
            EXPECT_LE(f.position.longitudeDeg, 180.0);
            if (n == 0) {
                EXPECT_NEAR(f.position.latitudeDeg, c.lat, 1e-6);
                EXPECT_NEAR(f.position.longitudeDeg, c.lon, 1e-6);
                EXPECT_NEAR(f.position.heightM, 0.0, 0.02);
            }
            for (const int id : {0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x76})
                EXPECT_NE(rs41::findBlock(f, static_cast<uint8_t>(id)), nullptr) << id;
        }
        EXPECT_TRUE(heard);
    }
}

// The wind is 3 m/s east and 1 m/s north at the ground, 1.5 m/s more east and 0.3 m/s more
// south per km; the sonde climbs at 5 m/s to 31 km, falls, then rests on the ground. Seen
// from the decoder: east, north and up, and the velocity as the change of position.
TEST(SynthRs41, VelocityIsTheWindAndTheClimbAndFollowsThePosition) {
    const SynthOptions o = rs41Options();
    const struct {
        int n;
        double east, north, up; // m/s
    } cases[] = {
        {0, 3.0, 1.0, 5.0},      // launch
        {2000, 18.0, -2.0, 5.0}, // 10 km
        {6000, 48.0, -8.0, 5.0}, // 30 km
        {9000, 0.0, 0.0, 0.0},   // landed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.n));
        const rs41::Rs41Frame f = decoded(o, c.n);
        // The drift is laid out in the site's degrees: at 30 km the sonde is 0.5 % farther from
        // the axis and 21 km south, where a degree of longitude is 0.4 % longer at 52 N.
        EXPECT_NEAR(f.motion.east, c.east, 0.012 * std::fabs(c.east) + 0.02);
        EXPECT_NEAR(f.motion.north, c.north, 0.012 * std::fabs(c.north) + 0.02);
        EXPECT_NEAR(f.motion.up, c.up, 0.02);
    }
    // Under the parachute the fall slows towards 6 m/s near the ground.
    EXPECT_LT(decoded(o, 6300).motion.up, -30.0);
    EXPECT_NEAR(decoded(o, 8250).motion.up, -6.0, 0.2);

    // From each frame to the next the position moves by the mean of the two velocities
    // (the height's curvature and the rounding to cm and cm/s leave a few cm/s).
    for (int n : {0, 100, 2000, 6100, 6201, 6210, 7000, 8000}) {
        const rs41::Rs41Frame a = decoded(o, n), b = decoded(o, n + 1);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(b.ecef[i] - a.ecef[i], (a.ecefVelocity[i] + b.ecefVelocity[i]) / 2, 0.05)
                << "frame " << n << " axis " << i;
    }
}

// GPS week and time of week worked out by hand: (UTC - 1980-01-06) + the leap seconds.
TEST(SynthRs41, GpsTimeFromTheStartWithTheLeapSeconds) {
    const struct {
        const char* start;
        int frame;
        int week;
        uint32_t towMs;
        const char* datetime;
    } cases[] = {
        {"2014-07-07T12:37:38Z", 0, 1800, 131874000, "2014-07-07T12:37:38Z"}, // the real frame
        {"2024-05-01T11:00:00Z", 1, 2312, 298819000, "2024-05-01T11:00:01Z"},
        // 17 s before 2017, 18 s after: the GPS second 17000 is the inserted 23:59:60.
        {"2016-12-31T23:59:59Z", 0, 1930, 16000, "2016-12-31T23:59:59Z"},
        {"2016-12-31T23:59:59Z", 1, 1930, 18000, "2017-01-01T00:00:00Z"},
        {"1980-01-06T00:00:00Z", 0, 0, 0, "1980-01-06T00:00:00Z"},
        {"2012-06-30 23:59:59", 1, 1695, 16000, "2012-07-01T00:00:00Z"}, // Sunday 2012-07-01
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " + " + std::to_string(c.frame));
        SynthOptions o = rs41Options();
        ASSERT_TRUE(parseUtcIso(c.start, o.startUnixSeconds));
        const rs41::Rs41Frame f = decoded(o, c.frame);
        EXPECT_EQ(f.gpsWeek, c.week);
        EXPECT_EQ(f.timeOfWeekMs, c.towMs);
        EXPECT_STREQ(f.datetime.data(), c.datetime);
    }
}

TEST(SynthRs41, UtcTextAcceptedAndRefused) {
    const struct {
        const char* text;
        int64_t seconds; // since 1970; -1: refused
    } cases[] = {
        {"2014-07-07T12:37:38Z", 1404736658},
        {"2014-07-07T12:37:38", 1404736658},
        {"2014-07-07 12:37:38", 1404736658},
        {"1980-01-06T00:00:00Z", 315964800},
        {"2024-02-29T00:00:00Z", 1709164800},
        {"2099-12-31T23:59:59Z", 4102444799},
        {"1980-01-05T23:59:59Z", -1}, // before the GPS epoch
        {"2023-02-29T00:00:00Z", -1},
        {"2016-12-31T23:59:60Z", -1},
        {"2024-13-01T00:00:00Z", -1},
        {"2024-05-01T24:00:00Z", -1},
        {"2100-01-01T00:00:00Z", -1},
        {"2024-5-01T11:00:00Z", -1},
        {"2024-05-01T11:00:00+02", -1},
        {"2024-05-01T11:00:00ZZ", -1},
        {"2024-05-01T1 :00:00Z", -1},
        {"2024-05-01", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        int64_t seconds = -1;
        EXPECT_EQ(parseUtcIso(c.text, seconds), c.seconds >= 0) << c.text;
        if (c.seconds >= 0) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(SynthRs41, FrameHexParsedOrRefused) {
    const std::string real(rs41::test::kRealFrameHex);
    std::string spaced; // 96 digits a line, as published, with a blank line and tabs
    for (std::size_t i = 0; i < real.size(); i += 96)
        spaced += real.substr(i, 96) + (i == 96 ? "\n\n\t" : "\r\n");
    std::string upper = real;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string long518 = real + std::string(2 * 198, '0');
    const struct {
        std::string text;
        std::size_t bytes; // 0: refused
    } cases[] = {
        {real, 320},        {spaced, 320},       {upper, 320},
        {long518, 518},     {real + "0", 0},     {real.substr(2), 0},
        {real + "00", 0},   {long518 + "00", 0}, {real.substr(0, 100) + "g" + real.substr(101), 0},
        {std::string(), 0}, {real + "-", 0},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> frame;
        const std::string problem = parseFrameHex(c.text, frame);
        EXPECT_EQ(problem.empty(), c.bytes > 0) << c.text.size() << " characters: " << problem;
        if (c.bytes == 0) continue;
        ASSERT_EQ(frame.size(), c.bytes);
        const auto expected = rs41::test::realFrame();
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.begin()));
        EXPECT_EQ(rs41FrameHex(std::span(frame).first(320)), real);
    }
}

// The whole I/Q signal, full scale +-1.
std::vector<float> iqSignal(const SynthOptions& o) {
    Synthesizer synth(o);
    std::vector<float> iq(static_cast<std::size_t>(2 * synth.length()));
    EXPECT_EQ(synth.generateIq(iq.data(), iq.size()), iq.size() / 2);
    return iq;
}

// The phase turned over bit k, in half turns, the carrier taken out: the sum of the steps
// from sample to sample over the bit's samples (a bit is rate / 4800 samples).
double bitTurn(const std::vector<float>& z, int64_t first, int perBit, double carrierHz, int rate) {
    double phase = 0;
    for (int64_t m = first; m < first + perBit; ++m) {
        const double re0 = z[2 * m], im0 = z[2 * m + 1], re1 = z[2 * m + 2], im1 = z[2 * m + 3];
        phase += std::atan2(im1 * re0 - re1 * im0, re1 * re0 + im1 * im0) -
                 2 * std::numbers::pi * carrierHz / rate;
    }
    return phase / std::numbers::pi;
}

// At 2400 Hz deviation and 4800 bit/s (h = 1) a bit turns the phase by half a turn, forwards
// for a 1; the bits read back are the frame scrambled with the mask, least significant first,
// the header on the air 10 B6 CA 11 22 96 12 F8; between frames 0, 1, 0, 1.
TEST(SynthRs41, EachBitTurnsThePhaseByHalfATurn) {
    const uint8_t airHeader[8] = {0x10, 0xB6, 0xCA, 0x11, 0x22, 0x96, 0x12, 0xF8};
    const uint8_t mask[64] = {0x96, 0x83, 0x3E, 0x51, 0xB1, 0x49, 0x08, 0x98, 0x32, 0x05, 0x59,
                              0x0E, 0xF9, 0x44, 0xC6, 0x26, 0x21, 0x60, 0xC2, 0xEA, 0x79, 0x5D,
                              0x6D, 0xA1, 0x54, 0x69, 0x47, 0x0C, 0xDC, 0xE8, 0x5C, 0xF1, 0xF7,
                              0x76, 0x82, 0x7F, 0x07, 0x99, 0xA2, 0x2C, 0x93, 0x7C, 0x30, 0x63,
                              0xF5, 0x10, 0x2E, 0x61, 0xD0, 0xBC, 0xB4, 0xB6, 0x06, 0xAA, 0xF4,
                              0x23, 0x78, 0x6E, 0x3B, 0xAE, 0xBF, 0x7B, 0x4C, 0xC1};
    const auto real = rs41::test::realFrame(); // one array: begin and end of the same
    std::vector<uint8_t> long518(real.begin(), real.end());
    long518.resize(518, 0x5A);
    const struct {
        const char* name;
        int rate;
        double offset, leadIn;
        bool square, invert;
        std::vector<uint8_t> frameFile;
    } cases[] = {
        {"Square", 48000, 0, 0.0, true, false, {}},
        {"Gaussian", 48000, 0, 0.0, false, false, {}},
        {"SquareInvertedOffsetLeadIn", 96000, 15000, 0.25, true, true, {}},
        {"GaussianOffset", 240000, -40000, 0.1, false, false, {}},
        {"LongFrameFile", 48000, 0, 0.0, true, false, long518},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o = rs41Options();
        o.frames = 2;
        o.iqFormat = IqFormat::F32;
        o.iqRate = c.rate;
        o.iqOffsetHz = c.offset;
        o.leadInSeconds = c.leadIn;
        o.squarePulses = c.square;
        o.invert = c.invert;
        o.frameFile = c.frameFile;
        const auto z = iqSignal(o);
        const int perBit = c.rate / 4800;
        const auto lead = std::llround(c.leadIn * c.rate);
        for (int n = 0; n < o.frames; ++n) {
            SCOPED_TRACE("frame " + std::to_string(n));
            Rs41Bytes frame;
            const int size = buildRs41Frame(o, n, frame);
            ASSERT_EQ(size, c.frameFile.empty() ? 320 : 518);
            double ones = 0, zeros = 0, total = 0; // half turns
            for (int k = 0; k < 4800; ++k) {
                if (n == o.frames - 1 && k == 4799) break; // the last step needs one more pair
                const int64_t first = lead + (4800LL * n + k) * perBit;
                const double turn =
                    (c.invert ? -1 : 1) * bitTurn(z, first, perBit, c.offset, c.rate);
                int sent = k & 1; // between frames
                if (k < 8 * size) {
                    const int byte = k / 8;
                    const uint8_t onAir = frame[byte] ^ mask[byte % 64];
                    if (byte < 8) {
                        ASSERT_EQ(onAir, airHeader[byte]);
                    }
                    sent = onAir >> (k % 8) & 1;
                    (sent ? ones : zeros) += 1;
                    total += turn;
                }
                if (c.square) {
                    ASSERT_NEAR(turn, sent ? 1.0 : -1.0, 1e-4) << "bit " << k;
                } else { // a bit between two opposite ones keeps 0.577 of its half turn
                    ASSERT_GT(sent ? turn : -turn, 0.55) << "bit " << k;
                    ASSERT_LT(sent ? turn : -turn, 1.0 + 1e-4) << "bit " << k;
                }
            }
            // Over the frame the Gaussian pulses lose nothing: only the ends spill over.
            EXPECT_NEAR(total, ones - zeros, 0.5);
        }
    }
}

// The real frame from a file comes back byte for byte in the truth file, every second; the
// signal is the library's.
TEST(SynthRs41, FrameFileAndBuiltFramesFromTheProgram) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-rs41");
    const std::string real(rs41::test::kRealFrameHex);
    std::string published;
    for (std::size_t i = 0; i < real.size(); i += 98)
        published += real.substr(i, 98) + "\n";
    nimbo::test::writeFile(dir + "/real.hex", published);
    const auto run =
        nimbo::test::runTool({kSynthExe, "--sonde", "rs41", "--frame-file", dir + "/real.hex", "-n",
                              "3", "--truth", dir + "/truth.txt", "-o", dir + "/real.wav"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(nimbo::test::readFile(dir + "/truth.txt"), real + "\n" + real + "\n" + real + "\n");

    const auto built = nimbo::test::runTool({kSynthExe,
                                             "--sonde",
                                             "rs41",
                                             "-n",
                                             "2",
                                             "--iq",
                                             "s16",
                                             "--iq-rate",
                                             "96000",
                                             "--ebn0",
                                             "9",
                                             "--seed",
                                             "4",
                                             "--site",
                                             "-34.95,138.52",
                                             "--start",
                                             "2016-12-31T23:59:59Z",
                                             "--first-piece",
                                             "50",
                                             "--truth",
                                             dir + "/built.txt",
                                             "-o",
                                             "-"});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    SynthOptions o = rs41Options();
    o.frames = 2;
    o.iqFormat = IqFormat::S16;
    o.iqRate = 96000;
    o.ebN0dB = 9;
    o.seed = 4;
    o.siteLatitudeDeg = -34.95;
    o.siteLongitudeDeg = 138.52;
    o.startUnixSeconds = 1483228799;
    o.firstCalIndex = 50;
    const auto values = iqSignal(o);
    std::string expected(values.size() * 2, '\0');
    encodeIq(values.data(), values.size(), IqFormat::S16,
             reinterpret_cast<unsigned char*>(expected.data()));
    EXPECT_TRUE(built.out == expected) << "the program writes what the library makes";
    std::istringstream truth(nimbo::test::readFile(dir + "/built.txt"));
    for (int n = 0; n < 2; ++n) {
        std::string line;
        ASSERT_TRUE(std::getline(truth, line));
        ASSERT_EQ(line.size(), 640u);
        EXPECT_EQ(line.substr(0, 16), "8635f44093df1a60");
        EXPECT_EQ(line.substr(2 * 61, 16), "5331323334353637") << "the serial S1234567";
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(parseFrameHex(line, bytes).empty());
        rs41::Rs41Frame f;
        EXPECT_TRUE(rs41::decodeFrame(bytes, {}, f));
        EXPECT_EQ(f.subframe, n == 0 ? 50 : 0);
    }
}

} // namespace
} // namespace nimbo::synth
