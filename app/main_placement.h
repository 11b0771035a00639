// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's placement: the remembered outer geometry (MainTop, MainLeft, MainWidth,
// MainHeight, MainMaxmum), checked against the screens, applied once the window manager's
// frame is known, and remembered again whenever the window is active in the normal state.
#pragma once

#include <QSize>

#include "settings/settings.h"

class QWidget;

namespace nimbo {

class MainPlacement {
  public:
    // The smallest outer window size, also the size of a first run.
    static constexpr int kMinWidth = kDefaultMainWidth;
    static constexpr int kMinHeight = kDefaultMainHeight;
    // Shown this long without a window frame: none comes (no window manager).
    static constexpr int kNoFrameAfterMs = 1000;

    // Places `window` (not owned; it outlives this object).
    explicit MainPlacement(QWidget& window) : window_(window) {}

    // The remembered placement as read from the settings file, any values.
    void load(const Settings& s);
    // Applies the remembered placement, brought onto the screens first: top, left, outer
    // size, maximized state.
    void FormCreate();
    // The window was shown, moved, resized or changed state: sets the placement again until
    // the outer window stands where it was remembered.
    void fitOuterSize();
    // Once the window has been shown: without a window manager no frame ever comes.
    void shown();
    // The window became active: its normal placement is remembered.
    void FormActivate();
    // What the settings file keeps of the placement at close.
    void saveInto(Settings& s) const;

  private:
    QSize frameExtra() const;

    QWidget& window_;
    int MainTop = 0, MainLeft = 0, MainWidth = kMinWidth, MainHeight = kMinHeight;
    bool MainMaxmum = false;
    bool pending_ = false;             // FormCreate's placement still awaits the frame
    int tries_ = 0;                    // times fitOuterSize has set it again
    bool settledWithoutFrame_ = false; // no frame had come after kNoFrameAfterMs
    static constexpr int kTries = 4;
};

} // namespace nimbo
