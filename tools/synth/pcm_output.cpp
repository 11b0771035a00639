// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/synth/pcm_output.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "tools/synth/iq_format.h"
#include "tools/synth/rs41_builder.h"

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

constexpr std::size_t kIqBlockPairs = 16384; // per write, whatever the rate

bool endsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".wav";
}

// `write` takes the encoded bytes of each block and returns false when they were not written.
template <typename Write> bool writeIqBlocks(Synthesizer& synth, IqFormat format, Write write) {
    std::vector<float> block(2 * kIqBlockPairs);
    std::vector<unsigned char> bytes(block.size() *
                                     static_cast<std::size_t>(iqBytesPerValue(format)));
    while (std::size_t n = synth.generateIq(block.data(), kIqBlockPairs)) {
        encodeIq(block.data(), 2 * n, format, bytes.data());
        if (!write(bytes.data(), 2 * n * static_cast<std::size_t>(iqBytesPerValue(format))))
            return false;
    }
    return true;
}

// Raw pairs to stdout ("-") or a file.
std::string writeIqRaw(Synthesizer& synth, IqFormat format, const std::string& path) {
    const bool toStdout = path == "-";
    const std::string name = toStdout ? "standard output" : path;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(
        toStdout ? nullptr : std::fopen(path.c_str(), "wb"), std::fclose);
    if (!toStdout && !owned) return "cannot create " + path + ": " + std::strerror(errno);
    std::FILE* out = toStdout ? stdout : owned.get();
    const bool written = writeIqBlocks(synth, format, [out](const unsigned char* p, std::size_t n) {
        return std::fwrite(p, 1, n, out) == n;
    });
    if (!written || std::fflush(out) != 0)
        return "cannot write " + name + ": " + std::strerror(errno);
    if (!toStdout && std::fclose(owned.release()) != 0)
        return "cannot finish " + path + ": " + std::strerror(errno);
    return {};
}

// A two-channel WAV file at the I/Q rate, I left and Q right, holding the same bytes.
std::string writeIqWav(Synthesizer& synth, const SynthOptions& o, const std::string& path) {
    SF_INFO info{};
    info.samplerate = o.iqRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (o.iqFormat == IqFormat::U8    ? SF_FORMAT_PCM_U8
                                   : o.iqFormat == IqFormat::S16 ? SF_FORMAT_PCM_16
                                                                 : SF_FORMAT_FLOAT);
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info),
                                                     sf_close);
    if (!file) return "cannot create " + path + ": " + sf_strerror(nullptr);
    SNDFILE* f = file.get();
    if (!writeIqBlocks(synth, o.iqFormat, [f](const unsigned char* p, std::size_t n) {
            return sf_write_raw(f, p, static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
        }))
        return "cannot write " + path + ": " + sf_strerror(f);
    if (sf_close(file.release()) != 0) return "cannot finish " + path;
    return {};
}

} // namespace

std::string writeSignal(const SynthOptions& options, const std::string& path) {
    Synthesizer synth(options);
    if (options.iqFormat != IqFormat::None)
        return endsWithWav(path) ? writeIqWav(synth, options, path)
                                 : writeIqRaw(synth, options.iqFormat, path);
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
    Rs41Bytes rs41Frame;
    for (int n = 0; n < options.frames; ++n) {
        if (options.sonde == Sonde::Rs41) {
            const int size = buildRs41Frame(options, n, rs41Frame);
            out << rs41FrameHex(std::span(rs41Frame).first(static_cast<std::size_t>(size)));
        } else {
            out << frameHex(buildFrame(options, n));
        }
        out << '\n';
    }
    out.flush();
    if (!out) return "cannot write " + path;
    return {};
}

} // namespace nimbo::synth
