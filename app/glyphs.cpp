// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/glyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <cmath>
#include <numbers>

namespace nimbo {
namespace {

QFont glyphFont() {
    QFont f;
    f.setPixelSize(7);
    f.setBold(true);
    return f;
}

QPixmap blank() {
    QPixmap p(kGlyphSize, kGlyphSize);
    p.fill(Qt::transparent);
    return p;
}

} // namespace

QIcon inputGlyph() {
    QPixmap pix = blank();
    QPainter p(&pix);
    p.setFont(glyphFont());
    p.setPen(Qt::darkBlue);
    p.drawText(QRect(0, 0, kGlyphSize, 8), Qt::AlignCenter, QStringLiteral("IN"));
    // One and a half periods of a sine across the lower half.
    QPolygon wave;
    for (int x = 1; x < kGlyphSize - 1; ++x)
        wave << QPoint(
            x, 12 - int(std::lround(3.0 * std::sin((x - 1) * 3 * std::numbers::pi / 14.0))));
    p.setPen(Qt::darkGreen);
    p.drawPolyline(wave);
    p.end();
    return QIcon(pix);
}

QIcon loggingGlyph() {
    QPixmap pix = blank();
    QPainter p(&pix);
    p.setFont(glyphFont());
    p.setPen(Qt::darkRed);
    p.drawText(QRect(0, 0, kGlyphSize, 8), Qt::AlignCenter, QStringLiteral("LOG"));
    // A page with a folded corner, and an arrow pointing into it from the left.
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawPolygon(
        QPolygon({QPoint(8, 8), QPoint(12, 8), QPoint(14, 10), QPoint(14, 15), QPoint(8, 15)}));
    p.setPen(Qt::darkBlue);
    p.drawLine(1, 12, 10, 12);
    p.drawLine(8, 10, 10, 12);
    p.drawLine(8, 14, 10, 12);
    p.end();
    return QIcon(pix);
}

QIcon loggingFailedGlyph() {
    QPixmap pix = loggingGlyph().pixmap(kGlyphSize, kGlyphSize);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(230, 0, 0));
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.end();
    return QIcon(pix);
}

} // namespace nimbo
