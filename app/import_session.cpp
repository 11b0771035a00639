// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/import_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QToolButton>

#include "capture/capture.h"
#include "core/log_import.h"
#include "core/nimbo_core.h"
#include "core/window_texts.h"
#include "display/import_progress.h"

namespace nimbo {

ImportSession::ImportSession(NimboCore& core, Capture& capture, QToolButton* logButton,
                             QToolButton* scrollButton, QObject* parent)
    : QObject(parent), core_(core), capture_(capture), logButton_(logButton),
      scrollButton_(scrollButton) {}

void ImportSession::useProgressWindow(TForm4* window) {
    progress_ = window;
    connect(window, &TForm4::importAbortRequested, this, &ImportSession::stop);
}

void ImportSession::run(const QString& path) {
    if (running_) return; // dropped while another import runs: that one goes on alone
    running_ = true;
    capture_.pause();
    const bool logging = logButton_->isChecked();
    logButton_->setChecked(false);
    logButton_->setEnabled(false);
    core_.setLogging(false);
    scrollButton_->setChecked(false);
    core_.replayStart();
    QCoreApplication::processEvents();

    replayLines(path);
    if (progress_ && progress_->isVisible()) progress_->close();

    logButton_->setEnabled(true);
    logButton_->setChecked(logging);
    core_.setLogging(logging);
    capture_.resume();
    core_.refillFrameDisplay();
    running_ = false;
    emit mirrorDue();
    emit ended();
}

void ImportSession::replayLines(const QString& path) {
    LogImport import(core_);
    stopAsked_ = false;
    if (import.open(QFile::encodeName(path).toStdString())) {
        NimboCore::BatchGuard batch(core_);
        if (progress_) progress_->show();
        sinceMirror_.invalidate();
        for (LogImport::Step step; (step = import.step()) != LogImport::Step::End;) {
            if (step == LogImport::Step::Frame &&
                (!sinceMirror_.isValid() || sinceMirror_.elapsed() >= kMirrorEveryMs)) {
                sinceMirror_.start();
                if (progress_) progress_->showProgress(loadFrameText(import.frameNumber()).data());
                emit mirrorDue();
            }
            QCoreApplication::processEvents();
            if (stopAsked_) break;
        }
        import.close();
    }
    if (import.framesReplayed() == 0 && !stopAsked_)
        emit nothingRead(
            QString::fromStdString(nothingReadLine(QFile::encodeName(path).toStdString())));
}

} // namespace nimbo
