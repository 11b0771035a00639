// SPDX-License-Identifier: GPL-3.0-or-later
// Where an auxiliary window goes when it is shown, measured with the window frames.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>

class QWidget;

namespace nimbo {

// The top-left corner that centres `window` on `on`: on.top + on.height / 2 - own.height / 2
// and likewise across, outer sizes, halves rounded toward zero. Until the window manager has
// framed `window` once, its frame is taken to be the same as `on`'s.
QPoint centredOn(const QWidget* window, const QWidget* on);

// A remembered outer placement (left, top, width, height as read, any values) brought onto
// the screens' available areas `screens`. The window belongs to the screen it overlaps most,
// or else the nearest one. A size beyond that screen is cut to it, never below `minimum`;
// a window not wholly on the screens (a corner or its title bar's buttons beyond an edge)
// is moved just inside its screen. A placement wholly on the screens and within its
// screen's size is kept as it is. With no screens, only the sizes are brought into range.
QRect placeOnScreens(int64_t left, int64_t top, int64_t width, int64_t height,
                     const QList<QRect>& screens, QSize minimum);

} // namespace nimbo
