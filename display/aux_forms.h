// The five auxiliary windows. They exist from start-up to exit and are shown on demand;
// for now each is an empty window with its caption.
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

class TForm2 final : public QWidget { // frame data display
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);
};

class TForm3 final : public QWidget { // calibration display
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);
};

class TForm4 final : public QWidget { // import progress
    Q_OBJECT
  public:
    explicit TForm4(QWidget* parent = nullptr);
};

extern TForm9* Form9;
extern TForm10* Form10;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;
