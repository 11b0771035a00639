#include "capture/capture.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QEvent>

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
        const int blocks = ring_.fill(data, static_cast<std::size_t>(len));
        for (int i = 0; i < blocks; ++i)
            QCoreApplication::postEvent(target_, new BlockReadyEvent(generation_));
        return len;
    }

  private:
    CaptureRing& ring_;
    QObject* const target_;
    const uint32_t generation_;
};

Capture::Capture(QObject* parent) : QObject(parent) {
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
    return open(inputDevice(input));
}

bool Capture::open(const QAudioDevice& device) {
    close();
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
    if (!started) close();
    return started;
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
}

void Capture::pause() {
    QMetaObject::invokeMethod(
        audioContext_,
        [this] {
            if (source_) source_->suspend();
        },
        Qt::BlockingQueuedConnection);
}

void Capture::resume() {
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
