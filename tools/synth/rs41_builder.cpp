// SPDX-License-Identifier: GPL-3.0-or-later
// The RS41 frame layout of a sonde in flight, block by block, with values from the flight
// model, the drift over the launch site and the GPS clock.
#include "tools/synth/rs41_builder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "decode/crc16.h"
#include "rs41/codewords.h"
#include "tools/synth/flight.h"
#include "tools/synth/gps_clock.h"
#include "tools/synth/le_bytes.h"
#include "tools/synth/mix.h"
#include "tools/synth/rs41_track.h"

namespace nimbo::synth {

namespace {

constexpr int kBlocksStart = rs41::kLengthByte + 1; // 57
constexpr int kBlockOverhead = 4;                   // ID, length, CRC

// The blocks in the order a sonde sends them; the padding ends the frame at byte 320.
struct BlockSpec {
    uint8_t id;
    int length; // data bytes
};
constexpr BlockSpec kLayout[] = {{0x79, 40}, {0x7A, 42}, {0x7C, 30},
                                 {0x7D, 89}, {0x7B, 21}, {0x76, 17}};
constexpr int layoutEnd() {
    int at = kBlocksStart;
    for (const BlockSpec& b : kLayout)
        at += kBlockOverhead + b.length;
    return at;
}
static_assert(layoutEnd() == rs41::kShortFrameBytes, "the blocks fill a 320-byte frame");

// Status block (0x79).
constexpr int kSubframes = 51; // calibration subframes 0..50, 16 bytes each
constexpr int kSubframeBytes = 16;
constexpr int kSerialAt = 2, kSerialBytes = 8;
constexpr int kStatusAt = 10; // battery (tenths of a volt) and flags of a working sonde
constexpr uint8_t kStatus[13] = {0x1A, 0x00, 0x00, 0x03, 0x00, 0x00, 0x0A,
                                 0x00, 0x00, 0x2F, 0x00, 0x07, 0x32};
constexpr int kSubframeAt = 23, kCalibrationAt = 24;
constexpr int kK0At = 2, kK1At = 3; // within subframe 0

// Measurement block (0x7A): temperature, humidity and the humidity sensor's temperature, each a
// measuring channel and two references as 24-bit counts; no pressure sensor (zeros).
constexpr double kTempRef1 = 0x020616, kTempRef2 = 0x02F345;
constexpr double kHumdRef1 = 0x0716A3, kHumdRef2 = 0x081E82;
constexpr int kCountJitter = 24; // counts, frame to frame

// GPS info block (0x7C): week, time of week, then 12 receiver channels of PRN and signal
// quality; unused channels hold PRN 0xFF.
constexpr int kChannels = 12;
constexpr uint8_t kPrns[kRs41Satellites] = {2, 5, 6, 10, 12, 14, 24, 25, 29};
constexpr int kChannelsAt = 6;

// Position block (0x7B): ECEF in cm, velocity in cm/s, satellites, then the speed accuracy and
// the position dilution (tenths) a good fix shows.
constexpr int kVelocityAt = 12, kSatellitesAt = 18;
constexpr uint8_t kSpeedAccuracy = 0x04, kPdop = 0x10;

uint64_t serialKey(const std::string& serial) {
    uint64_t h = 0x41;
    for (char c : serial)
        h = mixKey(h, static_cast<uint8_t>(c));
    return h;
}

void putStatus(uint8_t* d, const SynthOptions& o, int n, uint64_t key) {
    putLE16(d, static_cast<uint32_t>((o.firstFrameNumber + n) & 0xFFFF));
    std::copy(o.serial.begin(), o.serial.end(), d + kSerialAt);
    std::copy(std::begin(kStatus), std::end(kStatus), d + kStatusAt);
    const int subframe = (o.firstCalIndex + n) % kSubframes;
    d[kSubframeAt] = static_cast<uint8_t>(subframe);
    // The calibration table is the sonde's own: the same bytes every time a subframe comes.
    uint8_t* cal = d + kCalibrationAt;
    for (int i = 0; i < kSubframeBytes; ++i)
        cal[i] = static_cast<uint8_t>(mixKey(key, 0xCA1, uint64_t(subframe * kSubframeBytes + i)));
    if (subframe == 0) {
        cal[kK0At] = kRs41FrequencyK0;
        cal[kK1At] = kRs41FrequencyK1;
    }
}

void putMeasurements(uint8_t* d, int n, uint64_t key) {
    const SensorLevels levels = flightLevels(static_cast<double>(n));
    const auto count = [&](double ref1, double ref2, double level, int channel) {
        const uint64_t h = mixKey(key, static_cast<uint64_t>(n), 0x7A00 + channel);
        const int jitter = static_cast<int>(h % (2 * kCountJitter + 1)) - kCountJitter;
        return static_cast<uint32_t>(std::lround(ref1 + (ref2 - ref1) * level) + jitter);
    };
    const double channels[3][3] = {{kTempRef1, kTempRef2, levels.temperature},
                                   {kHumdRef1, kHumdRef2, levels.humidity1},
                                   {kTempRef1, kTempRef2, levels.temperature}};
    for (int c = 0; c < 3; ++c) {
        const auto [ref1, ref2, level] = channels[c];
        putLE24(d + 9 * c, count(ref1, ref2, level, 3 * c));
        putLE24(d + 9 * c + 3, count(ref1, ref2, 0.0, 3 * c + 1));
        putLE24(d + 9 * c + 6, count(ref1, ref2, 1.0, 3 * c + 2));
    }
}

void putGpsInfo(uint8_t* d, const SynthOptions& o, int n, uint64_t key) {
    const GpsTime g = gpsFromUtc(o.startUnixSeconds + n);
    putLE16(d, static_cast<uint32_t>(g.week));
    putLE32(d + 2, g.towMs);
    for (int c = 0; c < kChannels; ++c) {
        uint8_t* ch = d + kChannelsAt + 2 * c;
        const bool used = c < kRs41Satellites;
        ch[0] = used ? kPrns[c] : 0xFF;
        ch[1] =
            used ? static_cast<uint8_t>(0xB0 + mixKey(key, uint64_t(n), 0x7C00 + c) % 0x30) : 0x00;
    }
}

void putPosition(uint8_t* d, const SynthOptions& o, int n) {
    const TrackPoint p = trackAt(o.siteLatitudeDeg, o.siteLongitudeDeg, static_cast<double>(n));
    for (int i = 0; i < 3; ++i) {
        putLE32(d + 4 * i,
                static_cast<uint32_t>(static_cast<int32_t>(std::llround(p.ecef[i] * 100))));
        const long long v = std::clamp(std::llround(p.ecefVelocity[i] * 100), -32768LL, 32767LL);
        putLE16(d + kVelocityAt + 2 * i, static_cast<uint32_t>(static_cast<int16_t>(v)));
    }
    d[kSatellitesAt] = kRs41Satellites;
    d[kSatellitesAt + 1] = kSpeedAccuracy;
    d[kSatellitesAt + 2] = kPdop;
}

} // namespace

int buildRs41Frame(const SynthOptions& o, int n, Rs41Bytes& frame) {
    const std::string problem = checkOptions(o);
    if (!problem.empty()) throw std::invalid_argument(problem);
    if (n < 0) throw std::invalid_argument("frame index must not be negative");
    frame.fill(0);
    if (!o.frameFile.empty()) {
        const std::size_t size = std::min(o.frameFile.size(), frame.size());
        std::copy_n(o.frameFile.begin(), size, frame.begin());
        return static_cast<int>(size);
    }
    const uint64_t key = serialKey(o.serial);
    std::copy(rs41::kHeader.begin(), rs41::kHeader.end(), frame.begin());
    frame[rs41::kLengthByte] = rs41::kShortFrameFlag;
    int at = kBlocksStart;
    for (const BlockSpec& b : kLayout) {
        frame[at] = b.id;
        frame[at + 1] = static_cast<uint8_t>(b.length);
        uint8_t* d = frame.data() + at + 2;
        switch (b.id) {
        case 0x79:
            putStatus(d, o, n, key);
            break;
        case 0x7A:
            putMeasurements(d, n, key);
            break;
        case 0x7C:
            putGpsInfo(d, o, n, key);
            break;
        case 0x7B:
            putPosition(d, o, n);
            break;
        case 0x7D: // raw GPS measurements: filler that changes every frame
            for (int i = 0; i < b.length; ++i)
                d[i] = static_cast<uint8_t>(mixKey(key, uint64_t(n), 0x7D00 + i));
            break;
        default:
            break; // padding: zeros
        }
        putLE16(d + b.length, crc16CcittFalse(d, static_cast<std::size_t>(b.length)));
        at += kBlockOverhead + b.length;
    }
    rs41::encodeFrame(std::span(frame).first(rs41::kShortFrameBytes));
    return rs41::kShortFrameBytes;
}

std::string parseFrameHex(const std::string& text, std::vector<uint8_t>& frame) {
    frame.clear();
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') continue;
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return std::string("not a hexadecimal digit: '") + c + "'";
        if (high < 0) {
            high = v;
        } else {
            frame.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
        if (frame.size() > static_cast<std::size_t>(rs41::kMaxFrameBytes)) break;
    }
    if (high >= 0) return "an odd number of hexadecimal digits";
    if (!rs41::validFrameBytes(static_cast<int>(frame.size())))
        return "a frame has 320 or 518 bytes, not " +
               (frame.size() > static_cast<std::size_t>(rs41::kMaxFrameBytes)
                    ? std::string("more than 518")
                    : std::to_string(frame.size()));
    return {};
}

std::string rs41FrameHex(std::span<const uint8_t> frame) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * frame.size());
    for (uint8_t b : frame) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

} // namespace nimbo::synth
