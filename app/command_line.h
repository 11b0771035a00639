// SPDX-License-Identifier: GPL-3.0-or-later
// The options of the nimbo command: a recording to replay at start, its speed, help and
// version. Qt's own options (-platform, -style, ...) are taken out before these are read.
#pragma once

#include <QString>
#include <QStringList>

namespace nimbo {

struct CommandLine {
    QString replayFile;  // empty: none
    int replaySpeed = 1; // 1: real time; N: N times faster; 0: as fast as possible
    bool help = false;
    bool version = false;
    QString error; // one line for stderr when the arguments cannot be used
};

// `arguments` without the program name.
CommandLine parseCommandLine(const QStringList& arguments);

// Whether the arguments ask for --help or --version, which need no display.
bool wantsHelpOrVersion(int argc, const char* const* argv);

// The text --help prints.
QString commandLineHelp();

} // namespace nimbo
