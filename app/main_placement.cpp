// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "widgets/placement.h"

namespace nimbo {

void MainPlacement::load(const Settings& s) {
    MainTop = s.MainTop;
    MainLeft = s.MainLeft;
    MainWidth = s.MainWidth;
    MainHeight = s.MainHeight;
    MainMaxmum = s.MainMaxmum;
}

QSize MainPlacement::frameExtra() const {
    return window_.frameGeometry().size() - window_.size();
}

void MainPlacement::FormCreate() {
    // Values from the file that would leave the window's title bar out of reach or make it
    // larger than its screen are replaced by a placement on the screen; sane ones stay.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect placed =
        placeOnScreens(MainLeft, MainTop, MainWidth, MainHeight, screens, {kMinWidth, kMinHeight});
    MainLeft = placed.left();
    MainTop = placed.top();
    MainWidth = placed.width();
    MainHeight = placed.height();
    // The stored values are outer ones; the frame is known once the window is shown
    // (fitOuterSize then corrects place and client size).
    const QSize extra = frameExtra();
    window_.setMinimumSize(kMinWidth - extra.width(), kMinHeight - extra.height());
    window_.move(MainLeft, MainTop);
    window_.resize(MainWidth - extra.width(), MainHeight - extra.height());
    window_.setWindowState(MainMaxmum ? Qt::WindowMaximized : Qt::WindowNoState);
    pending_ = true;
    tries_ = 0;
}

void MainPlacement::fitOuterSize() {
    // Window managers add their frame only after the first show, and a window created
    // early (as the parent of the device error box) may be placed by its client area.
    // Until the outer window stands where it was remembered, in the normal state with its
    // frame known, place and size are set again (a few times at most: a window manager
    // may insist on its own); meanwhile nothing of the window's geometry is remembered.
    // A window that starts maximized gets its normal placement when it is first restored.
    const QSize extra = frameExtra();
    // A window manager slower than kNoFrameAfterMs (a busy machine) frames the window after
    // the placement was given up for want of one: the placement resumes then, once.
    if (settledWithoutFrame_ && !extra.isEmpty()) {
        settledWithoutFrame_ = false;
        pending_ = true;
        tries_ = 0;
    }
    if (!pending_ || extra.isEmpty()) return;
    window_.setMinimumSize(kMinWidth - extra.width(), kMinHeight - extra.height());
    if (window_.windowState() != Qt::WindowNoState) return;
    const QRect wanted(MainLeft, MainTop, MainWidth, MainHeight);
    if (window_.frameGeometry() == wanted || tries_ >= kTries) {
        pending_ = false;
        return;
    }
    ++tries_;
    window_.resize(MainWidth - extra.width(), MainHeight - extra.height());
    window_.move(MainLeft, MainTop);
}

void MainPlacement::shown() {
    fitOuterSize();
    // Without a window manager no frame ever comes: the placement then stands as it is.
    QTimer::singleShot(kNoFrameAfterMs, &window_, [this] {
        if (!pending_ || !frameExtra().isEmpty() || window_.windowState() != Qt::WindowNoState)
            return;
        pending_ = false;
        settledWithoutFrame_ = true;
    });
}

void MainPlacement::FormActivate() {
    fitOuterSize();
    if (pending_) return;
    if (window_.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
        return;
    const QRect outer = window_.frameGeometry();
    MainWidth = outer.width();
    MainHeight = outer.height();
    MainTop = outer.top();
    MainLeft = outer.left();
}

void MainPlacement::saveInto(Settings& s) const {
    if (window_.isMaximized() || pending_) {
        // The last normal placement seen while the window was active (or, before the window
        // stood there, the placement it was given).
        s.MainTop = MainTop;
        s.MainLeft = MainLeft;
        s.MainWidth = MainWidth;
        s.MainHeight = MainHeight;
        s.MainMaxmum = window_.isMaximized();
        return;
    }
    const QRect outer = window_.frameGeometry();
    s.MainTop = outer.top();
    s.MainLeft = outer.left();
    s.MainWidth = outer.width();
    s.MainHeight = outer.height();
    s.MainMaxmum = false;
}

} // namespace nimbo
