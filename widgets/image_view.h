// SPDX-License-Identifier: GPL-3.0-or-later
// An image control: shows the last picture handed to it and reports clicks. The picture
// is copied in once per update, in the screen's own pixel format, so repaints are plain
// copies and the off-screen image may change freely in between.
#pragma once

#include <QImage>
#include <QWidget>

namespace nimbo {

class Raster;

// A raster's pixels as a read-only QImage, without copying; valid until the raster is
// resized.
QImage wrapRaster(const Raster& raster);

class ImageView final : public QWidget {
    Q_OBJECT
  public:
    explicit ImageView(QWidget* parent = nullptr);

    // Takes a copy of `picture` and repaints.
    void showPicture(const QImage& picture);
    // What the control shows now.
    const QImage& picture() const { return picture_; }

  signals:
    // A left click (press and release inside the control).
    void clicked();

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QImage picture_;
    bool pressed_ = false;
};

} // namespace nimbo
