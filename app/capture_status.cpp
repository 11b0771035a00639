// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/capture_status.h"

#include <QLabel>

#include "app/memo_note.h"
#include "widgets/text_colour.h"

namespace nimbo {
namespace {

// The status dot, and what it shows while the capture device is gone.
const QString kDot = QString::fromUtf8("●");
const QString kLostDot = QString::fromUtf8("×");
constexpr Colour kLostDotColour = clSilver;

// The memo's line (short enough for the memo's width) and the dot's tooltip.
QString captureLostLine() {
    return QStringLiteral("Capture stopped: no audio from the input device; waiting for it.");
}
QString captureLostText() {
    return QStringLiteral("Capture stopped: no audio comes from the input device. "
                          "NIMBO opens it again when it is back.");
}

} // namespace

CaptureStatus::CaptureStatus(QLabel* dot, QPlainTextEdit* memo) : dot_(dot), memo_(memo) {
    dot_->setText(kDot);
}

void CaptureStatus::showDotColour(Colour colour, bool force) {
    if (!force && colour == shown_) return;
    shown_ = colour;
    if (!lost_) setTextColour(dot_, colour); // an import does not light the dot meanwhile
}

bool CaptureStatus::stateChanged(Capture::State state) {
    const bool lost = state == Capture::State::Lost;
    if (lost == lost_) return false;
    lost_ = lost;
    if (lost) {
        showLost();
        noteInMemo(memo_, captureLostLine());
        return false;
    }
    dot_->setText(kDot);
    dot_->setToolTip(QString());
    setTextColour(dot_, shown_);
    if (state != Capture::State::Running) return false; // given up for another device
    noteInMemo(memo_, QStringLiteral("Capture resumed."));
    return true;
}

void CaptureStatus::showLost() {
    dot_->setText(kLostDot);
    dot_->setToolTip(captureLostText());
    setTextColour(dot_, kLostDotColour);
}

} // namespace nimbo
