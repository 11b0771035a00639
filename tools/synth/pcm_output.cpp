#include "tools/synth/pcm_output.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace nimbo::synth {

namespace {

constexpr std::size_t kBlockFrames = kBlockSamples; // 0.1 s per write

std::string writeRaw(Synthesizer& synth) {
    std::vector<int16_t> block(kBlockFrames * kOutputChannels);
    std::vector<unsigned char> bytes(block.size() * 2);
    while (std::size_t n = synth.generate(block.data(), kBlockFrames)) {
        for (std::size_t i = 0; i < n * kOutputChannels; ++i) {
            const auto v = static_cast<uint16_t>(block[i]);
            bytes[2 * i] = static_cast<unsigned char>(v & 0xFF); // little-endian on any host
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        const std::size_t size = n * kOutputChannels * 2;
        if (std::fwrite(bytes.data(), 1, size, stdout) != size)
            return std::string("cannot write to standard output: ") + std::strerror(errno);
    }
    if (std::fflush(stdout) != 0)
        return std::string("cannot write to standard output: ") + std::strerror(errno);
    return {};
}

std::string writeWav(Synthesizer& synth, const std::string& path) {
    SF_INFO info{};
    info.samplerate = kOutputSampleRate;
    info.channels = kOutputChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info),
                                                     sf_close);
    if (!file) return "cannot create " + path + ": " + sf_strerror(nullptr);
    std::vector<int16_t> block(kBlockFrames * kOutputChannels);
    while (std::size_t n = synth.generate(block.data(), kBlockFrames)) {
        if (sf_writef_short(file.get(), block.data(), static_cast<sf_count_t>(n)) !=
            static_cast<sf_count_t>(n))
            return "cannot write " + path + ": " + sf_strerror(file.get());
    }
    if (sf_close(file.release()) != 0) return "cannot finish " + path;
    return {};
}

} // namespace

std::string writeSignal(const SynthOptions& options, const std::string& path) {
    Synthesizer synth(options);
    return path == "-" ? writeRaw(synth) : writeWav(synth, path);
}

std::string frameHex(const std::array<uint8_t, kContentBytes>& content) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * content.size());
    for (uint8_t b : content) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

std::string writeTruth(const SynthOptions& options, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot create " + path + ": " + std::strerror(errno);
    for (int n = 0; n < options.frames; ++n)
        out << frameHex(buildFrame(options, n)) << '\n';
    out.flush();
    if (!out) return "cannot write " + path;
    return {};
}

} // namespace nimbo::synth
