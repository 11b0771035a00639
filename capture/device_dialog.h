// The input device dialog TForm9 ("Select input wave device") and the notice TForm10
// shown while the capture device changes.
#pragma once

#include <QWidget>

class TForm9 final : public QWidget { // "Select input wave device"
    Q_OBJECT
  public:
    explicit TForm9(QWidget* parent = nullptr);
};

class TForm10 final : public QWidget { // "Input device change" notice
    Q_OBJECT
  public:
    explicit TForm10(QWidget* parent = nullptr);
};

extern TForm9* Form9;
extern TForm10* Form10;
