// SPDX-License-Identifier: GPL-3.0-or-later
// nimbo-decode: decodes RS92 and RS41 telemetry from a recording or a raw PCM stream, or replays a
// raw frame log, and prints one JSON line per frame. Same decoding as the GUI.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "audio/audio_input.h"
#include "audio/iq_input.h"
#include "audio/read_ahead.h"
#include "core/log_import.h"
#include "core/nimbo_core.h"
#include "tools/decode_output.h"
#include "tools/flight_summary.h"

namespace {

using namespace nimbo::decode_cli;

// Replays a raw frame log line by line as the window's import does. Logging, when asked
// for, stays on: re-logging a recorded flight is what --log-dir is for here.
int importLog(nimbo::NimboCore& core, const std::string& path) {
    nimbo::LogImport import(core);
    if (!import.open(path)) {
        std::fprintf(stderr,
                     "nimbo-decode: cannot read the raw frame log %s (missing, unreadable or "
                     "not a regular file)\n",
                     path.c_str());
        return kExitInput;
    }
    while (import.step() != nimbo::LogImport::Step::End) {
    }
    if (import.readError() != 0) {
        std::fprintf(stderr, "nimbo-decode: cannot read the raw frame log %s: %s\n", path.c_str(),
                     std::strerror(import.readError()));
        return kExitInput;
    }
    return 0;
}

// Numeric options whose text is not a number say what was wanted, in the option's words
// (CLI11 alone says "Value ... not in range"). Ranges are checked once the input is known.
CLI::Validator wholeNumber(const std::string& wanted) {
    return CLI::Validator(
        [wanted](const std::string& text) {
            int value = 0;
            const char* end = text.data() + text.size();
            const auto [rest, ec] = std::from_chars(text.data(), end, value);
            return ec == std::errc() && rest == end && !text.empty() ? std::string()
                                                                     : "'" + text + "' " + wanted;
        },
        "");
}

CLI::Validator realNumber(const std::string& wanted) {
    return CLI::Validator(
        [wanted](const std::string& text) {
            char* end = nullptr;
            errno = 0;
            const double value = std::strtod(text.c_str(), &end);
            return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value)
                       ? std::string()
                       : "'" + text + "' " + wanted;
        },
        "");
}

