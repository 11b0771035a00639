// The frame data display TForm2 and the import progress window TForm4. They exist from
// start-up to exit and are shown on demand; for now each is an empty window with its caption.
#pragma once

#include <QWidget>

class TForm2 final : public QWidget { // frame data display
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);
};

class TForm4 final : public QWidget { // import progress
    Q_OBJECT
  public:
    explicit TForm4(QWidget* parent = nullptr);
};

extern TForm2* Form2;
extern TForm4* Form4;
