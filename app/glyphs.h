// SPDX-License-Identifier: GPL-3.0-or-later
// The 16 x 16 pictures of the two picture buttons, drawn at start-up.
#pragma once

#include <QIcon>

namespace nimbo {

inline constexpr int kGlyphSize = 16; // pixels, square

QIcon inputGlyph();   // "IN" over a waveform: the input device dialog
QIcon loggingGlyph(); // "LOG" with an arrow into a page: logging on/off
// The logging glyph with a red dot on its page: the logs cannot be written.
QIcon loggingFailedGlyph();

} // namespace nimbo
