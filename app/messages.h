// SPDX-License-Identifier: GPL-3.0-or-later
// The program's message boxes, with their texts.
#pragma once

#include <QString>

class QWidget;

namespace nimbo {

// Exclamation beep, then the modal box saying the capture device cannot be opened.
void reportCaptureOpenFailure(QWidget* parent);

// The settings could not be written at close. True when the user still wants to close.
bool askCloseWithoutSettings(QWidget* parent, const QString& file, const QString& reason);

// An exception that escaped the event loop; the program ends after the box.
void reportUnexpectedError(const QString& what);

} // namespace nimbo
