// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/image_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "raster/raster.h"

namespace nimbo {

QImage wrapRaster(const Raster& raster) {
    return QImage(raster.bits(), raster.width(), raster.height(), raster.stride(),
                  QImage::Format_RGB888);
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the picture (black beyond it): nothing shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::showPicture(const QImage& picture) {
    // RGB32 is what the backing store holds, so painting needs no conversion.
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    update();
}

void ImageView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QRect dirty = e->rect();
    if (!picture_.rect().contains(dirty)) p.fillRect(dirty, Qt::black);
    p.drawImage(dirty.topLeft(), picture_, dirty);
}

void ImageView::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    QWidget::mousePressEvent(e);
}

void ImageView::mouseReleaseEvent(QMouseEvent* e) {
    const bool click =
        pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    if (click) emit clicked();
    QWidget::mouseReleaseEvent(e);
}

} // namespace nimbo
