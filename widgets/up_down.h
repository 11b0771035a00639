// SPDX-License-Identifier: GPL-3.0-or-later
// A bare up-down control: two stacked arrow buttons stepping a position within a range,
// without wrap-around and without a text field of its own.
#pragma once

#include <QWidget>

class QToolButton;

namespace nimbo {

class UpDown final : public QWidget {
    Q_OBJECT
  public:
    UpDown(int min, int max, QWidget* parent = nullptr);

    int position() const { return position_; }
    // Clamped to the range; does not emit clicked().
    void setPosition(int position);

  signals:
    // After either arrow was clicked, whether or not the position changed.
    void clicked();

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    void step(int delta);

    QToolButton* up_;
    QToolButton* down_;
    const int min_, max_;
    int position_;
};

} // namespace nimbo
