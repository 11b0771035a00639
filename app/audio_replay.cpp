// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/audio_replay.h"

#include <QFile>
#include <algorithm>

#include "audio/audio_input.h"

namespace nimbo {
namespace {

constexpr int kBlockMs = kBlockSamples * 1000 / kSampleRate;
static_assert(kBlockMs == 100, "the pacing counts 0.1 s blocks");
// Time one timer run may spend on blocks before the window gets its events again.
constexpr qint64 kTickBudgetMs = 40;

} // namespace

AudioReplay::AudioReplay(BlockHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &AudioReplay::tick);
}

AudioReplay::~AudioReplay() = default;

bool AudioReplay::start(const QString& path, int speed, int tailBlocks, QString* error) {
    if (running()) {
        *error = QStringLiteral("a replay is already running");
        return false;
    }
    std::string reason;
    source_ = openAudioFile(QFile::encodeName(path).toStdString(), reason);
    if (!source_) {
        *error = QString::fromLocal8Bit(reason.c_str());
        return false;
    }
    speed_ = std::clamp(speed, kAsFastAsPossible, kMaxSpeed);
    blocksPlayed_ = 0;
    tailLeft_ = std::max(tailBlocks, 0);
    fileEnded_ = false;
    percent_ = 0;
    clock_.start();
    // Real time: one block per 0.1 s; faster speeds catch up from the clock in tick().
    timer_.start(speed_ == kAsFastAsPossible ? 0 : std::max(1, kBlockMs / speed_));
    return true;
}

void AudioReplay::stop() {
    if (running()) finish(QString());
}

void AudioReplay::tick() {
    QElapsedTimer budget;
    budget.start();
    const int before = percent_;
    while (running() && budget.elapsed() < kTickBudgetMs) {
        if (speed_ != kAsFastAsPossible &&
            blocksPlayed_ >= clock_.elapsed() * speed_ / kBlockMs + 1)
            break; // ahead of the clock: wait for the next run
        if (!playOneBlock()) {
            const std::string error = source_->error();
            finish(QString::fromLocal8Bit(error.c_str()));
            return;
        }
    }
    if (running() && percent_ != before) emit progressed(percent_);
}

bool AudioReplay::playOneBlock() {
    if (!fileEnded_ && source_->next(block_.data())) {
        percent_ = std::clamp(static_cast<int>(source_->progress() * 100.0), 0, 100);
    } else {
        fileEnded_ = true;
        if (tailLeft_ == 0) return false;
        --tailLeft_;
        block_.fill(0);
    }
    ++blocksPlayed_;
    handler_(block_.data());
    return true;
}

void AudioReplay::finish(const QString& error) {
    timer_.stop();
    source_.reset();
    emit finished(error);
}

} // namespace nimbo
