// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/capture.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QEvent>
#include <QMediaDevices>
#include <atomic>

#include "capture/input_devices.h"

namespace nimbo {
namespace {

// The notice of one filled block; the capture counterpart of a posted window message.
constexpr QEvent::Type kBlockReady = static_cast<QEvent::Type>(QEvent::User + 1);

class BlockReadyEvent final : public QEvent {
  public:
    explicit BlockReadyEvent(uint32_t generation) : QEvent(kBlockReady), generation(generation) {}
    const uint32_t generation;
};

} // namespace

// The write end of one session. Written from the audio thread; it only fills the ring and
// posts one notice per completed block to the Capture object.
class Capture::Sink final : public QIODevice {
  public:
    Sink(CaptureRing& ring, QObject* target, uint32_t generation)
        : ring_(ring), target_(target), generation_(generation) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        received_.fetch_add(static_cast<uint64_t>(len), std::memory_order_relaxed);
        const int blocks = ring_.fill(data, static_cast<std::size_t>(len));
        for (int i = 0; i < blocks; ++i)
            QCoreApplication::postEvent(target_, new BlockReadyEvent(generation_));
        return len;
    }

  public:
    // Every byte the device has written, ring full or not: the watchdog's sign of life.
    uint64_t received() const { return received_.load(std::memory_order_relaxed); }

  private:
    CaptureRing& ring_;
    QObject* const target_;
    const uint32_t generation_;
    std::atomic<uint64_t> received_{0};
};

Capture::Capture(QObject* parent) : QObject(parent), devices_(new QMediaDevices(this)) {
    watchdog_.setInterval(kWatchMs);
    connect(&watchdog_, &QTimer::timeout, this, &Capture::watch);
    connect(devices_, &QMediaDevices::audioInputsChanged, this, &Capture::devicesChanged);
    audioThread_.setObjectName(QStringLiteral("nimbo-audio"));
    audioContext_ = new QObject;
    audioContext_->moveToThread(&audioThread_);
    audioThread_.start();
}

Capture::~Capture() {
    close();
    audioThread_.quit();
    audioThread_.wait();
    delete audioContext_;
}

QIODevice* Capture::openSession() {
    closeSession();
    ring_.reset();
    ++generation_;
    session_ = new Sink(ring_, this, generation_);
    return session_;
}

void Capture::closeSession() {
    if (!session_) return;
    delete session_;
    session_ = nullptr;
    // Notices still queued for the old session now carry a stale generation.
    ++generation_;
    ring_.reset();
    deferredRuns_ = 0;
}

bool Capture::open(int input) {
    return open(inputDevice(input), input == 0);
}

bool Capture::open(const QAudioDevice& device, bool systemDefault) {
    close();
    paused_ = false;
    if (!startSource(device)) return false;
    deviceId_ = device.id();
    systemDefault_ = systemDefault;
    setState(State::Running);
    return true;
}

// Opens `device` into a new session; on failure everything is closed again.
bool Capture::startSource(const QAudioDevice& device) {
    const QAudioFormat format = captureFormat();
    if (device.isNull() || !device.isFormatSupported(format)) return false;

    QIODevice* sink = openSession();
    bool started = false;
    QMetaObject::invokeMethod(
        audioContext_,
        [&] {
            source_ = new QAudioSource(device, format, audioContext_);
            source_->start(sink);
            started =
                source_->error() == QAudio::NoError && source_->state() != QAudio::StoppedState;
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        stopSource();
        closeSession();
        return false;
    }
    bytesSeen_ = 0;
    quietMs_ = 0;
    return true;
}

void Capture::stopSource() {
    QMetaObject::invokeMethod(
        audioContext_,
        [this] {
            if (!source_) return;
            source_->stop();
            delete source_;
            source_ = nullptr;
        },
        Qt::BlockingQueuedConnection);
}

void Capture::close() {
    // The device is gone before the ring is reset: nothing writes into it afterwards.
    stopSource();
    closeSession();
    setState(State::Closed);
}

void Capture::setState(State state) {
    if (state == State::Closed)
        watchdog_.stop();
    else if (!watchdog_.isActive())
        watchdog_.start();
    if (state == state_) return;
    state_ = state;
    emit stateChanged(state);
}

// A running device must deliver: 0.1 s blocks come ten times a second. One that has been
// silent for kStallMs (not paused) is taken for lost; the first audio of a device may take
// kFirstAudioMs. Every kRetryMs the chosen device is looked for in the list of devices, and a
// lost one is tried again.
void Capture::watch() {
    if (inRun_) return; // a block is being read from the ring: never reset it under the reader
    retryMs_ += kWatchMs;
    const bool listDue = retryMs_ >= kRetryMs;
    if (listDue) retryMs_ = 0;
    if (state_ == State::Lost) {
        if (listDue) reconnect();
        return;
    }
    if (state_ != State::Running) return;
    if (listDue && !deviceListed()) {
        lose();
        return;
    }
    const uint64_t received = session_ ? session_->received() : 0;
    if (paused_ || received != bytesSeen_) {
        bytesSeen_ = received;
        quietMs_ = 0;
        return;
    }
    quietMs_ += kWatchMs;
    if (quietMs_ >= (received == 0 ? kFirstAudioMs : kStallMs)) lose();
}

// A device chosen by its id that leaves the list is lost even if audio still flows: the
// sound server may have moved the stream to another source. The system default follows
// whatever the system names.
bool Capture::deviceListed() const {
    if (systemDefault_) return true;
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        if (d.id() == deviceId_) return true;
    return false;
}

void Capture::lose() {
    stopSource();
    closeSession();
    retryMs_ = 0;
    setState(State::Lost);
}

void Capture::devicesChanged() {
    if (inRun_) return; // the next watchdog tick looks again
    if (state_ == State::Lost)
        reconnect();
    else if (state_ == State::Running && !deviceListed())
        lose();
}

// While an import has capture paused, the device is left alone until it resumes.
void Capture::reconnect() {
    retryMs_ = 0;
    if (paused_) return;
    QAudioDevice device;
    if (systemDefault_) {
        device = QMediaDevices::defaultAudioInput();
    } else {
        for (const QAudioDevice& d : QMediaDevices::audioInputs())
            if (d.id() == deviceId_) device = d;
    }
    if (device.isNull() || !startSource(device)) return;
    deviceId_ = device.id();
    setState(State::Running);
}

void Capture::pause() {
    paused_ = true;
    QMetaObject::invokeMethod(
        audioContext_,
        [this] {
            if (source_) source_->suspend();
        },
        Qt::BlockingQueuedConnection);
}

void Capture::resume() {
    paused_ = false;
    quietMs_ = 0;
    QMetaObject::invokeMethod(
        audioContext_,
        [this] {
            if (source_) source_->resume();
        },
        Qt::BlockingQueuedConnection);
}

bool Capture::event(QEvent* e) {
    if (e->type() != kBlockReady) return QObject::event(e);
    if (static_cast<BlockReadyEvent*>(e)->generation != generation_) return true;
    if (inRun_) {
        // The handler pumped events; this run follows once the current one has finished.
        ++deferredRuns_;
        return true;
    }
    inRun_ = true;
    runBlock();
    while (deferredRuns_ > 0) {
        --deferredRuns_;
        runBlock();
    }
    inRun_ = false;
    return true;
}

void Capture::runBlock() {
    const int16_t* block = ring_.take();
    if (!block) return;
    const int slot = ring_.ringIndex();
    if (handler_) handler_(block, slot);
    ring_.release();
}

} // namespace nimbo
