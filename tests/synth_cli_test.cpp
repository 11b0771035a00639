// SPDX-License-Identifier: GPL-3.0-or-later
// The nimbo-synth program: outputs against the library, bad values refused, RS92 unchanged.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/synth_signal.h"
#include "tests/tool_runner.h"
#include "tools/synth/iq_format.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {
namespace {
using test::synthesizeIq;

// The program writes exactly what the library makes, as raw PCM, WAV and truth file.
TEST(SynthCli, OutputsMatchTheLibrary) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-cli");
    SynthOptions o;
    o.frames = 2;
    o.ifSignal = true;
    o.ebN0dB = 18;
    o.seed = 77;
    o.serial = "P5";
    o.rightChannel = true;
    o.corruptFrame = 1;
    o.corruptBlock = 2;
    o.flight = true;
    const auto expected = synthesize(o);

    const auto raw = nimbo::test::runTool({kSynthExe, "-n", "2", "--if", "--ebn0", "18", "--seed",
                                           "77", "--serial", "P5", "--right", "--corrupt", "1:gps",
                                           "--flight", "--truth", dir + "/truth.txt", "-o", "-"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    ASSERT_EQ(raw.out.size(), expected.size() * 2);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto lo = static_cast<uint8_t>(raw.out[2 * i]),
                   hi = static_cast<uint8_t>(raw.out[2 * i + 1]);
        ASSERT_EQ(static_cast<int16_t>(lo | hi << 8), expected[i]) << "sample " << i;
    }
    std::istringstream truth(nimbo::test::readFile(dir + "/truth.txt"));
    for (int n = 0; n < 2; ++n) {
        std::string line;
        ASSERT_TRUE(std::getline(truth, line));
        std::string hex;
        char digits[3];
        for (uint8_t b : buildFrame(o, n)) {
            std::snprintf(digits, sizeof digits, "%02X", b);
            hex += digits;
        }
        EXPECT_EQ(line, hex) << "frame " << n;
    }

    SynthOptions w;
    w.frames = 1;
    w.otherSerial = "";
    w.leadInSeconds = 0.2;
    const std::string wav = dir + "/signal.wav";
    const auto made = nimbo::test::runTool(
        {kSynthExe, "--frames", "1", "--other-serial", "", "--lead-in", "0.2", "-o", wav});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> read(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_short(f, read.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(read, synthesize(w));
}

// Raw pairs to a file and to stdout, and a WAV file at the I/Q rate, in each format.
TEST(SynthCli, IqOutputsMatchTheLibrary) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-cli-iq");
    const struct {
        const char* format;
        IqFormat iq;
        int bytes, wavFormat, rate;
        double leadIn, offset, ebN0dB;
    } cases[] = {
        // s16: the carrier at the band's edge, 0.4 x 48000 - (2400 + 4800).
        {"u8", IqFormat::U8, 1, SF_FORMAT_PCM_U8, 240000, 0, 0, 10},
        {"s16", IqFormat::S16, 2, SF_FORMAT_PCM_16, 48000, 0.5, 12000, 12},
        {"f32", IqFormat::F32, 4, SF_FORMAT_FLOAT, 96000, 0, -20000, INFINITY},
    };
    const auto truth = dir + "/truth.txt", audioTruth = dir + "/audio-truth.txt";
    ASSERT_EQ(
        nimbo::test::runTool({kSynthExe, "-n", "1", "--truth", audioTruth, "-o", "-"}).exitCode, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        SynthOptions o;
        o.frames = 1;
        o.iqFormat = c.iq;
        o.iqRate = c.rate;
        o.leadInSeconds = c.leadIn;
        o.iqOffsetHz = c.offset;
        o.ebN0dB = c.ebN0dB;
        o.seed = 9;
        o.invert = true;
        std::vector<std::string> argv = {kSynthExe,  "-n",   "1",      "--seed",  "9",
                                         "--invert", "--iq", c.format, "--truth", truth};
        for (const auto& [name, value] : {std::pair{"--iq-rate", double(c.rate)},
                                          {"--lead-in", c.leadIn},
                                          {"--iq-offset", c.offset},
                                          {"--ebn0", c.ebN0dB}}) {
            std::ostringstream text;
            text << value; // 240000, 0.5, inf
            argv.insert(argv.end(), {name, text.str()});
        }
        const std::string raw = dir + "/iq.raw", wav = dir + "/iq.WAV";
        for (const std::string& out : {raw, wav, std::string("-")}) {
            argv.insert(argv.end(), {"-o", out});
            const auto run = nimbo::test::runTool(argv);
            argv.resize(argv.size() - 2);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(nimbo::test::readFile(truth), nimbo::test::readFile(audioTruth));
            if (out == "-") {
                EXPECT_TRUE(run.out == nimbo::test::readFile(raw)) << "stdout as the file";
            }
        }
        const std::string bytes = nimbo::test::readFile(raw);
        const auto pairs = static_cast<std::size_t>((c.leadIn + 1) * c.rate);
        ASSERT_EQ(bytes.size(), 2 * pairs * c.bytes);
        const auto values = synthesizeIq(o);
        std::string expected(values.size() * c.bytes, '\0');
        encodeIq(values.data(), values.size(), c.iq,
                 reinterpret_cast<unsigned char*>(expected.data()));
        EXPECT_TRUE(bytes == expected) << "the program writes what the library makes";

        SF_INFO info{};
        SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.samplerate, c.rate);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | c.wavFormat);
        std::string data(bytes.size(), '\0'); // sf_read_raw wants whole frames
        EXPECT_EQ(sf_read_raw(f, data.data(), static_cast<sf_count_t>(data.size())),
                  static_cast<sf_count_t>(data.size()));
        sf_close(f);
        EXPECT_TRUE(data == bytes) << "the WAV file holds the raw pairs";
    }
}

