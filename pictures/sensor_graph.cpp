#include "pictures/sensor_graph.h"

#include <algorithm>
#include <cstdio>

namespace nimbo {

namespace {

constexpr int kGridEvery = 2;      // grid dots on every second scrolled row
constexpr int kGridDivisions = 10; // dots at 0 %, 10 %, ... 100 % of the width
constexpr int kMinuteSteps = 60;   // a silver dotted row every 60 steps
constexpr int kStepBlocks = 10;    // live: one step per 10 blocks (1 s)
constexpr int kStaleBlocks = 20;   // blocks without a good sensor block that disarm
constexpr Colour kGridColour = clGray;
constexpr Colour kMinuteColour = clSilver;

} // namespace

SensorGraph::SensorGraph() : graphBitmap(kDesignWidth, kDesignHeight) {
    setRowTime(kDefaultRowTime);
}

void SensorGraph::graphStep(const double normalisedChannels[kSensorChannels], bool sensorBlockOk) {
    bool scrolled = false;
    if (graphRowCounter < UpDown1) {
        ++graphRowCounter;
    } else {
        scroll();
        scrolled = true;
    }

    if (graphMinuteCounter < kMinuteSteps - 1) {
        ++graphMinuteCounter;
    } else {
        for (int x = 0; x < graphBitmap.width(); x += 2)
            graphBitmap.setPixel(x, 0, kMinuteColour);
        graphMinuteCounter = 0;
    }

    if (graphArmed)
        drawTraces(normalisedChannels, scrolled ? 1 : 0);
    else if (sensorBlockOk)
        graphArmed = true; // drawing resumes at the next step, from the values of this one

    std::copy_n(normalisedChannels, kSensorChannels, graphLastValues.begin());
    ++graphShowCount;
}

// The chart moves down one row; the new top row is black, with grid dots every second time.
void SensorGraph::scroll() {
    const int w = graphBitmap.width();
    const int h = graphBitmap.height();
    graphBitmap.copyRect(Rect{0, 0, w, h - 1}, 0, 1);
    graphBitmap.fill(Rect{0, 0, w, 1}, clBlack);
    graphRowCounter = 0;
    if (graphGridCounter < kGridEvery - 1) {
        ++graphGridCounter;
        return;
    }
    for (int i = 0; i <= kGridDivisions; ++i)
        graphBitmap.setPixel(w / kGridDivisions * i, 0, kGridColour);
    graphGridCounter = 0;
}

// Each visible channel: a segment from its previous position (in the row just scrolled
// down, or the top row) to its current one in the top row. 0 is the left edge and 1 the
// right; positions beyond are clipped, not held at the edge. A NaN value has no position,
// so that channel's segment is left out.
void SensorGraph::drawTraces(const double* normalisedChannels, int y0) {
    const double w = graphBitmap.width();
    for (int k = 0; k < kSensorChannels; ++k) {
        int x0 = 0, x1 = 0;
        if (!graphVisible[k] || !truncToPixel(w * graphLastValues[k], x0) ||
            !truncToPixel(w * normalisedChannels[k], x1))
            continue;
        graphBitmap.setPen(channelColours[k], PenStyle::Solid);
        graphBitmap.moveTo(x0, y0);
        graphBitmap.lineTo(x1, 0);
    }
}

void SensorGraph::endOfBuffer(bool scrollDown, const double normalisedChannels[kSensorChannels],
                              bool sensorBlockOk) {
    if (graphTickCounter >= kStepBlocks - 1) {
        graphTickCounter = 0;
        if (scrollDown) graphStep(normalisedChannels, sensorBlockOk);
    } else {
        ++graphTickCounter;
    }
    if (sensorStaleCounter >= kStaleBlocks - 1)
        graphArmed = false;
    else
        ++sensorStaleCounter;
}

void SensorGraph::reset() {
    graphBitmap.fill(clBlack);
    graphLastValues.fill(0.0);
}

void SensorGraph::SpeedButton3Click(bool down) {
    if (!down) return;
    graphBitmap.fill(clBlack);
    graphTickCounter = 0;
    graphMinuteCounter = kMinuteSteps - 1;
}

void SensorGraph::replayStart() {
    graphBitmap.fill(clBlack);
    graphMinuteCounter = kMinuteSteps - 1;
}

void SensorGraph::resize(int width, int height) {
    graphBitmap.resize(width, height);
    ++graphShowCount;
}

void SensorGraph::setRowTime(int position) {
    UpDown1 = std::clamp(position, 0, kMaxRowTime);
    std::snprintf(Label1.data(), Label1.size(), "%d sec", UpDown1 + 1);
}

} // namespace nimbo
