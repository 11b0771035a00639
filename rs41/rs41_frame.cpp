// SPDX-License-Identifier: GPL-3.0-or-later
// RS41 frame decoding: length, correction, block walk, then the fields of the blocks that hold.
#include "rs41/rs41_frame.h"

#include <algorithm>
#include <cstring>

namespace nimbo::rs41 {

namespace {

// Places within the blocks' data, bytes.
constexpr int kFrameNumberAt = 0;                                // uint16
constexpr int kSerialAt = 2;                                     // 8 ASCII characters
constexpr int kSubframeAt = 23;                                  // calibration subframe index
constexpr int kCalibrationAt = 24;                               // its 16 bytes
constexpr int kStatusNeeds = kCalibrationAt + kCalibrationBytes; // 40
constexpr int kWeekAt = 0;                                       // uint16
constexpr int kTowAt = 2;                                        // uint32, ms
constexpr int kGpsInfoNeeds = kTowAt + 4;
constexpr int kEcefAt = 0;        // 3 x int32, cm
constexpr int kVelocityAt = 12;   // 3 x int16, cm/s
constexpr int kSatellitesAt = 18; // uint8
constexpr int kPositionNeeds = kSatellitesAt + 1;

constexpr double kMetresPerCm = 0.01;
constexpr double kBaseMHz = 400.0;
constexpr double kStepMHz = 0.04; // per unit of k1 + k0 / 256
constexpr int kK0At = 2, kK1At = 3;

uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void readStatus(Rs41Frame& f, const uint8_t* d) {
    f.hasStatus = true;
    f.frameNumber = u16(d + kFrameNumberAt);
    for (int i = 0; i < kSerialLength; ++i) {
        const uint8_t c = d[kSerialAt + i];
        f.serial[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    f.serial[kSerialLength] = '\0';
    f.subframe = d[kSubframeAt];
    f.hasCalibration = f.subframe < kCalibrationSubframes;
    std::memcpy(f.calibration.data(), d + kCalibrationAt, kCalibrationBytes);
}

void readGpsInfo(Rs41Frame& f, const uint8_t* d) {
    f.gpsWeek = u16(d + kWeekAt);
    f.timeOfWeekMs = u32(d + kTowAt);
    if (f.timeOfWeekMs >= kMillisecondsPerWeek) return;
    f.hasTime = true;
    f.utc = utcFromGps(f.gpsWeek, f.timeOfWeekMs);
    f.datetime = isoDateTime(f.utc);
}

void readPosition(Rs41Frame& f, const uint8_t* d) {
    f.hasPosition = true;
    for (int i = 0; i < 3; ++i) {
        f.ecef[i] = static_cast<int32_t>(u32(d + kEcefAt + 4 * i)) * kMetresPerCm;
        f.ecefVelocity[i] = static_cast<int16_t>(u16(d + kVelocityAt + 2 * i)) * kMetresPerCm;
    }
    f.position = geodeticFromEcef(f.ecef[0], f.ecef[1], f.ecef[2]);
    f.motion = motionFromEcef(f.ecefVelocity[0], f.ecefVelocity[1], f.ecefVelocity[2], f.position);
    f.satellites = d[kSatellitesAt];
}

} // namespace

bool decodeFrame(std::span<const uint8_t> bytes, std::span<const int> unreliable, Rs41Frame& frame,
                 bool retryErrorsAlone) {
    frame = Rs41Frame{};
    if (bytes.size() < static_cast<std::size_t>(kShortFrameBytes)) return false;
    const int available = static_cast<int>(std::min<std::size_t>(bytes.size(), kMaxFrameBytes));
    const uint8_t flag = bytes[kLengthByte];

    // Lengths to try: the one the length byte is nearer to, then the other (a damaged length
    // byte is one byte error, which the correction at the right length puts right). A
    // correction counts only if it leaves the length byte naming the length it was tried at.
    int tries[2] = {nearestFrameBytes(flag), 0};
    tries[1] = tries[0] == kShortFrameBytes ? kLongFrameBytes : kShortFrameBytes;
    const int count = static_cast<int>( // 320 always stays
        std::remove_if(tries, tries + 2, [&](int n) { return n > available; }) - tries);

    Correction first;
    for (int t = 0; t < count && !frame.rsOk; ++t) {
        const int n = tries[t];
        std::copy(bytes.begin(), bytes.begin() + n, frame.bytes.begin());
        frame.frameBytes = n;
        Correction c = correctFrame(std::span(frame.bytes).first(n), unreliable, retryErrorsAlone);
        if (c.corrected != rs::kFailed && frameBytesFromFlag(frame.bytes[kLengthByte]) != n)
            c = Correction{}; // a codeword of the other length: not this frame
        if (t == 0) first = c;
        frame.rsOk = c.corrected != rs::kFailed;
        frame.correction = c;
    }
    if (!frame.rsOk) { // the nearer length's bytes as they came
        frame.frameBytes = tries[0];
        std::copy(bytes.begin(), bytes.begin() + tries[0], frame.bytes.begin());
        frame.correction = first;
    }
    frame.lengthFlagOk = frameBytesFromFlag(flag) == frame.frameBytes;

    const std::span<const uint8_t> f = std::span(frame.bytes).first(frame.frameBytes);
    walkBlocks(f, frame.walk);
    frame.good = frame.rsOk && frame.walk.allCrcOk;

    for (int i = 0; i < frame.walk.count; ++i) {
        const Block& b = frame.walk.blocks[i];
        if (!b.crcOk) continue;
        const uint8_t* d = f.data() + b.data;
        if (b.id == kStatusBlock && b.length >= kStatusNeeds && !frame.hasStatus)
            readStatus(frame, d);
        else if (b.id == kGpsInfoBlock && b.length >= kGpsInfoNeeds && !frame.hasTime)
            readGpsInfo(frame, d);
        else if (b.id == kGpsPositionBlock && b.length >= kPositionNeeds && !frame.hasPosition)
            readPosition(frame, d);
    }
    return frame.good;
}

std::span<const uint8_t> blockData(const Rs41Frame& frame, const Block& block) {
    return std::span(frame.bytes).subspan(block.data, block.length);
}

const Block* findBlock(const Rs41Frame& frame, uint8_t id) {
    for (int i = 0; i < frame.walk.count; ++i)
        if (frame.walk.blocks[i].id == id && frame.walk.blocks[i].crcOk)
            return &frame.walk.blocks[i];
    return nullptr;
}

double frequencyFromSubframe0(std::span<const uint8_t, kCalibrationBytes> subframe0) {
    return kBaseMHz + (subframe0[kK1At] + subframe0[kK0At] / 256.0) * kStepMHz;
}

void Rs41Sonde::update(Rs41Frame& frame) {
    if (frame.rsOk && frame.hasStatus) {
        if (frame.serial != serial_) {
            reset();
            serial_ = frame.serial;
        }
        if (frame.hasCalibration && frame.subframe == 0) {
            frequencyMHz_ = frequencyFromSubframe0(frame.calibration);
            frequencyKnown_ = true;
        }
    }
    // Only a frame that names this sonde gets its frequency.
    frame.hasFrequency = frequencyKnown_ && frame.hasStatus && frame.serial == serial_;
    frame.frequencyMHz = frame.hasFrequency ? frequencyMHz_ : 0.0;
}

} // namespace nimbo::rs41
