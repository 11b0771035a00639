// SPDX-License-Identifier: GPL-3.0-or-later
// The replay of a recorded raw frame log: lines of 220 hexadecimal bytes decoded through
// the core as if received, the chart stepping once per frame number. Platform-free; the
// window and nimbo-decode drive it a line at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/nimbo_core.h"
#include "decode/readout.h"

namespace nimbo {

// A frame line: 220 two-digit fields and the commas between them, then its line end.
inline constexpr int kLogLineChars = 3 * kFrameBytes - 1;
static_assert(kLogLineChars == 659);
// One read takes at most this many characters, the line end included.
inline constexpr int kImportLineBuffer = 1024;

// Characters 3i and 3i + 1 of `line` are the high and low digits of frame byte i; each
// digit's low four bits go to its four cells, lowest bit to the lowest cell. The rule
// takes 0-9, A-F and a-f alike; the separators are not looked at.
void logLineToCells(const char* line, uint8_t* cells);

// Whether the kLogLineChars characters of `line` are a frame as the raw log writes it:
// two hexadecimal digits (either case) per byte, a comma between bytes. Anything else,
// junk of the right length included, is not a frame and is skipped.
bool isFrameLine(const char* line);

// The progress window's Label1: "Load Frame No. : n".
LabelText loadFrameText(int frameNumber);

class LogImport {
  public:
    enum class Step {
        Frame, // a line was decoded and the chart stepped
        Busy,  // many lines read, none of them a frame: a chance to keep the window alive
        End,   // end of the file (as it was when opened) or a read error (readError())
    };

    explicit LogImport(NimboCore& core) : core_(core) {}

    // Opens the log; false when it cannot be read. Only the bytes present now are read, so
    // a log that grows meanwhile (the same file being logged into) still ends.
    bool open(const std::string& path);
    // Reads on to the next frame line and replays it: decodeFrame, the chart's gap steps
    // (disarmed) for numbers missing since the previous line, then its own step.
    Step step();
    void close() { file_.reset(); }

    // The frame number of the last replayed line, whatever its checks gave; -1 before.
    int frameNumber() const { return previous_; }
    int framesReplayed() const { return frames_; }
    // The errno of a read that failed and ended the replay early; 0 when it ran to the end.
    int readError() const { return readError_; }
    // Gap steps for `missing` absent frame numbers: bounded at the chart's height in
    // steps, after which the chart is blank anyway and further steps change nothing seen.
    int gapSteps(int missing) const;

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    // Records the read's errno and ends the replay.
    Step failed();

    NimboCore& core_;
    std::unique_ptr<std::FILE, Closer> file_;
    long size_ = 0;
    bool inLongLine_ = false; // the previous read ended inside a line
    int previous_ = -1;
    int frames_ = 0;
    int readError_ = 0;
    char line_[kImportLineBuffer] = {};
    uint8_t cells_[kFrameBits] = {};
};

} // namespace nimbo
