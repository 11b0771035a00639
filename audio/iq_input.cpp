// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/iq_input.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/iq_blocks.h"
#include "audio/large_reads.h"
#include "dsp/simd_clones.h"

namespace nimbo {
namespace {

// The carrier is searched for within +-10 kHz of the offset, and the signal is +-5 kHz wide
// around it: that much must lie inside the band on either side.
constexpr double kOffsetMarginHz = 15000.0;

std::size_t pairBytes(RawSampleFormat sample) {
    switch (sample) {
    case RawSampleFormat::U8:
        return 2;
    case RawSampleFormat::S16:
        return 4;
    case RawSampleFormat::F32:
        return 8;
    }
    return 4;
}

const char* formatName(RawSampleFormat sample) {
    switch (sample) {
    case RawSampleFormat::U8:
        return "u8";
    case RawSampleFormat::S16:
        return "s16";
    case RawSampleFormat::F32:
        return "f32";
    }
    return "s16";
}

std::string rateProblem(int rate, int lowest) {
    if (rate >= lowest && rate <= kMaxIqRate) return {};
    return "I/Q sample rate " + std::to_string(rate) + " Hz is not supported (" +
           std::to_string(lowest) + " to " + std::to_string(kMaxIqRate) + " Hz)";
}

// Raw pairs to I and Q at full scale 1: u8 is offset binary around 127.5, s16 and f32 are
// little-endian.
NIMBO_SIMD_CLONES void fromU8(const unsigned char* __restrict p, float* __restrict i,
                              float* __restrict q, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        i[k] = (float(p[2 * k]) - 127.5f) * (1.0f / 127.5f);
        q[k] = (float(p[2 * k + 1]) - 127.5f) * (1.0f / 127.5f);
    }
}

NIMBO_SIMD_CLONES void fromS16(const unsigned char* __restrict p, float* __restrict i,
                               float* __restrict q, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        i[k] = float(int16_t(p[4 * k] | (p[4 * k + 1] << 8))) * (1.0f / 32768.0f);
        q[k] = float(int16_t(p[4 * k + 2] | (p[4 * k + 3] << 8))) * (1.0f / 32768.0f);
    }
}

float floatAt(const unsigned char* p) {
    return std::bit_cast<float>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                (uint32_t(p[3]) << 24));
}

void fromF32(const unsigned char* p, float* i, float* q, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        i[k] = cleanIqSample(floatAt(p + 8 * k));
        q[k] = cleanIqSample(floatAt(p + 8 * k + 4));
    }
}

// Raw pairs read 256 KB at a time (a pipe gives what it holds), converted to floats.
class RawIqSource final : public IqBlockSource {
  public:
    RawIqSource(int fd, bool ownsFd, const RawIqFormat& format)
        : IqBlockSource(format.rate, format.offsetHz), fd_(fd), ownsFd_(ownsFd),
          sample_(format.sample), pairBytes_(pairBytes(format.sample)),
          bytes_(new unsigned char[kBufferBytes]) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) totalBytes_ = uint64_t(st.st_size);
    }
    ~RawIqSource() override {
        if (ownsFd_) ::close(fd_);
    }

    double progress() const override {
        return totalBytes_ > 0 ? std::min(1.0, double(consumed_) / double(totalBytes_)) : -1.0;
    }

  private:
    static constexpr std::size_t kBufferBytes = 256 * 1024;

    std::size_t read(float* i, float* q, std::size_t n) override {
        n = std::min(n, kBufferBytes / pairBytes_);
        if (length_ - position_ < n * pairBytes_) refill(n * pairBytes_);
        n = std::min(n, (length_ - position_) / pairBytes_);
        const unsigned char* p = bytes_.get() + position_;
        switch (sample_) {
        case RawSampleFormat::U8:
            fromU8(p, i, q, n);
            break;
        case RawSampleFormat::S16:
            fromS16(p, i, q, n);
            break;
        case RawSampleFormat::F32:
            fromF32(p, i, q, n);
            break;
        }
        position_ += n * pairBytes_;
        consumed_ += n * pairBytes_;
        if (ended_ && length_ - position_ < pairBytes_ && length_ > position_ && error_.empty())
            error_ = "the input ends inside an I/Q pair: " + std::to_string(length_ - position_) +
                     " byte(s) left over (a " + formatName(sample_) + " pair is " +
                     std::to_string(pairBytes_) + " bytes)";
        return n;
    }

    // Moves what is left to the front and reads until `wanted` bytes are in or the input ends.
    void refill(std::size_t wanted) {
        std::memmove(bytes_.get(), bytes_.get() + position_, length_ - position_);
        length_ -= position_;
        position_ = 0;
        while (length_ < wanted && !ended_) {
            const ssize_t got = ::read(fd_, bytes_.get() + length_, kBufferBytes - length_);
            if (got > 0) {
                length_ += static_cast<std::size_t>(got);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                if (got < 0) error_ = std::string("read error: ") + std::strerror(errno);
                ended_ = true;
            }
        }
    }

    int fd_;
    bool ownsFd_;
    RawSampleFormat sample_;
    std::size_t pairBytes_;
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t position_ = 0, length_ = 0; // the unread bytes are [position_, length_)
    uint64_t consumed_ = 0;                 // bytes converted so far
    uint64_t totalBytes_ = 0;               // a regular file's size, else 0
    bool ended_ = false;
};

