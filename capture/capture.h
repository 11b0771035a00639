// SPDX-License-Identifier: GPL-3.0-or-later
// Live capture: a Qt Multimedia input device on a thread of its own fills the capture
// ring, and every filled block becomes exactly one run of the block handler on the thread
// that owns this object (the main thread), blocks taken in ring order. A device that stops
// delivering (unplugged, sound server gone) is noticed, closed and opened again by itself
// once it is back.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "capture/capture_ring.h"

class QAudioDevice;
class QAudioSource;
class QMediaDevices;

namespace nimbo {

class Capture final : public QObject {
    Q_OBJECT
  public:
    // Runs on the main thread once per filled block; `slot` is the ring position 0..31.
    using BlockHandler = std::function<void(const int16_t* block, int slot)>;

    // Closed: no device (at start, after close() or a failed open). Running: a device is
    // open, paused or not. Lost: the open device stopped delivering audio for kStallMs
    // (kFirstAudioMs before its first audio), or left the list of devices (a device chosen
    // by id, not the system default); it has been closed and is tried again every kRetryMs
    // and whenever the list of devices changes, until it opens (Running) or close() gives
    // it up. Nothing is tried while paused.
    enum class State { Closed, Running, Lost };
    static constexpr int kStallMs = 2000;
    static constexpr int kFirstAudioMs = 6000;
    static constexpr int kRetryMs = 1000;
    static constexpr int kWatchMs = 250;

    explicit Capture(QObject* parent = nullptr);
    ~Capture() override;

    void setBlockHandler(BlockHandler handler) { handler_ = std::move(handler); }

    // Opens input device `input` (0: the system default, k >= 1: entry k - 1 of Qt's list
    // of audio inputs) in 48 kHz 16-bit stereo and starts it. Closes any open device first.
    // False when the device does not exist or cannot be opened in that format.
    bool open(int input);
    // The same for a device picked by the caller (see input_devices.h); a null device fails.
    // After a loss the device is found again by its id, or with `systemDefault` as the
    // system's default input at that time.
    bool open(const QAudioDevice& device, bool systemDefault = false);
    // Stops the device. Notices already posted for its blocks are dropped when they arrive.
    void close();
    // Stops and restarts the open device without touching the ring (used by the import).
    void pause();
    void resume();
    bool isOpen() const { return session_ != nullptr; }
    State state() const { return state_; }
    // The id of the device open or lost now; empty when closed.
    QByteArray deviceId() const { return state_ == State::Closed ? QByteArray() : deviceId_; }

    // A session without a device: the returned sink takes PCM bytes from any one thread and
    // feeds the ring exactly as the device does. open() uses it; tests feed it directly.
    QIODevice* openSession();
    void closeSession();

    int ringIndex() const { return ring_.ringIndex(); }
    uint64_t droppedBytes() const { return ring_.droppedBytes(); }

  signals:
    // Emitted on the main thread whenever state() changes.
    void stateChanged(nimbo::Capture::State state);

  protected:
    bool event(QEvent* e) override;

  private:
    class Sink;
    void runBlock();
    bool startSource(const QAudioDevice& device);
    void stopSource();
    void setState(State state);
    void watch();
    bool deviceListed() const;
    void lose();
    void devicesChanged();
    void reconnect();

    CaptureRing ring_;
    BlockHandler handler_;
    uint32_t generation_ = 0; // counts sessions; a notice of an older one is stale
    Sink* session_ = nullptr;
    bool inRun_ = false;   // a handler run is in progress (it may pump events)
    int deferredRuns_ = 0; // notices that arrived during a run

    State state_ = State::Closed;
    QByteArray deviceId_; // the open (or lost) device
    bool systemDefault_ = false;
    bool paused_ = false;
    QTimer watchdog_;        // ticks every kWatchMs while a device is open or lost
    uint64_t bytesSeen_ = 0; // the session's byte count at the last tick with audio
    int quietMs_ = 0;        // time since that tick
    int retryMs_ = 0;        // time since the device list was last looked at
    QMediaDevices* devices_; // tells when devices come and go

    QThread audioThread_;
    QObject* audioContext_ = nullptr; // lives on audioThread_; owns the device object
    QAudioSource* source_ = nullptr;  // touched only on audioThread_
};

} // namespace nimbo
