// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-signal receiver: polarity found from the frame sync, frames repaired by the
// Reed-Solomon parity, in the core and end to end from a synthesised signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "core/nimbo_core.h"
#include "decode/frame_repair.h"
#include "tools/synth/synth.h"

namespace nimbo {
namespace {

// The decoded frames of a whole signal run through the weak-signal receiver.
class Collect final : public CoreHooks {
  public:
    explicit Collect(const NimboCore& core) : core_(core) {}
    void frameDecoded() override { frames.push_back(core_.frame()); }
    std::vector<DecodedFrame> frames;

  private:
    const NimboCore& core_;
};

std::vector<DecodedFrame> decodeWeak(std::vector<int16_t> pcm, bool ifPath, int* polarity) {
    auto core = std::make_unique<NimboCore>();
    Collect collect(*core);
    core->setHooks(&collect);
    core->setDrawPictures(false);
    ReceiverSettings settings;
    settings.DemodType = ifPath ? 1 : 0;
    settings.Weak = true;
    core->applySettings(settings);
    // Whole blocks, then silence until the last frame's next sync was due.
    pcm.resize((pcm.size() / kBlockWords + 4) * kBlockWords, 0);
    for (std::size_t i = 0; i < pcm.size(); i += kBlockWords)
        core->ProcessWaveBuffer(pcm.data() + i);
    if (polarity) *polarity = core->weakReceiver().polarity();
    return collect.frames;
}

bool sameContent(const DecodedFrame& frame, const std::array<uint8_t, synth::kContentBytes>& sent) {
    return std::equal(sent.begin(), sent.end(), frame.frameBytes.begin());
}

struct PolarityCase {
    bool ifPath;
    bool invert;
};

class WeakPolarity : public ::testing::TestWithParam<PolarityCase> {};

// Both ways round the frames decode with no SymbolInv, and the receiver says which way.
TEST_P(WeakPolarity, FoundFromTheFrameSync) {
    synth::SynthOptions o;
    o.frames = 4;
    o.ifSignal = GetParam().ifPath;
    o.invert = GetParam().invert;
    o.ebN0dB = 16.0;
    int polarity = 0;
    const std::vector<DecodedFrame> frames =
        decodeWeak(synth::synthesize(o), o.ifSignal, &polarity);
    int good = 0;
    for (const DecodedFrame& f : frames)
        good += f.sondeBlockOk && f.sensorBlockOk && f.gpsBlockOk;
    EXPECT_EQ(good, 4);
    EXPECT_EQ(frames.size(), 4u);
    // Which sign a polarity has is the receiver's own convention; inverting must flip it.
    o.invert = !o.invert;
    int other = 0;
    decodeWeak(synth::synthesize(o), o.ifSignal, &other);
    EXPECT_EQ(other, -polarity);
}

INSTANTIATE_TEST_SUITE_P(Paths, WeakPolarity,
                         ::testing::Values(PolarityCase{false, false}, PolarityCase{false, true},
                                           PolarityCase{true, false}, PolarityCase{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.ifPath ? "If" : "FmDet") +
                                    (info.param.invert ? "Inverted" : "Upright");
                         });

// The receiver learns its offset and lock from what it hears: after the IF of one sonde
// 1500 Hz off, the FM Det audio of another decodes from its first frames.
TEST(WeakSettings, ANewSignalPathStartsAfresh) {
    synth::SynthOptions first;
    first.frames = 3;
    first.ifSignal = true;
    first.carrierOffsetHz = 1500.0;
    first.ebN0dB = 12.0;
    synth::SynthOptions second;
    second.frames = 5;
    second.serial = "P7654321";
    second.ebN0dB = 12.0;
    const std::vector<int16_t> heardFirst = synth::synthesize(first);
    std::vector<int16_t> heardSecond = synth::synthesize(second);
    heardSecond.resize(heardSecond.size() + 4 * kBlockWords, 0);

    auto core = std::make_unique<NimboCore>();
    Collect collect(*core);
    core->setHooks(&collect);
    core->setDrawPictures(false);
    ReceiverSettings settings;
    settings.DemodType = 1;
    settings.Weak = true;
    core->applySettings(settings);
    for (std::size_t i = 0; i < heardFirst.size(); i += kBlockWords)
        core->ProcessWaveBuffer(heardFirst.data() + i);
    settings.DemodType = 2; // not the IF: FM Det, as a hand-edited settings file reads
    core->applySettings(settings);
    collect.frames.clear();
    for (std::size_t i = 0; i < heardSecond.size(); i += kBlockWords)
        core->ProcessWaveBuffer(heardSecond.data() + i);
    int good = 0;
    for (const DecodedFrame& f : collect.frames)
        good += f.sondeBlockOk && f.sensorBlockOk && f.gpsBlockOk &&
                std::string(f.serialNumber) == "P7654321";
    EXPECT_GE(good, 4);
}

// A sonde heard at one place and then at another (a receiver retuned, a second sonde after
// the first one fell silent, with or without seconds of silence between): the receiver finds
// the new carrier and locks within three frames of it.
struct Retune {
    double firstHz, secondHz;
    double silence; // seconds between the two
};

class WeakRetune : public ::testing::TestWithParam<Retune> {};

TEST_P(WeakRetune, TheNewCarrierIsFoundWithinThreeFrames) {
    synth::SynthOptions first;
    first.frames = 4;
    first.ifSignal = true;
    first.carrierOffsetHz = GetParam().firstHz;
    first.ebN0dB = 12.0;
    synth::SynthOptions second = first;
    second.frames = 8;
    second.serial = "P7654321";
    second.carrierOffsetHz = GetParam().secondHz;
    second.seed = 2;
    std::vector<int16_t> pcm = synth::synthesize(first);
    pcm.resize(pcm.size() + static_cast<std::size_t>(GetParam().silence * 10) * kBlockWords, 0);
    const std::vector<int16_t> heardSecond = synth::synthesize(second);
    pcm.insert(pcm.end(), heardSecond.begin(), heardSecond.end());
    int good = 0;
    for (const DecodedFrame& f : decodeWeak(pcm, true, nullptr))
        good += f.sondeBlockOk && f.sensorBlockOk && f.gpsBlockOk &&
                std::string(f.serialNumber) == "P7654321";
    EXPECT_GE(good, second.frames - 3);
}

INSTANTIATE_TEST_SUITE_P(Offsets, WeakRetune,
                         ::testing::Values(Retune{1500.0, -2000.0, 0.0},
                                           Retune{-2500.0, 2500.0, 0.0}, Retune{0.0, 2200.0, 4.0}));

// A core carried on from another's receiver halfway through a signal decodes the frames
// that other would have: none is lost at the hand-over, none comes twice.
class CoreContinue : public ::testing::TestWithParam<bool> {};

TEST_P(CoreContinue, TakesOverWhereTheOtherCoreStopped) {
    synth::SynthOptions o;
    o.frames = 4;
    std::vector<int16_t> pcm = synth::synthesize(o);
    pcm.resize(pcm.size() + 4 * kBlockWords, 0);
    ReceiverSettings settings;
    settings.Weak = GetParam();
    auto first = std::make_unique<NimboCore>(), second = std::make_unique<NimboCore>();
    Collect heardFirst(*first), heardSecond(*second);
    first->setHooks(&heardFirst);
    second->setHooks(&heardSecond);
    first->applySettings(settings);
    second->applySettings(settings);
    const std::size_t split = 25 * kBlockWords; // 2.5 s: two frames handed over
    for (std::size_t i = 0; i < split; i += kBlockWords)
        first->ProcessWaveBuffer(pcm.data() + i);
    if (settings.Weak)
        second->continueFrom(first->weakReceiver());
    else
        second->continueFrom(first->receiver());
    for (std::size_t i = split; i < pcm.size(); i += kBlockWords)
        second->ProcessWaveBuffer(pcm.data() + i);

    ASSERT_EQ(heardFirst.frames.size(), 2u);
    ASSERT_EQ(heardSecond.frames.size(), 2u);
    for (int n = 2; n < 4; ++n)
        EXPECT_TRUE(sameContent(heardSecond.frames[n - 2], synth::buildFrame(o, n))) << n;
}

INSTANTIATE_TEST_SUITE_P(Receivers, CoreContinue, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Weak" : "Described"; });

// FM Det audio comes at whatever level the receiver gives: the deviation is learned from it.
// (Read at the standard level alone, audio at 3/8 or 5/8 of it rebuilt the phase at the
// wrong modulation index and no frame decoded.)
class WeakLevel : public ::testing::TestWithParam<double> {};

TEST_P(WeakLevel, FramesDecodeAtTheLevelTheAudioHas) {
    synth::SynthOptions o;
    o.frames = 6;
    o.amplitude = GetParam();
    o.ebN0dB = 12.0;
    int good = 0;
    for (const DecodedFrame& f : decodeWeak(synth::synthesize(o), false, nullptr))
        good += f.sondeBlockOk && f.sensorBlockOk && f.gpsBlockOk;
    EXPECT_GE(good, 5);
}

INSTANTIATE_TEST_SUITE_P(Amplitudes, WeakLevel, ::testing::Values(3000.0, 5000.0, 8000.0),
                         [](const auto& info) {
                             return "Peak" + std::to_string(static_cast<int>(info.param));
                         });

class WeakRepair : public ::testing::TestWithParam<bool> {};

// A burst wipes eight bytes of frame 2's sensor block off the air: the frame still comes
// out as it was sent, repaired by the parity that came with the next frame.
TEST_P(WeakRepair, WipedBytesComeBackThroughTheParity) {
    synth::SynthOptions o;
    o.frames = 4;
    o.ifSignal = GetParam();
    std::vector<int16_t> pcm = synth::synthesize(o);
    // Content byte j of frame n begins (20 + j) bytes of 200 samples into second n.
    const std::size_t from = 48000 * 2 + (20 + 70) * 200;
    std::fill(pcm.begin() + 2 * from, pcm.begin() + 2 * (from + 8 * 200), int16_t{0});

    const std::vector<DecodedFrame> frames = decodeWeak(pcm, o.ifSignal, nullptr);
    ASSERT_EQ(frames.size(), 4u);
    const DecodedFrame& repaired = frames[2];
    EXPECT_TRUE(repaired.sondeBlockOk && repaired.sensorBlockOk && repaired.gpsBlockOk);
    EXPECT_GE(repaired.rsCorrected, 6);
    EXPECT_LE(repaired.rsCorrected, 9);
    EXPECT_TRUE(sameContent(repaired, synth::buildFrame(o, 2)));
    EXPECT_EQ(frames[1].rsCorrected, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, WeakRepair, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "If" : "FmDet"; });

// FrameRepair on a sent frame built from two synthesised frames, with byte errors at
// chosen places and chosen reliabilities, and second choices for the bytes marked as guesses.
enum class Spread {
    DataAndParity, // every 9th data byte from 7 to 178, then the parity
    ParityOnly,    // sent bytes 216.., which no block CRC covers
};

enum class Second {
    None,  // none given (the bytes as heard)
    Right, // the byte sent
    Wrong, // the byte heard with its lowest bit flipped
};

struct Damage {
    const char* name;
    int wrong;      // bytes flipped, clear of the sync bytes and of the constant tail
    int unreliable; // of them, the first ones marked as guesses
    Spread spread;
    bool syncMisheard; // the sync bytes heard as 28 2E 1A 2E AA 14
    bool repaired;
    float guess = 0.5f; // the reliability of the bytes marked as guesses
    Second second = Second::None;
    int tailWrong = 0; // bytes of the constant tail heard wrong
};

class FrameRepairDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(FrameRepairDamage, RepairsWithinTheCodeAndLeavesTheRestAsHeard) {
    const Damage& d = GetParam();
    synth::SynthOptions o;
    const auto frame = synth::buildFrame(o, 1), next = synth::buildFrame(o, 2);
    std::array<uint8_t, sent::kFrameBytes> sentFrame{};
    rs::sentFromContent(frame, next, sentFrame);

    std::array<uint8_t, sent::kFrameBytes> heard = sentFrame;
    std::array<float, sent::kFrameBytes> reliability{};
    reliability.fill(5.0f);
    std::array<uint8_t, sent::kFrameBytes> second{};
    for (int i = 0; i < d.wrong; ++i) {
        const int b = d.spread == Spread::ParityOnly ? 216 + i
                      : i < 20                       ? 7 + 9 * i
                                                     : 216 + (i - 20);
        heard[b] ^= 0x5A;
        if (i < d.unreliable) reliability[b] = d.guess;
    }
    for (int b = 0; b < sent::kFrameBytes; ++b) {
        const bool guess = reliability[b] != 5.0f;
        second[b] = !guess || d.second == Second::None ? heard[b]
                    : d.second == Second::Right        ? sentFrame[b]
                                                       : static_cast<uint8_t>(heard[b] ^ 0x01);
    }
    for (int i = 0; i < d.tailWrong; ++i)
        heard[sent::kTailStart + 2 * i] ^= 0x10;
    const uint8_t misheard[6] = {0x28, 0x2E, 0x1A, 0x2E, 0xAA, 0x14};
    if (d.syncMisheard) std::copy(misheard, misheard + 6, heard.begin());

    FrameRepair repair;
    std::array<uint8_t, kFrameBytes> content{};
    const int changed =
        repair.repair(std::span(frame).first<24>(), heard, second, reliability, false, content);
    if (d.repaired) {
        EXPECT_EQ(changed, d.wrong + (d.syncMisheard ? 6 : 0) + d.tailWrong);
        EXPECT_EQ(content, frame);
    } else {
        EXPECT_EQ(changed, rs::kFailed);
        // The bytes as heard after the parity before, but the sync bytes as sent.
        auto expected = frame;
        std::copy(heard.begin(), heard.begin() + 196, expected.begin() + 24);
        const uint8_t sync[6] = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10};
        std::copy(sync, sync + 6, expected.begin() + 24);
        EXPECT_EQ(content, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FrameRepairDamage,
    ::testing::Values(Damage{"TwelveErrors", 12, 0, Spread::DataAndParity, false, true},
                      Damage{"ThirteenErrors", 13, 0, Spread::DataAndParity, false, false},
                      Damage{"SixteenMarked", 16, 16, Spread::DataAndParity, false, true},
                      Damage{"SixteenMarkedNotANumber", 16, 16, Spread::DataAndParity, false, true,
                             std::numeric_limits<float>::quiet_NaN()},
                      Damage{"SixteenMarkedFourNot", 20, 16, Spread::DataAndParity, false, true},
                      Damage{"EightMarkedTwelveNot", 20, 8, Spread::DataAndParity, false, false},
                      // Beyond errors and erasures (8 + 2 * 12 > 24), but the marked bytes'
                      // second choices put 8 right and leave 12 errors.
                      Damage{"EightMarkedSecondRightTwelveNot", 20, 8, Spread::DataAndParity, false,
                             true, 0.5f, Second::Right},
                      // A frame whose known tail came out as noise is not worth the search.
                      Damage{"EightMarkedSecondRightSixTailWrong", 20, 8, Spread::DataAndParity,
                             false, true, 0.5f, Second::Right, 6},
                      Damage{"EightMarkedSecondRightSevenTailWrong", 20, 8, Spread::DataAndParity,
                             false, false, 0.5f, Second::Right, 7},
                      Damage{"EightMarkedSecondWrongTwelveNot", 20, 8, Spread::DataAndParity, false,
                             false, 0.5f, Second::Wrong},
                      Damage{"SixteenMarkedSecondWrong", 16, 16, Spread::DataAndParity, false, true,
                             0.5f, Second::Wrong},
                      Damage{"TwelveErrorsSyncMisheard", 12, 0, Spread::DataAndParity, true, true},
                      // Past repair, yet every CRC holds: the frame is decoded and logged as it
                      // came, with the sync bytes as sent.
                      Damage{"ParityLostSyncMisheard", 24, 0, Spread::ParityOnly, true, false},
                      Damage{"ThirteenErrorsSyncMisheard", 13, 0, Spread::DataAndParity, true,
                             false}),
    [](const auto& info) { return std::string(info.param.name); });

// The constant tail is known: damage there costs nothing.
TEST(FrameRepairTail, ConstantBytesAreForced) {
    synth::SynthOptions o;
    const auto frame = synth::buildFrame(o, 1), next = synth::buildFrame(o, 2);
    std::array<uint8_t, sent::kFrameBytes> heard{};
    rs::sentFromContent(frame, next, heard);
    for (int b = sent::kTailStart; b < sent::kParityStart; ++b)
        heard[b] = static_cast<uint8_t>(~heard[b]);
    for (int b = 10; b < 22; ++b) // and twelve errors in the data besides
        heard[b] ^= 0x81;
    std::array<float, sent::kFrameBytes> reliability{};
    reliability.fill(5.0f);
    std::array<uint8_t, kFrameBytes> content{};
    FrameRepair repair;
    EXPECT_EQ(repair.repair(std::span(frame).first<24>(), heard, reliability, false, content),
              20 + 12);
    EXPECT_EQ(content, frame);
}

} // namespace
} // namespace nimbo
