// SPDX-License-Identifier: GPL-3.0-or-later
// Replay of an audio recording through the live decoding chain: the file's 0.1 s blocks are
// handed to the window's block handler on the main thread, paced by a timer at real time
// (the scope and chart move as in flight) or faster.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "dsp/signal.h"

namespace nimbo {

class BlockSource;

class AudioReplay final : public QObject {
    Q_OBJECT
  public:
    // Speed 1 is real time, N is N times faster; kAsFastAsPossible drops the pacing.
    static constexpr int kAsFastAsPossible = 0;
    static constexpr int kMaxSpeed = 10000;

    using BlockHandler = std::function<void(const int16_t* block)>;
    explicit AudioReplay(BlockHandler handler, QObject* parent = nullptr);
    ~AudioReplay() override;

    // Opens the file and starts the replay; `tailBlocks` blocks of silence follow its end
    // so that a frame ending with the recording completes. False with one clear line in
    // `error` when the file cannot be played; a replay already running is refused.
    bool start(const QString& path, int speed, int tailBlocks, QString* error);
    // Ends the replay after the block in hand; finished() follows at once.
    void stop();
    bool running() const { return source_ != nullptr; }
    // How much of the file was played, 0..100.
    int percent() const { return percent_; }

  signals:
    // Now and then while it plays, when the percentage moved.
    void progressed(int percent);
    // The replay is over: `error` is "" when the file played whole or was stopped.
    void finished(const QString& error);

  private:
    void tick();
    bool playOneBlock(); // false when the file and its tail are done
    void finish(const QString& error);

    BlockHandler handler_;
    std::unique_ptr<BlockSource> source_;
    std::array<int16_t, kBlockWords> block_{};
    QTimer timer_;
    QElapsedTimer clock_;
    int speed_ = 1;
    long long blocksPlayed_ = 0;
    int tailLeft_ = 0;
    bool fileEnded_ = false;
    int percent_ = 0;
};

} // namespace nimbo
