// SPDX-License-Identifier: GPL-3.0-or-later
// The per-sonde files written while logging is on: the raw frame log and the sensor log
// (a line each per logged frame) and the two calibration files (once per sonde).
#pragma once

#include <string>
#include <utility>

#include "decode/calibration.h"
#include "decode/decoded_frame.h"

namespace nimbo {

// Log writing as the user is told of it. An episode of failures starts with a step
// (a frame's lines, the calibration files) in which a write failed and ends with the
// next step whose writes all landed; one report per episode, not one per frame.
struct LogWriteFailure {
    std::string text;      // the latest failure: "cannot write <path>: <reason>"
    unsigned episodes = 0; // episodes so far, the current one included
    bool active = false;   // the current episode has not ended yet
};

class FlightLogs {
  public:
    // The folder beneath which raw/, sens/, calraw/ and caldata/ are written.
    void setFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& folder() const { return folder_; }

    // SpeedButton1: logging on or off.
    void setOn(bool on) { on_ = on; }
    bool on() const { return on_; }

    // A line in raw/<serial>.txt and in sens/<serial>.csv (the header line first).
    // True when both landed.
    bool logFrame(const DecodedFrame& frame);
    // calraw/<serial>.txt and caldata/<serial>.txt; an existing file is left untouched.
    // True when both files are there afterwards.
    bool writeCalibrationFiles(const char* serial, const CalibrationCollection& cal);

    // Ends a step: the writes since the last call start, continue or end an episode.
    void settle();
    // The user switched logging off: a failure episode is over with it.
    void dropFailure() { failure_.active = false; }
    const LogWriteFailure& failure() const { return failure_; }
    // Counts a write of this step (the RS41's files go through here too): passes `ok` on.
    bool noteWrite(bool ok, const std::string& error);

  private:

    std::string folder_ = ".";
    bool on_ = false;
    LogWriteFailure failure_;
    bool stepWrote_ = false;  // a write landed since the last settle()
    bool stepFailed_ = false; // a write failed since the last settle()
    std::string stepError_;   // the first failure since the last settle()
};

} // namespace nimbo
