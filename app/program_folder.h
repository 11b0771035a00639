// Where the program keeps its settings file and its output folders.
#pragma once

#include <QString>

namespace nimbo {

// The folder of the executable at `executablePath`, without a trailing separator. When that
// folder cannot be written (an installed program), the per-user application data folder
// instead, created if missing; the file and folder names beneath it stay the same.
QString programFolderFor(const QString& executablePath);

// The settings file: the executable's file name with ".ini" for its extension, in `folder`.
QString settingsFileIn(const QString& folder, const QString& executablePath);

} // namespace nimbo
