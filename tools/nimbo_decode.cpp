// nimbo-decode: decodes RS92 telemetry from a recording or a raw PCM stream, or replays a
// raw frame log, and prints one JSON line per frame. Same decoding as the GUI.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "core/log_import.h"
#include "core/nimbo_core.h"
#include "audio/audio_input.h"
#include "tools/frame_json.h"

namespace {

// Log writes that fail: one line on stderr per episode (it ends when a write lands again),
// not one per frame; any failure at all makes the exit status 3.
class LogFailureReport {
  public:
    void check(const nimbo::LogWriteFailure& failure) {
        if (failure.episodes == reported_) return;
        reported_ = failure.episodes;
        std::fprintf(stderr, "nimbo-decode: %s\n", failure.text.c_str());
    }
    bool any() const { return reported_ > 0; }

  private:
    unsigned reported_ = 0;
};

class JsonOutput final : public nimbo::CoreHooks {
  public:
    explicit JsonOutput(const nimbo::NimboCore& core) : core_(core) {}
    void frameDecoded() override {
        nimbo::writeFrameJson(stdout, core_);
        std::fflush(stdout);
        logFailures.check(core_.logWriteFailure());
    }
    LogFailureReport logFailures;

  private:
    const nimbo::NimboCore& core_;
};

// A one-line bar on stderr, redrawn only when the percentage changes.
class ProgressBar {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}
    void update(double fraction) {
        if (!enabled_ || fraction < 0.0) return;
        const int percent = static_cast<int>(fraction * 100.0);
        if (percent == shown_) return;
        shown_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", kWidth - filled, "", percent);
        std::fflush(stderr);
    }
    void finish() {
        if (enabled_ && shown_ >= 0) std::fputs("\r\033[K", stderr);
    }

  private:
    bool enabled_;
    int shown_ = -1;
};

// Replays a raw frame log line by line as the window's import does. Logging, when asked
// for, stays on: re-logging a recorded flight is what --log-dir is for here.
int importLog(nimbo::NimboCore& core, const std::string& path) {
    nimbo::LogImport import(core);
    if (!import.open(path)) {
        std::fprintf(stderr,
                     "nimbo-decode: cannot read the raw frame log %s (missing, unreadable or "
                     "not a regular file)\n",
                     path.c_str());
        return 1;
    }
    while (import.step() != nimbo::LogImport::Step::End) {
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Decodes RS92 radiosonde telemetry from 48 kHz 16-bit audio and prints one "
                 "JSON object per frame."};
    std::string input;
    bool ifPath = false, invert = false, right = false, weak = false;
    std::string logDir, importPath;
    auto* inputOption =
        app.add_option("input", input,
                       "Audio file (WAV, FLAC, anything libsndfile reads; 48 kHz, mono or "
                       "stereo), or - for raw signed 16-bit little-endian stereo PCM on stdin");
    auto* importOption =
        app.add_option("--import", importPath,
                       "Replay a raw frame log (raw/<serial>.txt) instead of audio: each line "
                       "of 220 hexadecimal bytes is decoded as a received frame")
            ->option_text("FILE");
    inputOption->excludes(importOption);
    app.add_flag("--if", ifPath, "Input is a 12 kHz IF (default: FM discriminator audio)")
        ->excludes(importOption);
    app.add_flag("--invert", invert, "Invert the FM discriminator audio")->excludes(importOption);
    app.add_flag("--weak", weak,
                 "Use the weak-signal receiver: soft decisions, polarity found from the frame "
                 "sync (--invert is not needed and is ignored), Reed-Solomon repair; each line "
                 "gets \"corrected\": the bytes the repair changed")
        ->excludes(importOption);
    app.add_flag("--right", right, "Use the right channel (default: left)")->excludes(importOption);
    app.add_option("--log-dir", logDir,
                   "Write the per-sonde logs beneath DIR, as NIMBO does with logging on: "
                   "raw/, sens/, calraw/, caldata/")
        ->option_text("DIR");
    CLI11_PARSE(app, argc, argv);
    if (input.empty() && importPath.empty()) {
        std::fprintf(stderr, "nimbo-decode: give an audio input or --import FILE\n%s",
                     app.help().c_str());
        return 1;
    }

    std::unique_ptr<nimbo::BlockSource> source;
    const bool fromFile = input != "-";
    if (!importPath.empty()) {
        // A raw frame log instead of audio: opened after the core is set up.
    } else if (fromFile) {
        std::string error;
        source = nimbo::openAudioFile(input, error);
        if (!source) {
            std::fprintf(stderr, "nimbo-decode: %s\n", error.c_str());
            return 1;
        }
    } else {
        source = nimbo::openRawPcm(STDIN_FILENO);
    }

    auto core = std::make_unique<nimbo::NimboCore>();
    JsonOutput output(*core);
    core->setHooks(&output);
    core->setDrawPictures(false);
    nimbo::ReceiverSettings settings;
    settings.DemodType = ifPath ? 1 : 0;
    settings.InputCh = right ? 1 : 0;
    settings.SymbolInv = invert;
    settings.Weak = weak;
    core->applySettings(settings);
    if (!logDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(logDir, ec);
        if (!std::filesystem::is_directory(logDir)) {
            std::fprintf(stderr, "nimbo-decode: cannot create the log folder %s%s%s\n",
                         logDir.c_str(), ec ? ": " : "", ec ? ec.message().c_str() : "");
            return 1;
        }
        core->setProgramFolder(logDir);
        core->loggingSwitched(true);
    }
    if (!importPath.empty()) {
        const int status = importLog(*core, importPath);
        return status == 0 && output.logFailures.any() ? 3 : status;
    }

    ProgressBar progress(fromFile && isatty(STDERR_FILENO));
    static int16_t block[nimbo::kBlockWords];
    while (source->next(block)) {
        core->ProcessWaveBuffer(block);
        progress.update(source->progress());
    }
    // The filters and the clock hold the last few symbols back by some 30 samples; a
    // block of silence lets a frame that ends with the recording still complete.
    // The weak-signal receiver hands a frame over once the next frame's sync was due, about
    // 0.21 s after its last content byte: it gets enough silence to get there.
    std::fill(std::begin(block), std::end(block), int16_t{0});
    for (int i = 0, n = weak ? 4 : 1; i < n; ++i)
        core->ProcessWaveBuffer(block);
    progress.finish();

    const std::string error = source->error();
    if (!error.empty()) {
        std::fprintf(stderr, "nimbo-decode: %s: %s\n", fromFile ? input.c_str() : "stdin",
                     error.c_str());
        return 1;
    }
    return output.logFailures.any() ? 3 : 0;
}
