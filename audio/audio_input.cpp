#include "audio/audio_input.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace nimbo {
namespace {

// libsndfile quietly shortens a RIFF (WAV) or FORM (AIFF) file whose header announces
// more data than the file holds; this says so: "" when whole, else the reason.
std::string containerShortfall(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    unsigned char head[8] = {};
    const bool readHead = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fseek(f, 0, SEEK_END);
    const long actual = std::ftell(f);
    std::fclose(f);
    if (!readHead || actual < 0) return {};
    uint64_t declared = 0;
    if (std::memcmp(head, "RIFF", 4) == 0)
        declared = head[4] | (head[5] << 8) | (head[6] << 16) | (uint64_t(head[7]) << 24);
    else if (std::memcmp(head, "FORM", 4) == 0)
        declared = (uint64_t(head[4]) << 24) | (head[5] << 16) | (head[6] << 8) | head[7];
    else
        return {};
    declared += 8; // the chunk size excludes its own id and size fields
    if (declared == 8 + 0xFFFFFFFFull || declared <= static_cast<uint64_t>(actual)) return {};
    return "file is truncated: its header announces " + std::to_string(declared) +
           " bytes, the file holds " + std::to_string(actual);
}

class SndfileSource final : public BlockSource {
  public:
    SndfileSource(SNDFILE* file, const SF_INFO& info, std::string shortfall)
        : file_(file), channels_(info.channels), totalFrames_(info.frames),
          shortfall_(std::move(shortfall)),
          buffer_(static_cast<std::size_t>(kBlockSamples) * info.channels) {}
    ~SndfileSource() override { sf_close(file_); }

    bool next(int16_t* block) override {
        if (ended_) return false;
        const sf_count_t got = sf_readf_short(file_, buffer_.data(), kBlockSamples);
        if (got <= 0) {
            finish();
            return false;
        }
        framesRead_ += got;
        for (sf_count_t i = 0; i < got; ++i) {
            const int16_t* frame = buffer_.data() + i * channels_;
            block[2 * i] = frame[0];
            block[2 * i + 1] = channels_ > 1 ? frame[1] : frame[0];
        }
        std::fill(block + 2 * got, block + kBlockWords, int16_t{0});
        if (got < kBlockSamples) finish();
        return true;
    }

    std::string error() const override { return error_; }

    double progress() const override {
        return totalFrames_ > 0 ? std::min(1.0, double(framesRead_) / double(totalFrames_)) : -1.0;
    }

  private:
    void finish() {
        ended_ = true;
        if (sf_error(file_) != SF_ERR_NO_ERROR)
            error_ = std::string("read error: ") + sf_strerror(file_);
        else if (framesRead_ < totalFrames_)
            error_ = "file is truncated: " + std::to_string(framesRead_) + " of " +
                     std::to_string(totalFrames_) + " sample frames present";
        else
            error_ = shortfall_;
    }

    SNDFILE* file_;
    int channels_;
    sf_count_t totalFrames_;
    std::string shortfall_; // what is missing from the file, decoded up to there
    sf_count_t framesRead_ = 0;
    bool ended_ = false;
    std::string error_;
    std::vector<int16_t> buffer_;
};

class RawPcmSource final : public BlockSource {
  public:
    explicit RawPcmSource(int fd) : fd_(fd) {}

    bool next(int16_t* block) override {
        if (ended_) return false;
        auto* bytes = reinterpret_cast<unsigned char*>(block);
        const std::size_t wanted = kBlockWords * sizeof(int16_t);
        std::size_t have = 0;
        while (have < wanted) {
            const ssize_t n = ::read(fd_, bytes + have, wanted - have);
            if (n > 0) {
                have += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n < 0) error_ = std::string("read error: ") + std::strerror(errno);
                ended_ = true;
                break;
            }
        }
        if (have == 0) return false;
        // A trailing odd byte cannot form a sample; it and the rest become silence.
        have -= have % sizeof(int16_t);
        std::memset(bytes + have, 0, wanted - have);
        if constexpr (std::endian::native == std::endian::big) {
            for (int i = 0; i < kBlockWords; ++i) {
                const auto u = static_cast<uint16_t>(block[i]);
                block[i] = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
            }
        }
        return true;
    }

    std::string error() const override { return error_; }

  private:
    int fd_;
    bool ended_ = false;
    std::string error_;
};

} // namespace

std::unique_ptr<BlockSource> openAudioFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = path + ": no such file";
        return nullptr;
    }
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a folder, not an audio file";
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = path + ": not a readable audio file (" + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    if (info.samplerate != kSampleRate) {
        error = path + ": sample rate " + std::to_string(info.samplerate) +
                " Hz is not supported; audio must be " + std::to_string(kSampleRate) + " Hz";
    } else if (info.channels < 1) {
        error = path + ": no audio channels";
    } else if (info.frames <= 0) {
        error = path + ": the file holds no audio";
    } else {
        return std::make_unique<SndfileSource>(file, info, containerShortfall(path));
    }
    sf_close(file);
    return nullptr;
}

std::unique_ptr<BlockSource> openRawPcm(int fd) {
    return std::make_unique<RawPcmSource>(fd);
}

} // namespace nimbo