TEST(SynthCli, BadValuesGiveOneLineAndStatusTwo) {
    using nimbo::test::kSynthExe;
    const std::string dir = nimbo::test::scratchDir("synth-bad");
    const std::string goodFrame = dir + "/good.hex", shortFrame = dir + "/short.hex";
    nimbo::test::writeFile(goodFrame, std::string(640, 'a'));
    nimbo::test::writeFile(shortFrame, std::string(638, 'a')); // 319 bytes
    const std::vector<std::vector<std::string>> cases = {
        {}, // no output
        {"--frames", "0"},
        {"--frames", "100001"},
        {"--frames", "ten"},
        {"--serial", "123456789"},
        {"--other-serial", "ABCDEFGHI"},
        {"--first-frame", "65536"},
        {"--symbol-rate", "3999"},
        {"--symbol-rate", "5601"},
        {"--ebn0", "nan"},
        {"--deviation", "0"},
        {"--amplitude", "40000"},
        {"--lead-in", "-1"},
        {"--corrupt", "3"},
        {"--corrupt", "1:header"},
        {"--corrupt", "10:gps"}, // only 10 frames: 0..9
        {"--seed", "-4"},
        {"--bogus"},
        {"--iq", "s8"},
        {"--iq-rate", "96000"}, // without --iq
        {"--iq-offset", "100"},
        {"--iq", "u8", "--iq-rate", "47999"},
        {"--iq", "u8", "--iq-rate", "3200001"},
        {"--iq", "u8", "--iq-offset", "12001"}, // 19200 - 2400 - 4800 at 48000 samples/s
        {"--iq", "s16", "--iq-rate", "240000", "--iq-offset", "-88801"},
        {"--iq", "u8", "--iq-offset", "-12000", "--carrier-offset", "-1"}, // they add up
        {"--iq", "u8", "--iq-rate", "96000", "--deviation", "6000", "--symbol-rate", "5600",
         "--iq-offset", "26801"}, // 38400 - 11600
        {"--iq", "f32", "--iq-level", "0"},
        {"--iq", "f32", "--iq-level", "1.5"},
        {"--iq", "u8", "--if"},
        {"--iq", "u8", "--right"},
        {"--iq", "u8", "--audio-noise"},
        {"--iq", "u8", "--amplitude", "8000"},
        {"--iq", "u8", "--other-serial", "X1"},
        {"--sonde", "rs49"},
        {"--sonde", "rs41", "--serial", "S123456"}, // an RS41 serial has all 8
        {"--sonde", "rs41", "--serial", "S123456\x01"},
        {"--sonde", "rs41", "--corrupt", "1:gps"},
        {"--sonde", "rs41", "--humid-swap"},
        {"--sonde", "rs41", "--other-serial", ""},
        {"--sonde", "rs41", "--first-piece", "51"},
        {"--sonde", "rs41", "--site", "85.01,5"},
        {"--sonde", "rs41", "--site", "52,-180.5"},
        {"--sonde", "rs41", "--site", "52"},
        {"--sonde", "rs41", "--site", "52,5x"},
        {"--sonde", "rs41", "--site", "nan,5"},
        {"--sonde", "rs41", "--start", "1980-01-05T23:59:59Z"},
        {"--sonde", "rs41", "--start", "2024-02-30T00:00:00Z"},
        {"--sonde", "rs41", "--frame-file", "/nonexistent/frame.hex"},
        {"--sonde", "rs41", "--frame-file", shortFrame},
        {"--sonde", "rs41", "--frame-file", goodFrame, "--serial", "S7654321"},
        {"--sonde", "rs41", "--frame-file", goodFrame, "--site", "10,10"},
        {"--frame-file", goodFrame}, // needs --sonde rs41
        {"--site", "52,5"},
        {"--start", "2024-05-01T11:00:00Z"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {kSynthExe};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!args.empty()) argv.insert(argv.end(), {"-o", "-"});
        const auto run = nimbo::test::runTool(argv);
        std::string what = args.empty() ? "(none)" : "";
        for (const std::string& arg : args)
            what += arg + " ";
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.out.empty()) << what;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
    }
    const auto help = nimbo::test::runTool({kSynthExe, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Eb/N0"), std::string::npos);
    EXPECT_NE(help.out.find("--iq-rate"), std::string::npos);
    EXPECT_NE(help.out.find("--sonde"), std::string::npos);
}

// Adding the RS41 left the RS92 signals as they were: FNV-1a 64 of the raw output as the
// program wrote it before.
TEST(SynthCli, Rs92OutputAsBefore) {
    const struct {
        std::vector<std::string> args;
        std::size_t bytes;
        uint64_t hash;
    } cases[] = {
        {{"-n", "2", "--if", "--ebn0", "10", "--right", "--seed", "5"},
         384000,
         0x1a19d1db32af4ccfull},
        {{"-n", "2", "--ebn0", "12", "--flight"}, 384000, 0x78fb001c94e821f9ull},
        {{"-n", "1", "--iq", "u8", "--iq-rate", "240000", "--iq-offset", "30000", "--ebn0", "9"},
         480000,
         0x6d209bccd667f1beull},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {nimbo::test::kSynthExe};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"-o", "-"});
        const auto run = nimbo::test::runTool(argv);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_EQ(run.out.size(), c.bytes) << c.args[2];
        uint64_t h = 0xcbf29ce484222325ull;
        for (const char b : run.out)
            h = (h ^ static_cast<uint8_t>(b)) * 0x100000001b3ull;
        EXPECT_EQ(h, c.hash) << c.args[2];
    }
}

} // namespace
} // namespace nimbo::synth
