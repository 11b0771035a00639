// SPDX-License-Identifier: GPL-3.0-or-later
// A raw frame log imported in the main window: capture paused and logging held off while
// the lines are replayed through the core, the message loop pumped after every line, the
// progress window showing the frame number (its close stops the import), and a file that
// gives nothing noted in the memo.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QToolButton;
class TForm4;

namespace nimbo {

class Capture;
class NimboCore;

class ImportSession final : public QObject {
    Q_OBJECT
  public:
    // During an import the window mirrors the readout and the chart at most this often: the
    // screen shows no more, and each mirror costs a repaint of the chart (a 7200-line log
    // is read in well under a second).
    static constexpr int kMirrorEveryMs = 40;

    // `logButton` (SpeedButton1) is held up and disabled meanwhile, `scrollButton`
    // (SpeedButton3) put up; none of the arguments is owned.
    ImportSession(NimboCore& core, Capture& capture, QToolButton* logButton,
                  QToolButton* scrollButton, QObject* parent);

    // The progress window (not owned); its close stops the import.
    void useProgressWindow(TForm4* window);
    // Replays the log at `path` and returns when it has ended or was stopped. A call while
    // an import runs is refused; the running one goes on.
    void run(const QString& path);
    // The import stops after its line.
    void stop() { stopAsked_ = true; }
    bool running() const { return running_; }

  signals:
    // The readout and chart are due to be mirrored (also once at the end).
    void mirrorDue();
    // The import is over, logging and capture as before it.
    void ended();
    // The file gave no frame line: the memo line saying why.
    void nothingRead(const QString& line);

  private:
    void replayLines(const QString& path);

    NimboCore& core_;
    Capture& capture_;
    QToolButton* logButton_;
    QToolButton* scrollButton_;
    QPointer<TForm4> progress_;
    QElapsedTimer sinceMirror_;
    bool running_ = false;
    bool stopAsked_ = false;
};

} // namespace nimbo