// The first two channels of an audio file as I and Q, as floats at full scale 1.
class SndfileIqSource final : public IqBlockSource {
  public:
    SndfileIqSource(SNDFILE* file, std::unique_ptr<LargeReadFile> io, const SF_INFO& info,
                    bool regular, double offsetHz)
        : IqBlockSource(info.samplerate, offsetHz), io_(std::move(io)), file_(file),
          channels_(info.channels), totalFrames_(regular ? info.frames : -1),
          frames_(IqDecimator::kMaxInput * static_cast<std::size_t>(info.channels)) {}
    ~SndfileIqSource() override { sf_close(file_); }

    double progress() const override {
        return totalFrames_ > 0 ? std::min(1.0, double(framesRead_) / double(totalFrames_)) : -1.0;
    }

  private:
    std::size_t read(float* i, float* q, std::size_t n) override {
        n = std::min(n, IqDecimator::kMaxInput);
        std::size_t done = 0;
        while (done < n && !ended_) {
            const sf_count_t want = static_cast<sf_count_t>(n - done);
            const sf_count_t got = sf_readf_float(file_, frames_.data(), want);
            const std::size_t m = got > 0 ? static_cast<std::size_t>(got) : 0;
            for (std::size_t k = 0; k < m; ++k) {
                i[done + k] = cleanIqSample(frames_[k * channels_]);
                q[done + k] = cleanIqSample(frames_[k * channels_ + 1]);
            }
            done += m;
            framesRead_ += static_cast<sf_count_t>(m);
            if (got < want) finish();
        }
        return done;
    }

    void finish() {
        ended_ = true;
        if (sf_error(file_) != SF_ERR_NO_ERROR)
            error_ = std::string("read error: ") + sf_strerror(file_);
        else if (io_ && !io_->readError().empty())
            error_ = "read error: " + io_->readError();
        else if (totalFrames_ >= 0 && framesRead_ < totalFrames_)
            error_ = "file is truncated: " + std::to_string(framesRead_) + " of " +
                     std::to_string(totalFrames_) + " sample frames present";
    }

    std::unique_ptr<LargeReadFile> io_; // null where libsndfile opened the path itself
    SNDFILE* file_;
    std::size_t channels_;
    sf_count_t totalFrames_; // -1 for pipes
    sf_count_t framesRead_ = 0;
    bool ended_ = false;
    std::vector<float> frames_;
};

// "" when `path` names something that can be opened as a file, else why not.
std::string pathProblem(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) != 0)
        return path +
               (errno == ENOENT ? ": no such file" : ": " + std::string(std::strerror(errno)));
    if (S_ISDIR(st.st_mode)) return path + ": is a folder, not a file";
    return {};
}

} // namespace

std::string checkIqOffset(double offsetHz, int rate) {
    const double limit = rate / 2.0 - kOffsetMarginHz;
    if (std::isfinite(offsetHz) && std::abs(offsetHz) <= limit) return {};
    const auto hz = [](double v) { return std::to_string(static_cast<long long>(std::floor(v))); };
    if (limit < 0) return "at " + std::to_string(rate) + " Hz the offset must be 0";
    return "offset " + (std::isfinite(offsetHz) ? hz(offsetHz) : std::string("?")) +
           " Hz is too far from the centre: at " + std::to_string(rate) +
           " Hz it must lie within +-" + hz(limit) +
           " Hz (half the rate less 15 kHz for the carrier search and the signal)";
}

std::string checkRawIqFormat(const RawIqFormat& format) {
    std::string problem = rateProblem(format.rate, kMinRawIqRate);
    return problem.empty() ? checkIqOffset(format.offsetHz, format.rate) : problem;
}

std::unique_ptr<BlockSource> openRawIq(int fd, const RawIqFormat& format, std::string& error) {
    error = checkRawIqFormat(format);
    if (!error.empty()) return nullptr;
    return std::make_unique<RawIqSource>(fd, false, format);
}

std::unique_ptr<BlockSource> openRawIqFile(const std::string& path, const RawIqFormat& format,
                                           std::string& error) {
    error = checkRawIqFormat(format);
    if (!error.empty()) return nullptr;
    struct stat st {};
    error = pathProblem(path, st);
    if (!error.empty()) return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<RawIqSource>(fd, true, format);
}

std::unique_ptr<BlockSource> openIqFile(const std::string& path, double offsetHz,
                                        std::string& error) {
    struct stat st {};
    error = pathProblem(path, st);
    if (!error.empty()) return nullptr;
    const bool regular = S_ISREG(st.st_mode);
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::unique_ptr<LargeReadFile> io = regular ? LargeReadFile::open(path) : nullptr;
    if (io) file = sf_open_virtual(LargeReadFile::io(), SFM_READ, &info, io.get());
    if (!file) {
        io.reset();
        info = SF_INFO{};
        file = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (!file) {
        error = path + ": not a readable audio file (" + sf_strerror(nullptr) +
                "); raw I/Q needs --rate and --format";
        return nullptr;
    }
    std::string problem = rateProblem(info.samplerate, kMinIqRate);
    if (problem.empty()) problem = checkIqOffset(offsetHz, info.samplerate);
    if (!problem.empty())
        error = path + ": " + problem;
    else if (info.channels < 2)
        error = path + ": has " + std::to_string(info.channels) +
                " channel; I/Q needs two (left = I, right = Q)";
    else if (regular && info.frames <= 0)
        error = path + ": the file holds no samples";
    if (!error.empty()) {
        sf_close(file);
        return nullptr;
    }
    return std::make_unique<SndfileIqSource>(file, std::move(io), info, regular, offsetHz);
}

} // namespace nimbo
