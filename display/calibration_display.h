// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration display TForm3 ("Calibration Display"): pressure, temperature and humidity
// from coefficients the user picks by index, refreshed with every good sensor block.
#pragma once

#include <QWidget>
#include <array>

#include "decode/cal_conversion.h"

class QGroupBox;
class QLabel;

namespace nimbo {
class NimboCore;
class UpDown;
} // namespace nimbo

class TForm3 final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 632;
    static constexpr int kClientHeight = 262;

    // Reads the decoder through `core`; starts at `initial` (brought into range), and
    // centres itself on `mainWindow` whenever it is shown. Neither is owned.
    TForm3(const nimbo::NimboCore& core, const nimbo::CalSelections& initial,
           const QWidget* mainWindow);

    // Mirrors the core's coefficients and results, then hands the 18 positions on.
    void Refresh();
    nimbo::CalSelections selections() const;

  signals:
    // After every refresh: the positions the main window stores under Press1..Humd6.
    void selectionsChanged(const nimbo::CalSelections& selections);

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    // One row: name label, index label, up-down, value label.
    struct Row {
        QLabel* index;
        nimbo::UpDown* upDown;
        QLabel* value;
    };
    struct Group {
        QGroupBox* box;
        QLabel* result;
        std::array<Row, nimbo::kCalRows> rows;
    };

    void FormShow();
    void mirrorCore();
    void mirror(Group& group, const nimbo::CalGroupTexts& texts);

    const nimbo::NimboCore& core_;
    const QWidget* mainWindow_;
    QLabel* panel_ = nullptr; // the warning line; with an RS41 it says the window is the RS92's
    Group temperature_{}, humidity_{}, pressure_{};
};

extern TForm3* Form3;
