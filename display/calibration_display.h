// The calibration display TForm3 ("Calibration Display").
#pragma once

#include <QWidget>

class TForm3 final : public QWidget {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);
};

extern TForm3* Form3;
