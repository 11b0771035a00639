// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/replay_session.h"

#include <QMessageBox>

#include "capture/capture.h"
#include "core/window_texts.h"
#include "display/import_progress.h"

namespace nimbo {

ReplaySession::ReplaySession(Capture& capture, AudioReplay::BlockHandler handler, QWidget* window)
    : QObject(window), capture_(capture), window_(window), replay_(std::move(handler)) {
    connect(&replay_, &AudioReplay::progressed, this, [this](int percent) {
        if (progress_) progress_->showProgress(replayProgressText(percent).data());
    });
}

void ReplaySession::useProgressWindow(TForm4* window) {
    progress_ = window;
    connect(window, &TForm4::importAbortRequested, &replay_, &AudioReplay::stop);
}

void ReplaySession::start(const QString& path, int tailBlocks) {
    if (running()) return;
    QString error;
    if (!replay_.start(path, speed_, tailBlocks, &error)) {
        reportFailure(path, error);
        return;
    }
    capture_.pause();
    connect(
        &replay_, &AudioReplay::finished, this,
        [this, path](const QString& error) { finished(path, error); }, Qt::SingleShotConnection);
    if (progress_) {
        progress_->showProgress(replayProgressText(0).data());
        progress_->show();
    }
}

void ReplaySession::finished(const QString& path, const QString& error) {
    capture_.resume();
    if (progress_ && progress_->isVisible()) progress_->close();
    // A recording that ends early was decoded up to there; the box says what was missing.
    if (!error.isEmpty()) reportFailure(path, error);
}

void ReplaySession::reportFailure(const QString& path, const QString& error) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("NIMBO"),
                    QStringLiteral("Cannot replay %1:\n%2").arg(path, error), QMessageBox::Ok,
                    window_);
    box.setObjectName(QStringLiteral("replayFailure"));
    box.exec();
}

} // namespace nimbo