// The summary, after the progress line is gone; the JSON variant ends standard output.
void writeSummary(JsonOutput& output, bool text, bool json) {
    if (json)
        output.writeSummaryJson();
    else if (text)
        output.summary.writeText(stderr);
}

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away (| head) is a failed write, reported as such, not the end of the
    // process: the logs are still to be finished.
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app{"Decodes RS92 (and RS41) radiosonde telemetry from audio and prints one JSON "
                 "object per frame."};
    app.footer(
        "Summary: one line per sonde heard, on stderr when it is a terminal or with --summary:\n"
        "  nimbo-decode: SERIAL (RS92): frames FIRST to LAST, W of E whole, R repaired,\n"
        "  calibration complete|incomplete (P of 32 pieces)\n"
        "E = LAST - FIRST + 1; whole = every block passed its check; repaired = changed by the\n"
        "Reed-Solomon repair (--weak; the RS41 always); the RS41 counts its 51 calibration\n"
        "subframes. With --summary json: one JSON object per sonde as the last lines of stdout\n"
        "(nothing on stderr), with type \"summary\", sonde, serial, first_frame, last_frame,\n"
        "frames_whole, frames_expected, frames_repaired, cal_pieces, cal_total, cal_complete.\n"
        "On a terminal a file longer than a minute shows its progress on stderr.\n\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  bad input or usage (a file that cannot be read or is cut short, a bad option)\n"
        "  3  a log could not be written under --log-dir (decoding went on)\n"
        "  4  standard output could not be written (a full disk, a reader that went away)");
    app.set_version_flag("--version",
                         std::string("nimbo-decode ") + NIMBO_VERSION +
                             "\n"
                             "Copyright (C) 2026 NIMBO developers\n"
                             "License GPL-3.0-or-later: GNU GPL version 3 or later "
                             "<https://gnu.org/licenses/gpl.html>.\n"
                             "This is free software: you are free to change and redistribute it.\n"
                             "There is NO WARRANTY, to the extent permitted by law.");
    std::string input;
    bool ifPath = false, invert = false, right = false, weak = false, iq = false;
    double offsetHz = 0.0;
    std::string logDir, importPath;
    nimbo::RawPcmFormat raw;
    std::string rawSample = "s16";
    std::string summaryMode;
    auto* inputOption =
        app.add_option("input", input,
                       "Audio file (WAV, FLAC, anything libsndfile reads; any sample rate, mono "
                       "or stereo), or - for raw PCM on stdin (see --rate, --channels, --format); "
                       "with --iq see there");
    auto* rateOption =
        app.add_option("--rate", raw.rate,
                       "Raw input: samples per second, 8000 to 768000 (default 48000); with "
                       "--iq, I/Q pairs per second, 48000 to 3200000 (default 48000)")
            ->check(wholeNumber("is not a sample rate in Hz (8000 to 768000; with --iq 48000 to "
                                "3200000)"))
            ->option_text("HZ");
    auto* channelsOption =
        app.add_option("--channels", raw.channels, "Raw stdin: 1 or 2 channels (default 2)")
            ->check(CLI::Validator(
                [](const std::string& text) {
                    return text == "1" || text == "2"
                               ? std::string()
                               : "'" + text + "' is not a channel count (1 or 2)";
                },
                ""))
            ->option_text("1|2");
    auto* formatOption =
        app.add_option("--format", rawSample,
                       "Raw input: s16 (signed 16-bit little-endian, default), u8 (unsigned "
                       "8-bit; with --iq offset binary as rtl_sdr writes, 127.5 = 0) or f32 "
                       "(32-bit float little-endian, full scale 1.0)")
            ->check(CLI::IsMember({"s16", "u8", "f32"}))
            ->option_text("s16|u8|f32");
    auto* importOption =
        app.add_option("--import", importPath,
                       "Replay a raw frame log (raw/<serial>.txt) instead of audio: each line "
                       "of 220 hexadecimal bytes is decoded as a received frame")
            ->option_text("FILE");
    inputOption->excludes(importOption);
    auto* ifOption =
        app.add_flag("--if", ifPath, "Input is a 12 kHz IF (default: FM discriminator audio)")
            ->excludes(importOption);
    auto* invertOption = app.add_flag("--invert", invert, "Invert the FM discriminator audio")
                             ->excludes(importOption);
    app.add_flag("--weak", weak,
                 "Use the weak-signal receiver: soft decisions, polarity found from the frame "
                 "sync (--invert is not needed and is ignored), Reed-Solomon repair; each line "
                 "gets \"corrected\": the bytes the repair changed")
        ->excludes(importOption);
    auto* rightOption = app.add_flag("--right", right, "Use the right channel (default: left)")
                            ->excludes(importOption);
    auto* iqOption =
        app.add_flag("--iq", iq,
                     "Input is complex baseband from an SDR, I then Q: raw pairs on stdin (-) "
                     "or, with --rate and --format, in a named file (e.g. capture.cu8); a named "
                     "file without them is read as a two-channel audio file (left = I, right = "
                     "Q) at its own rate. Shifted by --offset and decimated to 48 kHz; the "
                     "carrier is found within +-10 kHz of the offset. Without --weak an FM "
                     "discriminator feeds the standard receiver")
            ->excludes(importOption)
            ->excludes(channelsOption)
            ->excludes(rightOption)
            ->excludes(ifOption)
            ->excludes(invertOption);
    app.add_option("--offset", offsetHz,
                   "With --iq: where the sonde sits from the centre of the I/Q band, in Hz "
                   "(default 0; within +-(rate/2 - 15 kHz))")
        ->needs(iqOption)
        ->check(realNumber("is not an offset in Hz (a number such as -250000 or 1.5e5)"))
        ->option_text("HZ");
    std::string sonde = "rs92";
    app.add_option("--sonde", sonde,
                   "The sonde listened for: rs92 (default), rs41 (its frames as lines with "
                   "\"type\":\"RS41\": position, time, serial; always the weak-signal "
                   "receiver's stages) or auto (both at once: whichever frames arrive)")
        ->check(CLI::IsMember({"rs92", "rs41", "auto"}))
        ->excludes(importOption)
        ->option_text("rs92|rs41|auto");
    app.add_option("--log-dir", logDir,
                   "Write the per-sonde logs beneath DIR, as NIMBO does with logging on: "
                   "raw/, sens/, calraw/, caldata/; for the RS41 rs41raw/ (a line of hex a "
                   "good frame), track/ (CSV) and gpx/ (a GPX 1.1 track, whole at every moment)")
        ->option_text("DIR");
    app.add_option("--summary", summaryMode,
                   "At the end, one line per sonde heard on stderr (text, the default) or one "
                   "JSON object per sonde as the last lines of stdout (json); see below. "
                   "Without it the lines come only when stderr is a terminal")
        ->expected(0, 1)
        ->option_text("[text|json]");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kExitInput; // --help and --version end well
    }
    // "--summary FILE": the optional value was the input.
    const bool summaryAsked = app.count("--summary") > 0;
    if (summaryAsked && summaryMode != "text" && summaryMode != "json" && !summaryMode.empty()) {
        if (!input.empty() || !importPath.empty()) {
            std::fprintf(stderr, "nimbo-decode: --summary: '%s' is neither text nor json\n",
                         summaryMode.c_str());
            return kExitInput;
        }
        input = summaryMode;
        summaryMode.clear();
    }
    const bool summaryJson = summaryMode == "json";
    const bool summaryText = !summaryJson && (summaryAsked || isatty(STDERR_FILENO));
    if (input.empty() && importPath.empty()) {
        std::fprintf(stderr, "nimbo-decode: give an audio input or --import FILE\n%s",
                     app.help().c_str());
        return kExitInput;
    }

    std::unique_ptr<nimbo::BlockSource> source;
    const bool fromFile = input != "-";
    const bool rawOptions =
        rateOption->count() + channelsOption->count() + formatOption->count() > 0;
    const int channel = right ? 1 : 0; // only this channel is read and resampled
    std::string error;
    raw.sample = rawSample == "u8"    ? nimbo::RawSampleFormat::U8
                 : rawSample == "f32" ? nimbo::RawSampleFormat::F32
                                      : nimbo::RawSampleFormat::S16;
    const nimbo::RawIqFormat rawIq{raw.rate, raw.sample, offsetHz};
    if (rawOptions && input != "-" && !iq) {
        std::fprintf(stderr, "nimbo-decode: --rate, --channels and --format describe raw PCM "
                             "on stdin (-); a file's own header gives them\n");
        return kExitInput;
    } else if (!importPath.empty()) {
        // A raw frame log instead of audio: opened after the core is set up.
    } else if (iq) {
        // Decimating I/Q is the larger part of the work: it runs beside the decoder.
        if (!fromFile)
            source = nimbo::openRawIq(STDIN_FILENO, rawIq, error);
        else if (rawOptions)
            source = nimbo::openRawIqFile(input, rawIq, error);
        else
            source = nimbo::openIqFile(input, offsetHz, error);
        if (source) source = nimbo::readAhead(std::move(source));
    } else if (fromFile) {
        source = nimbo::openAudioFile(input, error, channel);
        if (source) source = nimbo::readAhead(std::move(source)); // decodes while it reads
    } else {
        source = nimbo::openRawPcm(STDIN_FILENO, raw, error, channel);
    }
    if (importPath.empty() && !source) {
        std::fprintf(stderr, "nimbo-decode: %s\n", error.c_str());
        return kExitInput;
    }

    auto core = std::make_unique<nimbo::NimboCore>();
    JsonOutput output(*core);
    core->setHooks(&output);
    core->setDrawPictures(false);
    core->resizeGraph(0, 0); // never shown: no chart to clear at each new sonde
    nimbo::ReceiverSettings settings;
    settings.DemodType = ifPath ? 1 : 0;
    settings.InputCh = right ? 1 : 0;
    settings.SymbolInv = invert;
    settings.Weak = weak;
    settings.Iq = iq;
    settings.Sonde = sonde == "rs41" ? 1 : sonde == "auto" ? 2 : 0;
    core->applySettings(settings);
    if (!logDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(logDir, ec);
        if (!std::filesystem::is_directory(logDir)) {
            std::fprintf(stderr, "nimbo-decode: cannot create the log folder %s%s%s\n",
                         logDir.c_str(), ec ? ": " : "", ec ? ec.message().c_str() : "");
            return kExitInput;
        }
        core->setProgramFolder(logDir);
        core->loggingSwitched(true);
    }
    if (!importPath.empty()) {
        const int status = importLog(*core, importPath);
        writeSummary(output, summaryText, summaryJson);
        return status != 0 ? status : output.status();
    }

    ProgressLine progress(fromFile && isatty(STDERR_FILENO));
    static int16_t block[nimbo::kBlockWords];
    // Without stdout and without logs nothing more can come of the input.
    const auto useful = [&] { return !output.failed() || !logDir.empty(); };
    while (useful() && source->next(block)) {
        core->ProcessWaveBuffer(block);
        progress.update(source->progress(), output.frames);
    }
    std::fill(std::begin(block), std::end(block), int16_t{0});
    for (int i = 0; i < core->closingSilenceBlocks(); ++i)
        core->ProcessWaveBuffer(block);
    progress.finish();
    writeSummary(output, summaryText, summaryJson);

    error = source->error();
    if (!error.empty()) {
        std::fprintf(stderr, "nimbo-decode: %s: %s\n", fromFile ? input.c_str() : "stdin",
                     error.c_str());
        return kExitInput;
    }
    return output.status();
}
