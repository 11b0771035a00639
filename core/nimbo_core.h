// SPDX-License-Identifier: GPL-3.0-or-later
// The program-wide decoder state behind one object: receiver chain, decoded frame,
// calibration collection, flight logs, readout and pictures. The state is private; the
// GUI and the command-line tools change it only through the operations below and read
// it through the const views. Each of them owns one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/rs41_core.h"
#include "decode/calibration.h"
#include "decode/decoded_frame.h"
#include "decode/flight_logs.h"
#include "decode/frame_repair.h"
#include "decode/readout.h"
#include "dsp/front_end.h"
#include "dsp/iq_discriminator.h"
#include "dsp/weak/eye.h"
#include "dsp/weak/weak_receiver.h"
#include "pictures/scope.h"
#include "pictures/sensor_graph.h"

namespace nimbo {

// Calls out of the core. Each has a do-nothing default; the GUI and tools fill them.
class CoreHooks {
  public:
    virtual ~CoreHooks() = default;
    // A calibration piece was collected (good sonde block, table incomplete).
    virtual void calibrationPiece(int /*index*/, const uint8_t* /*piece16*/) {}
    // A frame with good sonde and sensor blocks was logged (logging on).
    virtual void logFrame() {}
    // The calibration display refresh, after a good sensor block.
    virtual void calibrationDisplayRefresh() {}
    // Whether the frame data display is showing, and its refresh.
    virtual bool frameDisplayShowing() { return false; }
    virtual void frameDisplayRefresh() {}
    // After a display reset, for the windows to mirror it.
    virtual void displayResetHook() {}
    // After every block, once the scope, status dot and graph have taken their step.
    virtual void endOfBuffer() {}
    // Once at the end of every decodeFrame, whatever its checks gave.
    virtual void frameDecoded() {}
    // Once per RS41 frame the receiver hands over, whatever its checks gave.
    virtual void rs41FrameDecoded(const rs41::Rs41Frame& /*frame*/) {}
};

class NimboCore final : private FrameListener,
                        private SentFrameListener,
                        private Rs41Core::Listener {
  public:
    explicit NimboCore(CoreHooks* hooks = nullptr);
    NimboCore(const NimboCore&) = delete;
    NimboCore& operator=(const NimboCore&) = delete;

    void setHooks(CoreHooks* hooks) { hooks_ = hooks ? hooks : &noHooks_; }

    // Batch mode (start-up, "Cal Reset", imports) for the guard's lifetime: a display
    // reset leaves "Scroll" alone, a completed table is not copied to the data display.
    class BatchGuard {
      public:
        explicit BatchGuard(NimboCore& core) : core_(core), was_(core.batchMode_) {
            core.batchMode_ = true;
        }
        ~BatchGuard() { core_.batchMode_ = was_; }
        BatchGuard(const BatchGuard&) = delete;
        BatchGuard& operator=(const BatchGuard&) = delete;

      private:
        NimboCore& core_;
        bool was_;
    };

    // ---- Operations ----

    // One capture buffer: kBlockSamples interleaved 16-bit stereo frames.
    void ProcessWaveBuffer(const int16_t* interleaved);
    // Decodes the frame held in frameBits (the receiver's hand-off).
    void decodeFrame();
    // Puts 1760 cells of 0/1 (bit k of content byte n at 8n + k) in frameBits and decodes
    // them: the hand-off of a replayed frame.
    void decodeFrame(const uint8_t* cells);
    // Blanks the readout and clears the per-sonde state.
    void displayReset();
    // The display reset the main window runs once at start-up (batch mode).
    void startUpReset();
    // "Cal Reset": the display reset without touching "Scroll".
    void calReset();
    // The logging button went down or up; down with a full table writes its files.
    void loggingSwitched(bool down);
    // "Scroll" clicked: the graph advances while it is down; down clears the chart.
    void SpeedButton3Click(bool down);
    // UpDown1 moved to `position`: the graph's row time.
    void setRowTime(int position);
    // Image2 changed size: the chart starts over at that size.
    void resizeGraph(int width, int height);
    // Signal type, channel and polarity, read at the start of every block.
    void applySettings(const ReceiverSettings& settings);
    // Where raw/, sens/, calraw/ and caldata/ are written.
    void setProgramFolder(std::string folder) { logs_.setFolder(std::move(folder)); }
    // Scope and graph drawing; off where nothing shows them.
    void setDrawPictures(bool on) { drawPictures_ = on; }
    // Carries on from a receiver that has heard the start of a signal (another core's
    // receiver() or weakReceiver(), copied), as if this core had heard it: many runs can
    // start from one point of a signal without hearing its start again. Apply the settings
    // it heard under first.
    void continueFrom(const Receiver& heard);
    void continueFrom(const WeakReceiver& heard);

    // ---- Replay of a recorded raw log (see core/log_import.h) ----

    // The start of a replay: "Scroll" up, the chart black, a minute line at the first step.
    void replayStart();
    // One step of the chart for a replayed frame number; `armed` false first disarms the
    // traces (a frame number missing from the log).
    void graphStep(bool armed = true);
    // The logging switch set without its click: nothing is written on the way.
    void setLogging(bool on) { logs_.setOn(on); }
    // The end of a replay: the data display's copies from frameBits and the table.
    void refillFrameDisplay();

    // ---- Read-only views ----

    const DecodedFrame& frame() const { return frame_; }
    const CalibrationCollection& calibration() const { return cal_; }
    const Readout& readout() const { return readout_; }
    const ReceiverSettings& settings() const { return settings_; }
    // Blocks of silence to feed after the last of a recording so that its last frame
    // completes: the standard chain holds the last symbols back by some 30 samples; the
    // weak-signal receiver hands a frame over only once the next frame's sync was due, about
    // 0.21 s after its last byte.
    int closingSilenceBlocks() const { return settings_.Weak || settings_.Sonde != 0 ? 4 : 1; }
    const Receiver& receiver() const { return receiver_; }
    const WeakReceiver& weakReceiver() const { return weak_; }
    // The RS41 side, once an RS41 setting has been applied (nullptr before).
    const Rs41Core* rs41() const { return rs41_.get(); }
    const weak::Eye& weakEye() const { return weakEye_; } // what the scope shows of it
    const Scope& scope() const { return scope_; }
    const SensorGraph& graph() const { return graph_; }
    // The last fully good frame, as the frame data display shows it.
    const std::array<uint8_t, kFrameBytes>& frameDisplayBytes() const { return frameDisplayBytes_; }
    const std::string& programFolder() const { return logs_.folder(); }
    bool loggingOn() const { return logs_.on(); }
    // Log and calibration file writing: the latest failure and its episodes.
    const LogWriteFailure& logWriteFailure() const { return logs_.failure(); }
    bool scrollDown() const { return scrollDown_; }
    bool batchMode() const { return batchMode_; }

  private:
    void frameComplete() override { decodeFrame(); }
    void rs41FrameDone(const rs41::Rs41Frame& frame) override;
    bool sentFrame(sent::ParityBytes before, sent::SentBytes bytes, sent::SentBytes second,
                   sent::Reliabilities reliability, sent::BitReliabilities bits,
                   bool follows) override;
    void decodeSondeBlock();
    void decodeSensorBlock();
    void statusDotFrame();
    void showRs41(const rs41::Rs41Frame& frame);
    // The window's readout and chart show the RS41: it is chosen, and no RS92 frame (from an
    // imported or replayed RS92 log) has come since the last RS41 frame.
    bool rs41Shown() const { return settings_.Sonde == 1 && !rs92Shown_; }
    void showSonde(bool rs92);
    void statusDotEndOfBuffer();
    void collectCalibrationPiece(int index, const uint8_t* piece);
    void writeCalibrationFiles();

    ReceiverSettings settings_;
    Receiver receiver_;
    WeakReceiver weak_;
    std::unique_ptr<Rs41Core> rs41_; // made when an RS41 setting first comes
    IqDiscriminator iqDiscriminator_;
    std::array<int16_t, kBlockWords> iqAudio_{}; // its FM Det audio for the receiver
    weak::Eye weakEye_;
    FrameRepair repair_;
    int weakCorrected_ = -1; // the repair's count for the frame being decoded
    DecodedFrame frame_;
    CalibrationCollection cal_;
    FlightLogs logs_;
    Readout readout_;
    Scope scope_;
    SensorGraph graph_;
    std::array<uint8_t, kFrameBytes> frameDisplayBytes_{};
    // The chart's traces with an RS41: the altitude in the first, the others NaN (not drawn).
    std::array<double, kSensorChannels> rs41Chart_{};
    bool rs41ChartOk_ = false; // the latest RS41 frame brought a position

    bool rs92Shown_ = false; // RS92 frames shown though the RS41 is chosen
    bool batchMode_ = false;
    bool scrollDown_ = false;      // SpeedButton3 ("Scroll") is down
    bool drawPictures_ = true;     // scope and graph
    bool calFilesPending_ = false; // the complete table's files failed: tried again per frame

    CoreHooks* hooks_;
    CoreHooks noHooks_;
};

} // namespace nimbo
