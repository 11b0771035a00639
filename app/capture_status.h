// SPDX-License-Identifier: GPL-3.0-or-later
// The status dot's second meaning: while the capture device is gone it shows a grey cross
// with the reason in its tooltip instead of the colour of the last frame, and the memo
// notes when capture stopped and resumed.
#pragma once

#include "capture/capture.h"
#include "raster/colour.h"

class QLabel;
class QPlainTextEdit;

namespace nimbo {

class CaptureStatus {
  public:
    // `dot` is Label11, `memo` Memo1 (neither owned); the dot shows "●".
    CaptureStatus(QLabel* dot, QPlainTextEdit* memo);

    // The readout's dot colour; shown unless the device is gone. `force` sets it even when
    // it has not changed (the first mirror).
    void showDotColour(Colour colour, bool force);
    // The capture's new state. True when capture runs again after a loss (the device may
    // now sit at another row of the list).
    bool stateChanged(Capture::State state);
    bool lost() const { return lost_; }

  private:
    void showLost();

    QLabel* dot_;
    QPlainTextEdit* memo_;
    Colour shown_ = 0; // the readout's colour, shown again when the device is back
    bool lost_ = false;
};

} // namespace nimbo
