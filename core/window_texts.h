// SPDX-License-Identifier: GPL-3.0-or-later
// Texts the main window shows that are worked out from the program's state: the replay's
// progress, the LOG button's tooltip and the memo line for a dropped file that gave nothing.
#pragma once

#include <string>

#include "decode/readout.h"

namespace nimbo {

// The progress window's Label1 during a replay: "Replay 35 %" (percent 0..100).
LabelText replayProgressText(int percent);

// The LOG button's tooltip while logs cannot be written: the failure and the log folder.
std::string logFailureTip(const std::string& failure, const std::string& folder);

// The memo line for a file that was neither a recording nor gave a single frame line:
// "Nothing read from NAME: REASON", the reason found from what lies at `path`.
std::string nothingReadLine(const std::string& path);

} // namespace nimbo
