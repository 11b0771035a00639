// SPDX-License-Identifier: GPL-3.0-or-later
// Frame content and calibration table of the synthetic sonde: the fixed frame and table
// layout, plausible values that depend on the serial number and drift with the frame number
// or follow the synthetic flight.
#include <bit>
#include <cmath>
#include <stdexcept>

#include "decode/crc16.h"
#include "decode/frame_layout.h"
#include "decode/reed_solomon.h"
#include "dsp/sent_frame.h"
#include "tools/synth/flight.h"
#include "tools/synth/le_bytes.h"
#include "tools/synth/mix.h"
#include "tools/synth/synth.h"

namespace nimbo::synth {

namespace {

// Frame bytes outside the decoded blocks.
constexpr int kParityBytes = rs::kParityBytes; // bytes 0-23: parity of the previous sent frame
constexpr std::array<uint8_t, 6> kFrameHeader = {0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10}; // 24-29
static_assert(kFrameHeader == sent::kSync && kParityBytes == rs::kContentSentStart,
              "content bytes 24-29 start the sent frame that the parity covers");
constexpr uint8_t kSondeBlockId[2] = {0x65, 0x10}; // bytes 30-31
constexpr uint8_t kIdentBytes[2] = {0x07, 0x00};   // bytes 34-35
constexpr uint8_t kByte44 = 0x0F;
constexpr uint8_t kFlagsBase = 0x00; // byte 45 without the humidity switch
constexpr uint8_t kByte46 = 0x00;
constexpr uint8_t kSensorBlockId[2] = {0x69, 0x0C}; // bytes 66-67
constexpr uint8_t kGpsBlockId[2] = {0x67, 0x3D};    // bytes 94-95
constexpr uint8_t kCorruptXor = 0x5A;               // applied to block byte first + 5
constexpr int kCorruptByteInBlock = 5;

// Calibration table: frequency code, words, 66 five-byte coefficient entries.
constexpr int kFreqCodeByte = 2;   // bytes 2-3
constexpr int kFreqCodeBase = 500; // 405.00 MHz; the serial adds 0..99 (up to 405.99 MHz)
constexpr int kFreqCodeSpan = 100;
constexpr int kCoefficientBase = 64; // 66 entries of 5 bytes
constexpr int kCoefficientEntryBytes = 5;
constexpr int kUsedTableBytes = 394;     // bytes 394-511 stay zero
constexpr uint8_t kIndexByteBase = 0x15; // entry n has index byte 0x15 + n (entry 7: 0x1C)
constexpr int kFixedEntry = 7;
constexpr float kFixedCoefficient = -0.0012345678f;

// Sensor channels: references near these 24-bit values, measuring channels between them.
constexpr double kRefLow = 0x0A0000;
constexpr double kRefHigh = 0x1F0000;
constexpr uint64_t kRefSpread = 0x3000; // serial-dependent shift of a reference pair
constexpr uint64_t kPairSpread = 0x200; // difference within a pair: -0x100..+0x0FF
constexpr int kRefJitter = 16;          // per-frame jitter of a reference, counts
constexpr int kChannelJitter = 40;      // per-frame jitter of a measuring channel, counts

// GPS block: time of week in milliseconds, then the week number, then filler.
constexpr int64_t kMsPerWeek = 604800000;
constexpr int64_t kStartMsOfWeek = 345600000; // Thursday 00:00
constexpr int kWeekBase = 2000;

uint64_t serialKey(const std::array<uint8_t, 8>& serial) {
    uint64_t h = 0xCBF29CE484222325ull; // FNV-1a
    for (uint8_t c : serial)
        h = (h ^ c) * 0x100000001B3ull;
    return mix64(h);
}

std::array<uint8_t, 8> serialBytes(const std::string& serial) {
    std::array<uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < serial.size() && i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(serial[i]);
    return bytes;
}

void requireValid(const SynthOptions& options) {
    const std::string problem = checkOptions(options);
    if (!problem.empty()) throw std::invalid_argument(problem);
}

void putCrc(uint8_t* frame, const frame::Block& block) {
    putLE16(frame + block.last + 1,
            crc16CcittFalse(frame + block.first,
                            static_cast<std::size_t>(block.last - block.first + 1)));
}

std::array<float, kCalCoefficients> coefficientsFor(uint64_t key) {
    std::array<float, kCalCoefficients> c{};
    for (int n = 0; n < kCalCoefficients; ++n) {
        const uint64_t h = mixKey(key, 0xC0EF, static_cast<uint64_t>(n));
        const bool negative = (h & 3) == 0;                      // about one in four
        const int exponent = static_cast<int>((h >> 2) % 9) - 6; // 1e-6 .. 1e2
        const double mantissa = 1.0 + 9.0 * unitInterval(mix64(h));
        c[n] = static_cast<float>((negative ? -mantissa : mantissa) * std::pow(10.0, exponent));
    }
    c[kFixedEntry] = kFixedCoefficient;
    return c;
}

std::array<uint8_t, kCalTableBytes> tableFor(const std::array<uint8_t, 8>& serial) {
    const uint64_t key = serialKey(serial);
    std::array<uint8_t, kCalTableBytes> t{};
    // Filler in the unused bytes before the coefficients; words where the layout has them.
    for (int i = 0; i < kCoefficientBase; ++i)
        t[i] = static_cast<uint8_t>(mixKey(key, 0x7AB1E, static_cast<uint64_t>(i)));
    putLE16(&t[kFreqCodeByte], static_cast<uint32_t>(kFreqCodeBase + key % kFreqCodeSpan));
    const std::array<float, kCalCoefficients> c = coefficientsFor(key);
    for (int n = 0; n < kCalCoefficients; ++n) {
        uint8_t* entry = &t[kCoefficientBase + kCoefficientEntryBytes * n];
        entry[0] = calibrationIndexByte(n);
        putLE32(entry + 1, std::bit_cast<uint32_t>(c[n]));
    }
    static_assert(kCoefficientBase + kCoefficientEntryBytes * kCalCoefficients == kUsedTableBytes);
    return t;
}

// Normalised position (0 = low reference, 1 = high) of the measuring channels at an
// unwrapped frame count: temperature and pressure fall, humidity wanders.
double temperatureLevel(double f) {
    return 0.08 + 0.62 * std::exp(-f / 3000.0);
}
double humidityLevel(double f, double phase) {
    return 0.35 + 0.2 * std::sin(f / 700.0 + phase);
}
double pressureLevel(double f) {
    return 0.10 + 0.80 * std::exp(-f / 5000.0);
}

// The plain signal's drifts at the unwrapped frame count; --flight's at the time since
// the first frame sent.
SensorLevels sensorLevels(const SynthOptions& options, int64_t count, int n) {
    if (options.flight) return flightLevels(static_cast<double>(n));
    const double f = static_cast<double>(count);
    return {temperatureLevel(f), humidityLevel(f, 0.0), humidityLevel(f, 0.3) + 0.02,
            pressureLevel(f)};
}

void putSensors(uint8_t* frame, uint64_t key, int64_t count, const SensorLevels& levels) {
    const auto jitter = [&](int channel, int range) {
        const uint64_t h = mixKey(key, static_cast<uint64_t>(count), 0x5E50 + channel);
        return static_cast<int>(h % (2 * range + 1)) - range;
    };
    const double refL1 = kRefLow + static_cast<double>(key % kRefSpread);
    const double refL2 = refL1 + static_cast<double>((key >> 16) % kPairSpread) - kPairSpread / 2;
    const double refH1 = kRefHigh + static_cast<double>((key >> 24) % kRefSpread);
    const double refH2 = refH1 + static_cast<double>((key >> 40) % kPairSpread) - kPairSpread / 2;
    const double low = 0.5 * (refL1 + refL2);
    const double span = 0.5 * (refH1 + refH2) - low;
    // Channel order: Temp, Humd1, Humd2, RefH1, RefH2, Press, RefL1, RefL2.
    const double values[kSensorChannels] = {
        low + span * levels.temperature + jitter(0, kChannelJitter),
        low + span * levels.humidity1 + jitter(1, kChannelJitter),
        low + span * levels.humidity2 + jitter(2, kChannelJitter),
        refH1 + jitter(3, kRefJitter),
        refH2 + jitter(4, kRefJitter),
        low + span * levels.pressure + jitter(5, kChannelJitter),
        refL1 + jitter(6, kRefJitter),
        refL2 + jitter(7, kRefJitter)};
    for (int i = 0; i < kSensorChannels; ++i)
        putLE24(frame + frame::kSensors + 3 * i, static_cast<uint32_t>(std::lround(values[i])));
}

void putGps(uint8_t* frame, uint64_t key, int64_t count) {
    uint8_t* gps = frame + frame::kGpsBlock.first;
    const int64_t msOfWeek = (kStartMsOfWeek + count * 1000) % kMsPerWeek;
    putLE32(gps, static_cast<uint32_t>(msOfWeek));
    putLE16(gps + 4, static_cast<uint32_t>(kWeekBase + key % 300));
    for (int i = 6; i <= frame::kGpsBlock.last - frame::kGpsBlock.first; ++i)
        gps[i] = static_cast<uint8_t>(mixKey(key, static_cast<uint64_t>(count), 0x6000 + i));
}

} // namespace

uint8_t calibrationIndexByte(int n) {
    return static_cast<uint8_t>(kIndexByteBase + n);
}

std::array<uint8_t, kCalTableBytes> calibrationTable(const SynthOptions& options) {
    requireValid(options);
    return tableFor(serialBytes(options.serial));
}

std::array<float, kCalCoefficients> calibrationCoefficients(const SynthOptions& options) {
    requireValid(options);
    return coefficientsFor(serialKey(serialBytes(options.serial)));
}

namespace {

// Frame n's content with its CRCs, before parity and damage; n = -1 is the frame the sonde
// sent just before the first one (its frame number and calibration piece one lower).
std::array<uint8_t, kContentBytes> frameContent(const SynthOptions& options, int n) {
    const std::array<uint8_t, 8> serial = serialBytes(options.serial);
    const uint64_t key = serialKey(serial);
    const int64_t count = static_cast<int64_t>(options.firstFrameNumber) + n; // unwrapped
    std::array<uint8_t, kContentBytes> f{};

    for (int i = 0; i < 6; ++i)
        f[kParityBytes + i] = kFrameHeader[i];

    // Sonde parameter block.
    f[30] = kSondeBlockId[0];
    f[31] = kSondeBlockId[1];
    putLE16(&f[frame::kFrameNumber], static_cast<uint32_t>(count & 0xFFFF));
    f[34] = kIdentBytes[0];
    f[35] = kIdentBytes[1];
    for (int i = 0; i < frame::kSerialLength; ++i)
        f[frame::kSerial + i] = serial[i];
    f[44] = kByte44;
    f[frame::kFlags] =
        static_cast<uint8_t>(kFlagsBase | (options.humidSwap ? 1u << frame::kHumidSwapBit : 0u));
    f[46] = kByte46;
    const int piece = static_cast<int>(
        ((options.firstCalIndex + static_cast<int64_t>(n)) % kCalPieces + kCalPieces) % kCalPieces);
    f[frame::kCalIndex] = static_cast<uint8_t>(piece);
    const std::array<uint8_t, kCalTableBytes> table = tableFor(serial);
    for (int i = 0; i < frame::kCalPieceLength; ++i)
        f[frame::kCalPiece + i] = table[frame::kCalPieceLength * piece + i];
    putCrc(f.data(), frame::kSondeBlock);

    // Sensor block.
    f[66] = kSensorBlockId[0];
    f[67] = kSensorBlockId[1];
    putSensors(f.data(), key, count, sensorLevels(options, count, n));
    putCrc(f.data(), frame::kSensorBlock);

    // GPS block.
    f[94] = kGpsBlockId[0];
    f[95] = kGpsBlockId[1];
    putGps(f.data(), key, count);
    putCrc(f.data(), frame::kGpsBlock);

    return f;
}

} // namespace

std::array<uint8_t, kContentBytes> buildFrame(const SynthOptions& options, int n) {
    requireValid(options);
    if (n < 0) throw std::invalid_argument("frame index must not be negative");
    std::array<uint8_t, kContentBytes> f = frameContent(options, n);

    // Bytes 0-23 end the sent frame that began at byte 24 of the previous frame (for frame 0
    // the one sent before it): the parity of its data, bytes 30-219 and the constant tail that
    // this frame's header is. The previous frame's data are taken undamaged.
    const std::array<uint8_t, kContentBytes> previous = frameContent(options, n - 1);
    std::array<uint8_t, sent::kFrameBytes> frame{};
    rs::sentFromContent(previous, f, frame);
    rs::encode(std::span(frame).subspan<sent::kSyncBytes, sent::kDataBytes>(),
               std::span(f).first<sent::kParityBytes>());

    // Damage on the way: after the CRC (and parity) were computed.
    if (n == options.corruptFrame && options.corruptBlock >= 0) {
        static constexpr frame::Block kBlocks[3] = {frame::kSondeBlock, frame::kSensorBlock,
                                                    frame::kGpsBlock};
        f[kBlocks[options.corruptBlock].first + kCorruptByteInBlock] ^= kCorruptXor;
    }
    return f;
}

} // namespace nimbo::synth
