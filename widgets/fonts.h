// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's two faces: a Japanese fixed-pitch face for labels, buttons and the
// memo, and its proportional sister for the window and the status dot, both 12 pixels.
#pragma once

#include <QFont>

namespace nimbo {

// IPAGothic when installed, otherwise the system's fixed-pitch face.
QFont fixedFont();
// IPAPGothic when installed, otherwise the system's general face.
QFont proportionalFont();

} // namespace nimbo
