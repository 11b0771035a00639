// SPDX-License-Identifier: GPL-3.0-or-later
// A program colour word as the text colour of a label or other widget.
#pragma once

#include "raster/colour.h"

class QWidget;

namespace nimbo {

// Sets the widget's WindowText colour (what a QLabel draws its text in).
void setTextColour(QWidget* widget, Colour colour);

} // namespace nimbo
