// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's memo as a log of events: one dated line at its end, scrolled into view.
#pragma once

class QPlainTextEdit;
class QString;

namespace nimbo {

// Appends "HH:mm:ss  text" to `memo` and scrolls to it.
void noteInMemo(QPlainTextEdit* memo, const QString& text);

} // namespace nimbo
