// Live capture: a Qt Multimedia input device on a thread of its own fills the capture
// ring, and every filled block becomes exactly one run of the block handler on the thread
// that owns this object (the main thread), blocks taken in ring order.
#pragma once

#include <QIODevice>
#include <QObject>
#include <QThread>
#include <cstdint>
#include <functional>

#include "capture/capture_ring.h"

class QAudioDevice;
class QAudioSource;

namespace nimbo {

class Capture final : public QObject {
    Q_OBJECT
  public:
    // Runs on the main thread once per filled block; `slot` is the ring position 0..31.
    using BlockHandler = std::function<void(const int16_t* block, int slot)>;

    explicit Capture(QObject* parent = nullptr);
    ~Capture() override;

    void setBlockHandler(BlockHandler handler) { handler_ = std::move(handler); }

    // Opens input device `input` (0: the system default, k >= 1: entry k - 1 of Qt's list
    // of audio inputs) in 48 kHz 16-bit stereo and starts it. Closes any open device first.
    // False when the device does not exist or cannot be opened in that format.
    bool open(int input);
    // The same for a device picked by the caller (see input_devices.h); a null device fails.
    bool open(const QAudioDevice& device);
    // Stops the device. Notices already posted for its blocks are dropped when they arrive.
    void close();
    // Stops and restarts the open device without touching the ring (used by the import).
    void pause();
    void resume();
    bool isOpen() const { return session_ != nullptr; }

    // A session without a device: the returned sink takes PCM bytes from any one thread and
    // feeds the ring exactly as the device does. open() uses it; tests feed it directly.
    QIODevice* openSession();
    void closeSession();

    int ringIndex() const { return ring_.ringIndex(); }
    uint64_t droppedBytes() const { return ring_.droppedBytes(); }

  protected:
    bool event(QEvent* e) override;

  private:
    class Sink;
    void runBlock();
    void stopSource();

    CaptureRing ring_;
    BlockHandler handler_;
    uint32_t generation_ = 0; // counts sessions; a notice of an older one is stale
    Sink* session_ = nullptr;
    bool inRun_ = false;   // a handler run is in progress (it may pump events)
    int deferredRuns_ = 0; // notices that arrived during a run

    QThread audioThread_;
    QObject* audioContext_ = nullptr; // lives on audioThread_; owns the device object
    QAudioSource* source_ = nullptr;  // touched only on audioThread_
};

} // namespace nimbo
