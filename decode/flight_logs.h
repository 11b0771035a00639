// The per-sonde files written while logging is on: the raw frame log and the sensor log
// (a line each per logged frame) and the two calibration files (once per sonde).
#pragma once

#include <string>
#include <utility>

#include "decode/calibration.h"
#include "decode/decoded_frame.h"

namespace nimbo {

class FlightLogs {
  public:
    // The folder beneath which raw/, sens/, calraw/ and caldata/ are written.
    void setFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& folder() const { return folder_; }

    // SpeedButton1: logging on or off.
    void setOn(bool on) { on_ = on; }
    bool on() const { return on_; }

    // A line in raw/<serial>.txt and in sens/<serial>.csv (the header line first).
    void logFrame(const DecodedFrame& frame) const;
    // calraw/<serial>.txt and caldata/<serial>.txt; an existing file is left untouched.
    void writeCalibrationFiles(const char* serial, const CalibrationCollection& cal) const;

  private:
    std::string folder_ = ".";
    bool on_ = false;
};

} // namespace nimbo
