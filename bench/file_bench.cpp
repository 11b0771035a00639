// Whole-file speed: nimbo-decode (both receivers) on a synthesised 60 s recording in each
// signal path and on the FM Det one at 44.1 kHz and, in the same run, sox applying one
// 51-tap FIR to one channel of that file as a yardstick.
#include <benchmark/benchmark.h>
#include <sndfile.h>
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

namespace {

using nimbo::bench::kSeconds;
constexpr int kBlocksPerFile = kSeconds * 10;

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

// The WAV files of the synthesised signal, written at first use and removed at exit.
struct WavFiles {
    std::string fm = writeWav(false);
    std::string ifFile = writeWav(true);
    std::string fm44k = resampledWav(fm);
    ~WavFiles() {
        std::filesystem::remove(fm);
        std::filesystem::remove(ifFile);
        if (!fm44k.empty()) std::filesystem::remove(fm44k);
    }
};

const WavFiles& wavFiles() {
    static const WavFiles files;
    return files;
}

const std::string& wavFile(bool ifSignal) {
    return ifSignal ? wavFiles().ifFile : wavFiles().fm;
}

// Runs a command with stdout and stderr discarded; seconds of wall time, or -1.
double timeCommand(const std::vector<std::string>& argv) {
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
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
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
    for (auto _ : state) {
        const double seconds = timeCommand(argv);
        if (seconds < 0) {
            state.SkipWithError(("could not run " + argv[0]).c_str());
            return;
        }
        state.SetIterationTime(seconds / kBlocksPerFile);
    }
    state.counters["x_realtime"] = benchmark::Counter(0.1 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
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
BENCHMARK(BM_SoxFir51File)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);
