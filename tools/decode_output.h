// SPDX-License-Identifier: GPL-3.0-or-later
// What nimbo-decode writes while it decodes: JSON lines on stdout, log failures and the
// progress line on stderr, and the exit status these add up to.
#pragma once

#include <chrono>

#include "core/nimbo_core.h"
#include "tools/flight_summary.h"

namespace nimbo::decode_cli {

// On a terminal, text for stderr first clears the progress line it may be written over.
const char* clearLine();

// Exit statuses; --help lists each one (a test holds it to these constants).
constexpr int kExitInput = 1;  // bad input or usage
constexpr int kExitLogs = 3;   // a log could not be written
constexpr int kExitStdout = 4; // standard output could not be written

// Log writes that fail: one line on stderr per episode (it ends when a write lands again),
// not one per frame.
class LogFailureReport {
  public:
    void check(const nimbo::LogWriteFailure& failure);
    bool any() const { return reported_ > 0; }

  private:
    unsigned reported_ = 0;
};

// One JSON line per frame. A failed write to stdout (a full disk, a closed pipe) is said once
// on stderr and ends the JSON output; decoding goes on only when logs are written. Frames
// whose serial and number passed their check are counted for the summary.
class JsonOutput final : public nimbo::CoreHooks {
  public:
    explicit JsonOutput(const nimbo::NimboCore& core) : core_(core) {}
    void frameDecoded() override;
    // RS41 frames that name their sonde (the rest is noise the sync took for a header, or a
    // frame too damaged to say anything).
    void rs41FrameDecoded(const nimbo::rs41::Rs41Frame& frame) override;
    bool failed() const { return failed_; }
    // The JSON summary as the last lines, unless standard output has already failed.
    void writeSummaryJson();
    // A failed log write outranks a failed standard output in the exit status.
    int status() const { return logFailures.any() ? kExitLogs : failed_ ? kExitStdout : 0; }
    LogFailureReport logFailures;
    nimbo::FlightSummary summary;
    long frames = 0; // frame lines so far, for the progress line

  private:
    void flush();
    const nimbo::NimboCore& core_;
    bool failed_ = false;
};

// One line on a terminal's stderr: how far through the file and the frames so far, redrawn
// in place at most four times a second. Only for files over a minute: shorter ones are done
// before it would be read. The length is worked out from the progress after the first second.
class ProgressLine {
  public:
    explicit ProgressLine(bool terminal) : terminal_(terminal) {}
    void update(double fraction, long frames);
    // Clears the line, leaving the cursor where it began.
    void finish();

  private:
    bool terminal_;
    bool shown_ = false;
    int blocks_ = 0;
    std::chrono::steady_clock::time_point drawn_{};
};

} // namespace nimbo::decode_cli
