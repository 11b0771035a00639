// SPDX-License-Identifier: GPL-3.0-or-later
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

    // Temp, Humd1 and Press drawn; which channels are drawn is fixed for the graph's life.
    static constexpr std::array<bool, kSensorChannels> kDefaultVisible = {
        true, true, false, false, false, true, false, false};

    explicit SensorGraph(const std::array<bool, kSensorChannels>& visible = kDefaultVisible);

    // One step of the chart (once a second live, once per frame number in a replay).
    // `sensorBlockOk` is the latest decoded frame's sensor check, read for re-arming.
    void graphStep(const double normalisedChannels[kSensorChannels], bool sensorBlockOk);

    // After every capture block: a step every tenth block while "Scroll" is down, and
    // the traces disarmed at the end of the 20th block counted from the one that brought
    // the last good sensor block.
    void endOfBuffer(bool scrollDown, const double normalisedChannels[kSensorChannels],
                     bool sensorBlockOk);
    // A frame's sensor block passed its check.
    void sensorBlockGood() { sensorStaleCounter_ = 0; }
    // A frame number missing from a replayed log: no trace until a good sensor block re-arms.
    void disarm() { graphArmed_ = false; }

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

    // Graph steps that scroll every row of the chart out (height x (P + 1)): more steps
    // in a row with the traces disarmed leave nothing of what was drawn before.
    int stepsPerChart() const { return graphBitmap_.height() * (UpDown1_ + 1); }

    const Raster& graphBitmap() const { return graphBitmap_; }
    // Bumped whenever Image2 is to take a fresh copy of graphBitmap (end of every step,
    // resize); between those moments changes to the bitmap are not shown.
    unsigned graphShowCount() const { return graphShowCount_; }
    const std::array<bool, kSensorChannels>& graphVisible() const { return graphVisible_; }
    bool graphArmed() const { return graphArmed_; } // traces are drawn
    // normalisedChannels as they were at the previous step.
    const std::array<double, kSensorChannels>& graphLastValues() const { return graphLastValues_; }
    int graphRowCounter() const { return graphRowCounter_; }       // steps since the last scroll
    int graphGridCounter() const { return graphGridCounter_; }     // scrolls since grid dots
    int graphMinuteCounter() const { return graphMinuteCounter_; } // steps since a minute line
    int graphTickCounter() const { return graphTickCounter_; }     // blocks since a live step, 0..9
    // Blocks since the last good sensor block, stops at 19.
    int sensorStaleCounter() const { return sensorStaleCounter_; }
    int UpDown1() const { return UpDown1_; }            // the row time P, 0..19
    const LabelText& Label1() const { return Label1_; } // "6 sec" for P = 5

  private:
    void scroll();
    void drawTraces(const double* normalisedChannels, int y0);

    Raster graphBitmap_;
    unsigned graphShowCount_ = 0;
    std::array<bool, kSensorChannels> graphVisible_;
    bool graphArmed_ = false;
    std::array<double, kSensorChannels> graphLastValues_{};
    int graphRowCounter_ = 0;
    int graphGridCounter_ = 0;
    int graphMinuteCounter_ = 59;
    int graphTickCounter_ = 0;
    int sensorStaleCounter_ = 0;
    int UpDown1_ = kDefaultRowTime; // set through setRowTime
    LabelText Label1_{};
};

} // namespace nimbo
