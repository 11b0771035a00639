// SPDX-License-Identifier: GPL-3.0-or-later
// A replay of an audio recording in the main window: capture paused while it plays, its
// progress in the progress window (whose close stops it), and a recording that cannot be
// played, or ends early, reported in a message box.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "app/audio_replay.h"

class QWidget;
class TForm4;

namespace nimbo {

class Capture;

class ReplaySession final : public QObject {
    Q_OBJECT
  public:
    // Blocks go to `handler`; `window` is the parent of the failure box (neither owned).
    ReplaySession(Capture& capture, AudioReplay::BlockHandler handler, QWidget* window);

    // The progress window (not owned); its close stops the replay.
    void useProgressWindow(TForm4* window);
    // 1: real time; N: N times faster; 0: as fast as the machine goes.
    void setSpeed(int speed) { speed_ = speed; }
    // Starts playing `path`, `tailBlocks` blocks of silence after its end. A file that
    // cannot be played is reported in a box; a running replay is left alone.
    void start(const QString& path, int tailBlocks);
    void stop() { replay_.stop(); }
    bool running() const { return replay_.running(); }

  private:
    void finished(const QString& path, const QString& error);
    void reportFailure(const QString& path, const QString& error);

    Capture& capture_;
    QWidget* window_;
    AudioReplay replay_;
    QPointer<TForm4> progress_;
    int speed_ = 1;
};

} // namespace nimbo
