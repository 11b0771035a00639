// SPDX-License-Identifier: GPL-3.0-or-later
// The frame data display TForm2 ("Data Display"): the byte map of the latest good frame
// and of the calibration table.
#pragma once

#include <QWidget>
#include <memory>

#include "pictures/byte_map.h"

class QLabel;
class QScrollArea;

namespace nimbo {
class ImageView;
class NimboCore;
} // namespace nimbo

class TForm2 final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 907;
    static constexpr int kClientHeight = 287;

    // Reads the decoder's display state through `core`; centres itself on `mainWindow`
    // whenever it is shown. Neither is owned. The map stays black until the first Redraw.
    TForm2(const nimbo::NimboCore& core, const QWidget* mainWindow);
    ~TForm2() override;

    // Draws the byte map anew from the decoder's display state and shows it.
    void Redraw();

    // What Image1 shows now.
    const QImage& shownPicture() const;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void FormShow();
    void showSondeNotice(); // over the map while the RS41 is chosen

    const nimbo::NimboCore& core_;
    const QWidget* mainWindow_;
    std::unique_ptr<nimbo::ByteMap> map_; // holds dataBitmap
    QFont textFont_;
    int textAscent_ = 0;
    QScrollArea* ScrollBox1;
    nimbo::ImageView* Image1;
    QLabel* sondeNotice_;
};

extern TForm2* Form2;
