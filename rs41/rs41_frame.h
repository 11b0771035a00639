// SPDX-License-Identifier: GPL-3.0-or-later
// One RS41 frame decoded: its length, the Reed-Solomon correction, the blocks and their
// CRCs, and the fields of the status, GPS time and GPS position blocks. Fixed-size, so a
// receiver can keep one and decode into it every second without allocating.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "rs41/blocks.h"
#include "rs41/codewords.h"
#include "rs41/geodesy.h"
#include "rs41/gps_time.h"

namespace nimbo::rs41 {

inline constexpr int kSerialLength = 8;
inline constexpr int kCalibrationBytes = 16;     // one subframe of the calibration table
inline constexpr int kCalibrationSubframes = 51; // indices 0..50

struct Rs41Frame {
    // The frame, descrambled and corrected (when the correction succeeded); frameBytes of it
    // are the frame.
    std::array<uint8_t, kMaxFrameBytes> bytes{};
    int frameBytes = 0; // 320 or 518; 0 when fewer than 320 bytes came
    // The length byte as received named frameBytes. The length is the one whose correction
    // succeeded and left the length byte naming it, trying the flag nearer to the byte
    // received first; when neither length corrects, the nearer one (320 on a tie).
    bool lengthFlagOk = false;

    Correction correction; // corrected: bytes changed, or rs::kFailed
    bool rsOk = false;     // both codewords clean or corrected
    BlockWalk walk;
    bool good = false; // rsOk and walk.allCrcOk: the only frames to trust whole

    // Each field below is read only from a block whose CRC holds and that is long enough.
    bool hasStatus = false;
    uint16_t frameNumber = 0;
    std::array<char, kSerialLength + 1> serial{}; // unprintable bytes shown as '?'
    bool hasCalibration = false;                  // subframe index 0..50
    int subframe = 0;
    std::array<uint8_t, kCalibrationBytes> calibration{};

    bool hasTime = false; // the week's time was in range
    uint16_t gpsWeek = 0;
    uint32_t timeOfWeekMs = 0;
    UtcTime utc;
    IsoText datetime{}; // "2014-07-07T12:37:38Z"

    bool hasPosition = false;
    std::array<double, 3> ecef{};         // m
    std::array<double, 3> ecefVelocity{}; // m/s
    Geodetic position;
    Motion motion;
    int satellites = 0;

    // Filled by Rs41Sonde::update once the sonde has sent calibration subframe 0.
    bool hasFrequency = false;
    double frequencyMHz = 0.0;
};

// Decodes a descrambled frame. `bytes` holds 320 to 518 bytes from the header on (a receiver
// that does not yet know the length may give 518); the length byte decides how many belong to
// the frame. `unreliable` lists frame byte positions for erasure (see correctFrame for
// `retryErrorsAlone`). Returns frame.good.
bool decodeFrame(std::span<const uint8_t> bytes, std::span<const int> unreliable, Rs41Frame& frame,
                 bool retryErrorsAlone = true);

// The data bytes of a block of the frame (e.g. for the measurement and XDATA hex).
std::span<const uint8_t> blockData(const Rs41Frame& frame, const Block& block);
// The first block with that ID whose CRC holds, or nullptr.
const Block* findBlock(const Rs41Frame& frame, uint8_t id);

// What stays known about one sonde between frames: its transmit frequency, heard in
// calibration subframe 0 (one frame in 51). A new serial forgets it.
class Rs41Sonde {
  public:
    // Learns from a frame whose correction did not fail and fills in its frequency.
    void update(Rs41Frame& frame);
    void reset() { *this = Rs41Sonde(); }

  private:
    std::array<char, kSerialLength + 1> serial_{};
    bool frequencyKnown_ = false;
    double frequencyMHz_ = 0.0;
};

// 400 MHz + (k1 + k0 / 256) x 40 kHz, from bytes 2 (k0) and 3 (k1) of calibration subframe 0.
double frequencyFromSubframe0(std::span<const uint8_t, kCalibrationBytes> subframe0);

} // namespace nimbo::rs41
