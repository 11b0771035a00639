// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audio_input.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "audio/container_check.h"
#include "audio/large_reads.h"
#include "audio/pcm_blocks.h"

namespace nimbo {
namespace {

// 16-bit and narrower integer files are read as 16-bit samples, exactly as stored; others
// as floats, which libsndfile scales to +-1 from integers and leaves as stored (+-1 full
// scale) in float files, so every kind comes out right.
SampleType sampleTypeOf(const SF_INFO& info) {
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return SampleType::Int16;
    default:
        return SampleType::Float;
    }
}

class SndfileSource final : public PcmBlockSource {
  public:
    SndfileSource(SNDFILE* file, std::unique_ptr<LargeReadFile> io, const SF_INFO& info, int lanes,
                  int channel, bool regular, std::string path)
        : PcmBlockSource(info.samplerate, lanes, sampleTypeOf(info)), io_(std::move(io)),
          file_(file), channels_(info.channels), channel_(channel),
          totalFrames_(regular ? info.frames : -1), path_(std::move(path)),
          buffer_(kReadFrames * static_cast<std::size_t>(info.channels) * sizeof(float)) {}
    ~SndfileSource() override { sf_close(file_); }

    double progress() const override {
        return totalFrames_ > 0 ? std::min(1.0, double(framesRead_) / double(totalFrames_)) : -1.0;
    }

  private:
    static constexpr std::size_t kReadFrames = 1024;

    std::size_t readShortFrames(int16_t* frames, std::size_t maxFrames) override {
        return readFrames(
            frames, maxFrames, [](int16_t s) { return s; }, sf_readf_short);
    }
    std::size_t readFloatFrames(float* frames, std::size_t maxFrames) override {
        return readFrames(frames, maxFrames, finiteSample, sf_readf_float);
    }

    // Reads whole frames of the file and keeps the lanes wanted, cleaned by `clean`.
    template <typename T, typename Clean>
    std::size_t readFrames(T* frames, std::size_t maxFrames, Clean clean,
                           sf_count_t (*readf)(SNDFILE*, T*, sf_count_t)) {
        const int lanes = this->lanes();
        T* buffer = reinterpret_cast<T*>(buffer_.data());
        std::size_t done = 0;
        while (done < maxFrames && !ended_) {
            const auto want = static_cast<sf_count_t>(std::min(kReadFrames, maxFrames - done));
            const sf_count_t got = readf(file_, buffer, want);
            const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
            // One loop per layout, so that each runs without a branch per frame.
            T* out = frames + done * lanes;
            if (lanes == 2) {
                for (std::size_t i = 0; i < n; ++i) {
                    out[2 * i] = clean(buffer[i * channels_]);
                    out[2 * i + 1] = clean(buffer[i * channels_ + 1]);
                }
            } else {
                const T* in = buffer + (channels_ > 1 ? channel_ : 0);
                for (std::size_t i = 0; i < n; ++i)
                    out[i] = clean(in[i * channels_]);
            }
            done += n;
            framesRead_ += got > 0 ? got : 0;
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
        else if (totalFrames_ >= 0)
            error_ = containerShortfall(path_); // decoded up to there
    }

    std::unique_ptr<LargeReadFile> io_; // null where libsndfile opened the path itself
    SNDFILE* file_;
    int channels_;
    int channel_;
    sf_count_t totalFrames_; // -1 for pipes: read to their end, whatever the header says
    std::string path_;
    sf_count_t framesRead_ = 0;
    bool ended_ = false;
    std::vector<unsigned char> buffer_; // one read's frames, 16-bit or float
};

std::size_t bytesPerSample(RawSampleFormat sample) {
    switch (sample) {
    case RawSampleFormat::U8:
        return 1;
    case RawSampleFormat::S16:
        return 2;
    case RawSampleFormat::F32:
        return 4;
    }
    return 2;
}

class RawPcmSource final : public PcmBlockSource {
  public:
    RawPcmSource(int fd, const RawPcmFormat& format, int lanes, int channel)
        : PcmBlockSource(format.rate, lanes,
                         format.sample == RawSampleFormat::F32 ? SampleType::Float
                                                               : SampleType::Int16),
          fd_(fd), format_(format), channel_(channel),
          frameBytes_(bytesPerSample(format.sample) * format.channels),
          bytes_(kReadFrames * frameBytes_) {}

  private:
    static constexpr std::size_t kReadFrames = 2048;

    std::size_t readShortFrames(int16_t* frames, std::size_t maxFrames) override {
        return readFrames(frames, maxFrames);
    }
    std::size_t readFloatFrames(float* frames, std::size_t maxFrames) override {
        return readFrames(frames, maxFrames);
    }

