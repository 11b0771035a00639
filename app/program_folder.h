// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its settings file and its output folders.
#pragma once

#include <QString>

namespace nimbo {

// The folder of the executable at `executablePath`, without a trailing separator. When that
// folder cannot be written, or is a system program folder such as /usr/bin (an installed
// program, even run as root), the per-user application data folder instead, created if
// missing; the file and folder names beneath it stay the same.
QString programFolderFor(const QString& executablePath);

// The settings file: the executable's file name with ".ini" for its extension, in `folder`.
QString settingsFileIn(const QString& folder, const QString& executablePath);

// Everything the program keeps, for the executable at `executablePath`.
struct ProgramFiles {
    QString folder;       // programFolderFor(): the output folders go here
    QString settingsRead; // the settings file read at start
    QString settingsSave; // the settings file written at close, in `folder`
    bool perUser = false; // the executable's folder cannot be written
    QString exeFolder;    // the executable's folder
};

// With a writable executable's folder, all of it there. Otherwise the per-user folder, and
// the settings are read from its file once there is one, else from the readable file beside
// the executable (an installed program's preset settings).
ProgramFiles programFilesFor(const QString& executablePath);

} // namespace nimbo
