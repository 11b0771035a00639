// Where an auxiliary window goes when it is shown, measured with the window frames.
#pragma once

#include <QPoint>

class QWidget;

namespace nimbo {

// The top-left corner that centres `window` on `on`: on.top + on.height / 2 - own.height / 2
// and likewise across, outer sizes, halves rounded toward zero. Until the window manager has
// framed `window` once, its frame is taken to be the same as `on`'s.
QPoint centredOn(const QWidget* window, const QWidget* on);

} // namespace nimbo
