// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log_import.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace nimbo {
namespace {

// Reads between two chances for the window to run its events when no frame turns up.
constexpr int kReadsPerPoll = 256;

int digitValue(char c) {
    const int code = static_cast<unsigned char>(c);
    return (code < 'A' ? code - '0' : code - ('A' - 10)) & 0xF;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

bool isFrameLine(const char* line) {
    for (int i = 0; i < kLogLineChars; ++i) {
        const bool ok = i % 3 == 2 ? line[i] == ',' : isHexDigit(line[i]);
        if (!ok) return false;
    }
    return true;
}

void logLineToCells(const char* line, uint8_t* cells) {
    uint8_t bytes[kFrameBytes];
    for (int i = 0; i < kFrameBytes; ++i)
        bytes[i] = static_cast<uint8_t>(digitValue(line[3 * i]) << 4 | digitValue(line[3 * i + 1]));
    unpackFrameBytes(bytes, cells);
}

LabelText loadFrameText(int frameNumber) {
    LabelText text{};
    setLabel(text, "Load Frame No. : %d", frameNumber);
    return text;
}

bool LogImport::open(const std::string& path) {
    // Only a regular file has an end to read up to; a folder or a pipe is not a log.
    std::error_code ec;
    file_.reset();
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) return false;
    if (std::fseek(file_.get(), 0, SEEK_END) != 0 || (size_ = std::ftell(file_.get())) < 0 ||
        std::fseek(file_.get(), 0, SEEK_SET) != 0) {
        file_.reset();
        return false;
    }
    inLongLine_ = false;
    previous_ = -1;
    frames_ = 0;
    readError_ = 0;
    return true;
}

int LogImport::gapSteps(int missing) const {
    return std::min(missing, core_.graph().stepsPerChart());
}

LogImport::Step LogImport::step() {
    if (!file_) return Step::End;
    for (int read = 0; read < kReadsPerPoll; ++read) {
        const long at = std::ftell(file_.get());
        if (at < 0) return failed();
        if (at >= size_) return Step::End;
        const int room = static_cast<int>(std::min<long>(kImportLineBuffer, size_ - at + 1));
        if (!std::fgets(line_, room, file_.get()))
            return std::ferror(file_.get()) ? failed() : Step::End;
        const long got = std::ftell(file_.get()) - at;
        const bool ended = got > 0 && line_[got - 1] == '\n';
        const bool startsLine = !inLongLine_;
        inLongLine_ = !ended;
        // A line longer than the buffer is skipped whole, its tail included; so is a
        // last line without its end, and one holding a NUL.
        const size_t length = std::strlen(line_);
        if (!startsLine || !ended || length != static_cast<size_t>(got)) continue;
        // CR LF (this program's own files) counts as one line end, as LF alone does.
        size_t chars = length - 1;
        if (chars > 0 && line_[chars - 1] == '\r') --chars;
        if (chars != static_cast<size_t>(kLogLineChars) || !isFrameLine(line_)) continue;

        logLineToCells(line_, cells_);
        core_.decodeFrame(cells_);
        const uint8_t* bytes = core_.frame().frameBytes.data();
        const int n = bytes[frame::kFrameNumber] | bytes[frame::kFrameNumber + 1] << 8;
        if (previous_ >= 0 && n > previous_ + 1) {
            for (int s = gapSteps(n - previous_ - 1); s > 0; --s)
                core_.graphStep(false);
        }
        previous_ = n;
        core_.graphStep();
        ++frames_;
        return Step::Frame;
    }
    return Step::Busy;
}

LogImport::Step LogImport::failed() {
    readError_ = errno != 0 ? errno : EIO;
    file_.reset();
    return Step::End;
}

} // namespace nimbo
