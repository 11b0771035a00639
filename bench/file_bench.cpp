// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file speed: nimbo-decode (both receivers) on a synthesised 60 s recording in each
// signal path, on the FM Det one at 44.1 kHz and as SDR I/Q (960 kHz s16, 240 kHz u8) and,
// in the same run, sox applying one 51-tap FIR to one channel of that file as a yardstick.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_signal.h"
#include "dsp/filter_taps.h"
#include "dsp/signal.h"
#include "tests/iq_signal.h"

namespace {

using nimbo::bench::kSeconds;
constexpr int kBlocksPerFile = kSeconds * 10;
constexpr double kIqOffsetHz = 20000.0;

// A WAV file of the synthesised signal, written once per path.
std::string writeWav(bool ifSignal) {
    const std::string p =
        (std::filesystem::temp_directory_path() /
         ("nimbo-bench-" + std::to_string(getpid()) + (ifSignal ? "-if" : "-fm") + ".wav"))
            .string();
    const std::vector<int16_t> pcm = nimbo::bench::benchSignal(ifSignal);
    SF_INFO info{};
    info.samplerate = nimbo::kSampleRate;
    info.channels = nimbo::kInputChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    if (f) {
        sf_writef_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size() / 2));
        sf_close(f);
    }
    return p;
}

// Runs a command with stdout and stderr discarded; true when it exited with 0.
bool runQuietly(const std::vector<std::string>& argv);

// The FM Det file at 44.1 kHz, as recordings often are (made by sox); "" without sox.
std::string resampledWav(const std::string& wav) {
    const std::string out = wav.substr(0, wav.size() - 4) + "-44k.wav";
    return runQuietly({"sox", wav, "-r", "44100", out}) ? out : std::string();
}

// The FM Det signal as an SDR records it: the sonde 20 kHz from the centre (where it is
// tuned to miss the DC spike), raw I/Q pairs at `rate` with a little complex noise.
std::string writeIq(int rate, nimbo::RawSampleFormat format, double amplitude, double noise) {
    const std::string p =
        (std::filesystem::temp_directory_path() /
         ("nimbo-bench-" + std::to_string(getpid()) + "-iq" + std::to_string(rate / 1000) + ".raw"))
            .string();
    const auto z =
        nimbo::test::fmIq(nimbo::bench::benchSignal(false), rate, kIqOffsetHz, amplitude, noise);
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
        const std::string bytes = nimbo::test::rawIq(z, format);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return p;
}

// The WAV files of the synthesised signal, written at first use and removed at exit.
struct WavFiles {
    std::string fm = writeWav(false);
    std::string ifFile = writeWav(true);
    std::string fm44k = resampledWav(fm);
    std::string iq960kS16 = writeIq(960000, nimbo::RawSampleFormat::S16, 8000.0, 300.0);
    std::string iq240kU8 = writeIq(240000, nimbo::RawSampleFormat::U8, 60.0, 3.0);
    ~WavFiles() {
        std::filesystem::remove(fm);
        std::filesystem::remove(ifFile);
        if (!fm44k.empty()) std::filesystem::remove(fm44k);
        std::filesystem::remove(iq960kS16);
        std::filesystem::remove(iq240kU8);
    }
};

const WavFiles& wavFiles() {
    static const WavFiles files;
    return files;
}

const std::string& wavFile(bool ifSignal) {
    return ifSignal ? wavFiles().ifFile : wavFiles().fm;
}

// Runs a command with stdout and stderr discarded; seconds of wall time, or -1. `cpu` gets
// the processor seconds it used, all its threads together.
double timeCommand(const std::vector<std::string>& argv, double* cpu = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    if (cpu)
        *cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool runQuietly(const std::vector<std::string>& argv) {
    return timeCommand(argv) >= 0.0;
}

// Whole-file runs report the time per 0.1 s block so they compare with the above. One
// untimed run first: on this kind of virtual machine the first read of a file that has
// lain idle for a second or more takes up to 40 times longer (memory the host has to map
// again), which would measure the host rather than the program.
void runFileCommand(benchmark::State& state, const std::vector<std::string>& argv) {
    if (timeCommand(argv) < 0) {
        state.SkipWithError(("could not run " + argv[0]).c_str());
        return;
    }
    double cpuSeconds = 0.0;
    for (auto _ : state) {
        double cpu = 0.0;
        const double seconds = timeCommand(argv, &cpu);
        if (seconds < 0) {
            state.SkipWithError(("could not run " + argv[0]).c_str());
            return;
        }
        cpuSeconds += cpu;
        state.SetIterationTime(seconds / kBlocksPerFile);
    }
    state.counters["x_realtime"] = benchmark::Counter(0.1 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    // Against processor time: what the run costs when other work shares the machine.
    state.counters["cpu_x_realtime"] =
        cpuSeconds > 0 ? kSeconds * static_cast<double>(state.iterations()) / cpuSeconds : 0.0;
}

void BM_NimboDecodeFmFile(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, wavFile(false)});
}

void BM_NimboDecodeIfFile(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--if", wavFile(true)});
}

// The same signal recorded at 44.1 kHz: the resampler's cost on top of the chain.
void BM_NimboDecodeFm44kFile(benchmark::State& state) {
    if (wavFiles().fm44k.empty()) {
        state.SkipWithError("sox is needed to make the 44.1 kHz file");
        return;
    }
    runFileCommand(state, {NIMBO_DECODE_EXE, wavFiles().fm44k});
}

void BM_NimboDecodeWeakFmFile(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--weak", wavFile(false)});
}

void BM_NimboDecodeWeakIfFile(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--weak", "--if", wavFile(true)});
}

// SDR I/Q through the standard receiver: raw pairs decimated to 48 kHz, discriminated.
void BM_NimboDecodeIq960kS16File(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--iq", "--format", "s16", "--rate", "960000",
                           "--offset", std::to_string(kIqOffsetHz), wavFiles().iq960kS16});
}

void BM_NimboDecodeIq240kU8File(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--iq", "--format", "u8", "--rate", "240000",
                           "--offset", std::to_string(kIqOffsetHz), wavFiles().iq240kU8});
}

// The same through the weak-signal receiver, coherent on the baseband.
void BM_NimboDecodeWeakIq960kS16File(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--iq", "--weak", "--format", "s16", "--rate",
                           "960000", "--offset", std::to_string(kIqOffsetHz),
                           wavFiles().iq960kS16});
}

void BM_NimboDecodeWeakIq240kU8File(benchmark::State& state) {
    runFileCommand(state, {NIMBO_DECODE_EXE, "--iq", "--weak", "--format", "u8", "--rate",
                           "240000", "--offset", std::to_string(kIqOffsetHz), wavFiles().iq240kU8});
}

void BM_SoxFir51File(benchmark::State& state) {
    std::vector<std::string> argv = {"sox", wavFile(false), "-n", "remix", "1", "fir"};
    for (double t : nimbo::lowPassTaps)
        argv.push_back(std::to_string(t));
    runFileCommand(state, argv);
}

} // namespace

BENCHMARK(BM_NimboDecodeFmFile)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeIfFile)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeFm44kFile)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeWeakFmFile)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeWeakIfFile)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeIq960kS16File)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeIq240kU8File)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeWeakIq960kS16File)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NimboDecodeWeakIq240kU8File)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SoxFir51File)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
