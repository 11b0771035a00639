// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <cstring>

#include "app/audio_replay.h"

namespace nimbo {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine c;
    bool speedGiven = false;
    for (qsizetype i = 0; i < arguments.size() && c.error.isEmpty(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg.truncate(eq);
            hasValue = true;
        }
        const bool takesValue =
            arg == QLatin1String("--replay") || arg == QLatin1String("--replay-speed");
        if (takesValue && !hasValue) {
            if (i + 1 >= arguments.size()) {
                c.error = arg + QStringLiteral(" needs a value");
                break;
            }
            value = arguments[++i];
        }
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            c.help = true;
        } else if (arg == QLatin1String("--version")) {
            c.version = true;
        } else if (arg == QLatin1String("--replay")) {
            if (value.isEmpty()) c.error = QStringLiteral("--replay needs a file");
            c.replayFile = value;
        } else if (arg == QLatin1String("--replay-speed")) {
            speedGiven = true;
            bool ok = false;
            const int speed =
                value == QLatin1String("max") ? AudioReplay::kAsFastAsPossible : value.toInt(&ok);
            if (value != QLatin1String("max") &&
                (!ok || speed < 1 || speed > AudioReplay::kMaxSpeed))
                c.error = QStringLiteral("--replay-speed takes 1..%1 or max, not \"%2\"")
                              .arg(AudioReplay::kMaxSpeed)
                              .arg(value);
            c.replaySpeed = speed;
        } else {
            c.error =
                QStringLiteral("unknown argument \"%1\" (see nimbo --help)").arg(arguments[i]);
        }
    }
    if (c.error.isEmpty() && speedGiven && c.replayFile.isEmpty())
        c.error = QStringLiteral("--replay-speed goes with --replay FILE");
    return c;
}

bool wantsHelpOrVersion(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Usage: nimbo [--replay FILE [--replay-speed N|max]]\n"
        "Receives RS92 radiosonde telemetry from the sound card and decodes it: serial\n"
        "number, frames, calibration, the eight sensor channels, scope and chart, logs.\n"
        "\n"
        "Options:\n"
        "  --replay FILE         Decode FILE as it is opened when dropped on the window: an\n"
        "                        audio recording (WAV, FLAC, ... as nimbo-decode reads it)\n"
        "                        plays through the decoder as live audio with capture\n"
        "                        paused; a raw frame log is imported\n"
        "  --replay-speed N      Play the recording N times faster than real time\n"
        "                        (1..10000, default 1), or max: as fast as it decodes\n"
        "  -h, --help            Show this help and exit\n"
        "  --version             Show the version and exit\n"
        "\n"
        "Settings (nimbo.ini) and the logs (raw/, sens/, calraw/, caldata/) are kept beside\n"
        "the program, or in the per-user data folder (~/.local/share/nimbo) when the\n"
        "program's folder cannot be written.\n");
}

} // namespace nimbo