    template <typename T> std::size_t readFrames(T* frames, std::size_t maxFrames) {
        const int lanes = this->lanes();
        std::size_t done = 0;
        while (done < maxFrames && !ended_) {
            const std::size_t want = std::min(kReadFrames, maxFrames - done);
            const std::size_t n = fill(want * frameBytes_) / frameBytes_;
            for (std::size_t i = 0; i < n; ++i) {
                const unsigned char* frame = bytes_.data() + i * frameBytes_;
                T* out = frames + (done + i) * lanes;
                if (lanes == 2) {
                    out[0] = sampleAt(frame, 0, T{});
                    out[1] = sampleAt(frame, 1, T{});
                } else {
                    out[0] = sampleAt(frame, format_.channels == 2 ? channel_ : 0, T{});
                }
            }
            done += n;
            if (n < want) ended_ = true;
        }
        return done;
    }

    // Reads until `wanted` bytes are in or the stream ends; a trailing part of a frame at
    // the very end cannot be played and is dropped.
    std::size_t fill(std::size_t wanted) {
        std::size_t have = 0;
        while (have < wanted) {
            const ssize_t n = ::read(fd_, bytes_.data() + have, wanted - have);
            if (n > 0) {
                have += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n < 0) error_ = std::string("read error: ") + std::strerror(errno);
                break;
            }
        }
        return have;
    }

    // s16 and u8 as 16-bit samples (u8 centred on 128, scaled by 256).
    int16_t sampleAt(const unsigned char* frame, int channel, int16_t) const {
        const unsigned char* p = frame + channel * bytesPerSample(format_.sample);
        if (format_.sample == RawSampleFormat::U8) return static_cast<int16_t>((p[0] - 128) * 256);
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    }

    float sampleAt(const unsigned char* frame, int channel, float) const {
        const unsigned char* p = frame + channel * bytesPerSample(format_.sample);
        const uint32_t bits = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                              (uint32_t(p[3]) << 24);
        return finiteSample(std::bit_cast<float>(bits));
    }

    int fd_;
    RawPcmFormat format_;
    int channel_;
    std::size_t frameBytes_;
    bool ended_ = false;
    std::vector<unsigned char> bytes_;
};

std::string checkRate(int rate) {
    if (rate >= kMinInputRate && rate <= kMaxInputRate) return {};
    return "sample rate " + std::to_string(rate) + " Hz is not supported (" +
           std::to_string(kMinInputRate) + " to " + std::to_string(kMaxInputRate) + " Hz)";
}

bool validChannel(int channel) {
    return channel == kBothChannels || channel == 0 || channel == 1;
}

} // namespace

std::unique_ptr<BlockSource> openAudioFile(const std::string& path, std::string& error,
                                           int channel) {
    // stat, not open: a FIFO or a process substitution can be read only once.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error =
            path + (errno == ENOENT ? ": no such file" : ": " + std::string(std::strerror(errno)));
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + ": is a folder, not an audio file";
        return nullptr;
    }
    if (!validChannel(channel)) channel = kBothChannels;
    const bool regular = S_ISREG(st.st_mode);
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::unique_ptr<LargeReadFile> io = regular ? LargeReadFile::open(path) : nullptr;
    if (io) file = sf_open_virtual(LargeReadFile::io(), SFM_READ, &info, io.get());
    if (!file) {
        // Pipes, and formats libsndfile knows only by the file's name, through the path.
        io.reset();
        info = SF_INFO{};
        file = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (!file) {
        error = path + ": not a readable audio file (" + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    const std::string rateProblem = checkRate(info.samplerate);
    if (!rateProblem.empty()) {
        error = path + ": " + rateProblem;
    } else if (info.channels < 1) {
        error = path + ": no audio channels";
    } else if (regular && info.frames <= 0) {
        error = path + ": the file holds no audio";
    } else {
        const int lanes = info.channels >= 2 && channel == kBothChannels ? 2 : 1;
        auto source = std::make_unique<SndfileSource>(file, std::move(io), info, lanes, channel,
                                                      regular, path);
        if (source->ready()) return source;
        error = path + ": " + source->error();
        return nullptr; // the source closed the file
    }
    sf_close(file);
    return nullptr;
}

std::string checkRawPcmFormat(const RawPcmFormat& format) {
    if (format.channels != 1 && format.channels != 2)
        return "raw PCM must have 1 or 2 channels, not " + std::to_string(format.channels);
    return checkRate(format.rate);
}

std::unique_ptr<BlockSource> openRawPcm(int fd, const RawPcmFormat& format, std::string& error,
                                        int channel) {
    error = checkRawPcmFormat(format);
    if (!error.empty()) return nullptr;
    if (!validChannel(channel)) channel = kBothChannels;
    const int lanes = format.channels == 2 && channel == kBothChannels ? 2 : 1;
    auto source = std::make_unique<RawPcmSource>(fd, format, lanes, channel);
    if (!source->ready()) {
        error = source->error();
        return nullptr;
    }
    return source;
}

std::unique_ptr<BlockSource> openRawPcm(int fd) {
    std::string error;
    return openRawPcm(fd, RawPcmFormat{}, error);
}

} // namespace nimbo
