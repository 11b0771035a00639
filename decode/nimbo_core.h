// The program-wide decoder state: receiver chain, decoded frame, readout, and the
// per-block and per-frame operations. The GUI and the command-line tools each own one.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decode/frame_layout.h"
#include "decode/readout.h"
#include "decode/sensor_graph.h"
#include "dsp/front_end.h"
#include "dsp/scope.h"

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
};

class NimboCore final : private FrameListener {
  public:
    explicit NimboCore(CoreHooks* hooks = nullptr);
    NimboCore(const NimboCore&) = delete;
    NimboCore& operator=(const NimboCore&) = delete;

    void setHooks(CoreHooks* hooks) { hooks_ = hooks; }

    // One capture buffer: kBlockSamples interleaved 16-bit stereo frames.
    void ProcessWaveBuffer(const int16_t* interleaved);
    // Decodes the frame held in frameBits.
    void decodeFrame();
    // Blanks the readout and clears the per-sonde state.
    void displayReset();
    // "Cal Reset": the display reset without touching "Scroll".
    void calReset();
    // The logging button went down or up; down with a full table writes its files.
    void loggingSwitched(bool down);

    uint8_t* frameBits() { return receiver.sync.frameBits.data(); }

    ReceiverSettings settings;
    Receiver receiver;
    Readout readout;

    // Decoded frame state; a failed block leaves its values from earlier frames.
    bool sondeBlockOk = false;
    bool sensorBlockOk = false;
    bool gpsBlockOk = false;
    char serialNumber[frame::kSerialLength + 1] = {};
    uint32_t frameNumber = 0;
    uint8_t calIndex = 0;
    bool humidSwap = false;
    std::array<int32_t, frame::kChannels> sensorRaw{};
    double refLow = 0.0;
    double refHigh = 0.0;
    std::array<double, frame::kChannels> normalisedChannels{};
    double txFreqMHz = 0.0;
    bool txFreqSetThisFrame = false; // set by a good piece-0 block of the current frame
    std::array<uint8_t, kFrameBytes> frameBytes{};        // the frame last decoded
    std::array<uint8_t, kFrameBytes> frameDisplayBytes{}; // the last fully good frame shown

    // Calibration collection state, cleared by displayReset.
    static constexpr int kCalPieces = 32;
    static constexpr int kCalCoefficients = 66;
    static constexpr int kCalWords = 19;
    static constexpr int kCalDisplayBytes = 440;
    std::array<bool, kCalPieces> calReceived{};
    std::array<uint8_t, kCalPieces * 16> calTable{};
    bool calComplete = false;
    std::array<double, kCalCoefficients> calCoefficients{};
    std::array<uint32_t, kCalWords> calWords{};
    std::array<uint8_t, kCalDisplayBytes> calDisplayBytes{};

    // Folder beneath which raw/, sens/, calraw/ and caldata/ are written.
    std::string programFolder = ".";

    bool batchMode = false; // start-up, "Cal Reset" and imports
    bool loggingOn = false; // SpeedButton1 down
    bool scrollDown = false;   // SpeedButton3 ("Scroll"): the graph advances while down
    bool drawPictures = true;  // scope and graph; off where nothing shows them

    Scope scope;
    SensorGraph graph;

  private:
    void frameComplete() override { decodeFrame(); }
    void decodeSondeBlock();
    void decodeSensorBlock();
    void statusDotFrame();
    void statusDotEndOfBuffer();
    void collectCalibrationPiece(int index, const uint8_t* piece);
    void completeCalibration();
    void writeCalibrationFiles();
    void logFrame();

    CoreHooks* hooks_;
    CoreHooks noHooks_;
};

// (value - refLow) / (refHigh - refLow); 0.0 when the references coincide.
double normaliseChannel(double value, double refLow, double refHigh);

// A little-endian IEEE single-precision pattern as a double; zero, subnormal, infinite
// and NaN patterns give 0.0.
double decodeCoefficient(const uint8_t* fourBytes);

// Calibration progress in percent for `received` of 32 pieces, truncated (96 for 31).
int calibrationProgress(int received);

} // namespace nimbo
