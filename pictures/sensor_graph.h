// The sensor graph: a strip chart of the normalised sensor channels, newest row at the
// top, scrolling down one row every few steps, with its arming and timing counters.
#pragma once

#include <array>

#include "decode/frame_layout.h"
#include "decode/readout.h"
#include "raster/raster.h"

namespace nimbo {

class SensorGraph {
  public:
    static constexpr int kDesignWidth = 880; // Image2 at the design client size
    static constexpr int kDesignHeight = 518;
    static constexpr int kMaxRowTime = 19;    // UpDown1's range is 0..19
    static constexpr int kDefaultRowTime = 5; // GraphScr when the setting is absent

    SensorGraph();

    // One step of the chart (once a second live, once per frame number in a replay).
    // `sensorBlockOk` is the latest decoded frame's sensor check, read for re-arming.
    void graphStep(const double normalisedChannels[kSensorChannels], bool sensorBlockOk);

    // After every capture block: a step every tenth block while "Scroll" is down, and
    // the traces disarmed at the end of the 20th block counted from the one that brought
    // the last good sensor block.
    void endOfBuffer(bool scrollDown, const double normalisedChannels[kSensorChannels],
                     bool sensorBlockOk);
    // A frame's sensor block passed its check.
    void sensorBlockGood() { sensorStaleCounter = 0; }

    // The display reset's share: black chart, traces starting again from 0.0.
    void reset();
    // "Scroll" clicked and now down: a cleared chart from the next step, which also
    // draws a minute line. A click that leaves it up changes nothing.
    void SpeedButton3Click(bool down);
    // The start of a replay: a black chart whose first step draws a minute line.
    void replayStart();
    // Image2 changed size: the chart is rebuilt black at that size; counters stay.
    void resize(int width, int height);

    // UpDown1 position P (held within 0..19): one row every P + 1 steps; Label1 shows it.
    void setRowTime(int position);

    Raster graphBitmap;
    // Bumped whenever Image2 is to take a fresh copy of graphBitmap (end of every step,
    // resize); between those moments changes to the bitmap are not shown.
    unsigned graphShowCount = 0;

    std::array<bool, kSensorChannels> graphVisible = {true, true,  false, false, false,
                                                      true, false, false}; // Temp, Humd1, Press
    bool graphArmed = false;
    std::array<double, kSensorChannels> graphLastValues{};
    int graphRowCounter = 0;     // steps since the last one-row scroll
    int graphGridCounter = 0;    // scrolls since the last grid dots
    int graphMinuteCounter = 59; // steps since the last minute line
    int graphTickCounter = 0;    // blocks since the last live step, 0..9
    int sensorStaleCounter = 0;  // blocks since the last good sensor block, stops at 19

    int UpDown1 = kDefaultRowTime; // set through setRowTime
    LabelText Label1{};            // "6 sec" for P = 5

  private:
    void scroll();
    void drawTraces(const double* normalisedChannels, int y0);
};

} // namespace nimbo
