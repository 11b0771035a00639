// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/placement.h"

#include <QRegion>
#include <QWidget>
#include <algorithm>

namespace nimbo {

QPoint centredOn(const QWidget* window, const QWidget* on) {
    const QRect outer = on->frameGeometry();
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isNull()) frame = outer.size() - on->size();
    const QSize own = window->size() + frame;
    return {outer.left() + outer.width() / 2 - own.width() / 2,
            outer.top() + outer.height() / 2 - own.height() / 2};
}

} // namespace nimbo

namespace nimbo {
namespace {

// Far beyond any desktop, yet small enough that sums of two stay well inside int.
constexpr int64_t kFar = int64_t{1} << 24;

int64_t overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
    return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

// Distance from point (x, y) to the rectangle, squared.
int64_t distance2(int64_t x, int64_t y, const QRect& r) {
    const int64_t dx = x < r.left() ? r.left() - x : x > r.right() ? x - r.right() : 0;
    const int64_t dy = y < r.top() ? r.top() - y : y > r.bottom() ? y - r.bottom() : 0;
    return dx * dx + dy * dy;
}

} // namespace

QRect placeOnScreens(int64_t left, int64_t top, int64_t width, int64_t height,
                     const QList<QRect>& screens, QSize minimum) {
    left = std::clamp(left, -kFar, kFar);
    top = std::clamp(top, -kFar, kFar);
    width = std::clamp<int64_t>(width, minimum.width(), kFar);
    height = std::clamp<int64_t>(height, minimum.height(), kFar);
    if (screens.isEmpty()) return QRect(int(left), int(top), int(width), int(height));

    const QRect* home = &screens.first();
    int64_t best = -1;
    for (const QRect& s : screens) {
        const int64_t area = overlap(left, left + width, s.left(), s.right() + 1) *
                             overlap(top, top + height, s.top(), s.bottom() + 1);
        if (area > best) best = area, home = &s;
    }
    if (best == 0) {
        for (const QRect& s : screens)
            if (distance2(left, top, s) < distance2(left, top, *home)) home = &s;
    }
    const QRect& s = *home;
    width = std::max<int64_t>(std::min<int64_t>(width, s.width()), minimum.width());
    height = std::max<int64_t>(std::min<int64_t>(height, s.height()), minimum.height());

    // Kept where it lies wholly on the screens (also across two of them); otherwise moved
    // wholly onto its screen, so that the title bar and its buttons can be reached.
    QRegion desktop;
    for (const QRect& screen : screens)
        desktop += screen;
    const QRect outer{int(left), int(top), int(width), int(height)};
    if (!QRegion(outer).subtracted(desktop).isEmpty()) {
        left = std::max<int64_t>(s.left(), std::min<int64_t>(left, s.right() + 1 - width));
        top = std::max<int64_t>(s.top(), std::min<int64_t>(top, s.bottom() + 1 - height));
    }
    return QRect(int(left), int(top), int(width), int(height));
}

} // namespace nimbo
