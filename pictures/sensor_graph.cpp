// SPDX-License-Identifier: GPL-3.0-or-later
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

SensorGraph::SensorGraph(const std::array<bool, kSensorChannels>& visible)
    : graphBitmap_(kDesignWidth, kDesignHeight), graphVisible_(visible) {
    setRowTime(kDefaultRowTime);
}

void SensorGraph::graphStep(const double normalisedChannels[kSensorChannels], bool sensorBlockOk) {
    bool scrolled = false;
    if (graphRowCounter_ < UpDown1_) {
        ++graphRowCounter_;
    } else {
        scroll();
        scrolled = true;
    }

    if (graphMinuteCounter_ < kMinuteSteps - 1) {
        ++graphMinuteCounter_;
    } else {
        for (int x = 0; x < graphBitmap_.width(); x += 2)
            graphBitmap_.setPixel(x, 0, kMinuteColour);
        graphMinuteCounter_ = 0;
    }

    if (graphArmed_)
        drawTraces(normalisedChannels, scrolled ? 1 : 0);
    else if (sensorBlockOk)
        graphArmed_ = true; // drawing resumes at the next step, from the values of this one

    std::copy_n(normalisedChannels, kSensorChannels, graphLastValues_.begin());
    ++graphShowCount_;
}

// The chart moves down one row; the new top row is black, with grid dots every second time.
void SensorGraph::scroll() {
    const int w = graphBitmap_.width();
    const int h = graphBitmap_.height();
    graphBitmap_.copyRect(Rect{0, 0, w, h - 1}, 0, 1);
    graphBitmap_.fill(Rect{0, 0, w, 1}, clBlack);
    graphRowCounter_ = 0;
    if (graphGridCounter_ < kGridEvery - 1) {
        ++graphGridCounter_;
        return;
    }
    for (int i = 0; i <= kGridDivisions; ++i)
        graphBitmap_.setPixel(w / kGridDivisions * i, 0, kGridColour);
    graphGridCounter_ = 0;
}

// Each visible channel: a segment from its previous position (in the row just scrolled
// down, or the top row) to its current one in the top row. 0 is the left edge and 1 the
// right; positions beyond are clipped, not held at the edge. A NaN value has no position,
// so that channel's segment is left out.
void SensorGraph::drawTraces(const double* normalisedChannels, int y0) {
    const double w = graphBitmap_.width();
    for (int k = 0; k < kSensorChannels; ++k) {
        int x0 = 0, x1 = 0;
        if (!graphVisible_[k] || !truncToPixel(w * graphLastValues_[k], x0) ||
            !truncToPixel(w * normalisedChannels[k], x1))
            continue;
        graphBitmap_.setPen(channelColours[k], PenStyle::Solid);
        graphBitmap_.moveTo(x0, y0);
        graphBitmap_.lineTo(x1, 0);
    }
}

void SensorGraph::endOfBuffer(bool scrollDown, const double normalisedChannels[kSensorChannels],
                              bool sensorBlockOk) {
    if (graphTickCounter_ >= kStepBlocks - 1) {
        graphTickCounter_ = 0;
        if (scrollDown) graphStep(normalisedChannels, sensorBlockOk);
    } else {
        ++graphTickCounter_;
    }
    if (sensorStaleCounter_ >= kStaleBlocks - 1)
        graphArmed_ = false;
    else
        ++sensorStaleCounter_;
}

void SensorGraph::reset() {
    graphBitmap_.fill(clBlack);
    graphLastValues_.fill(0.0);
}

void SensorGraph::SpeedButton3Click(bool down) {
    if (!down) return;
    graphBitmap_.fill(clBlack);
    graphTickCounter_ = 0;
    graphMinuteCounter_ = kMinuteSteps - 1;
}

void SensorGraph::replayStart() {
    graphBitmap_.fill(clBlack);
    graphMinuteCounter_ = kMinuteSteps - 1;
}

void SensorGraph::resize(int width, int height) {
    graphBitmap_.resize(width, height);
    ++graphShowCount_;
}

void SensorGraph::setRowTime(int position) {
    UpDown1_ = std::clamp(position, 0, kMaxRowTime);
    std::snprintf(Label1_.data(), Label1_.size(), "%d sec", UpDown1_ + 1);
}

} // namespace nimbo
