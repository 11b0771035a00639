// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/decode_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/frame_json.h"
#include "tools/rs41_json.h"

namespace nimbo::decode_cli {

const char* clearLine() {
    static const bool terminal = isatty(STDERR_FILENO) != 0;
    return terminal ? "\r\033[K" : "";
}

void LogFailureReport::check(const nimbo::LogWriteFailure& failure) {
    if (failure.episodes == reported_) return;
    reported_ = failure.episodes;
    std::fprintf(stderr, "%snimbo-decode: %s\n", clearLine(), failure.text.c_str());
}

void JsonOutput::frameDecoded() {
    logFailures.check(core_.logWriteFailure());
    ++frames;
    const nimbo::DecodedFrame& f = core_.frame();
    if (f.sondeBlockOk)
        summary.add(nimbo::FlightSummary::Type::Rs92, f.serialNumber, f.frameNumber,
                    f.sensorBlockOk && f.gpsBlockOk, f.rsCorrected > 0, f.calIndex);
    if (failed_) return;
    nimbo::writeFrameJson(stdout, core_);
    flush();
}

void JsonOutput::rs41FrameDecoded(const nimbo::rs41::Rs41Frame& frame) {
    logFailures.check(core_.logWriteFailure());
    if (!frame.hasStatus) return;
    ++frames;
    summary.add(nimbo::FlightSummary::Type::Rs41, frame.serial.data(), frame.frameNumber,
                frame.good, frame.correction.corrected > 0,
                frame.hasCalibration ? frame.subframe : -1);
    if (failed_) return;
    nimbo::writeRs41Json(stdout, frame);
    flush();
}

void JsonOutput::writeSummaryJson() {
    if (failed_) return;
    summary.writeJson(stdout);
    flush();
}

void JsonOutput::flush() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        failed_ = true;
        std::fprintf(stderr, "%snimbo-decode: cannot write to standard output: %s\n", clearLine(),
                     std::strerror(errno));
    }
}

void ProgressLine::update(double fraction, long frames) {
    if (!terminal_ || fraction <= 0.0) return;
    ++blocks_;
    if (!shown_) {
        constexpr int kDecideAfter = 10;     // blocks of 0.1 s
        constexpr double kLongerThan = 60.0; // seconds of audio
        if (blocks_ != kDecideAfter || blocks_ * 0.1 / fraction <= kLongerThan) return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - drawn_ < std::chrono::milliseconds(250)) return;
    shown_ = true;
    drawn_ = now;
    std::fprintf(stderr, "\r%3d%%  %ld frames", static_cast<int>(fraction * 100.0), frames);
    std::fflush(stderr);
}

void ProgressLine::finish() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
}

} // namespace nimbo::decode_cli
