// The frame data display TForm2 ("Data Display"): the byte map of the latest good frame
// and of the calibration table.
#pragma once

#include <QWidget>

class TForm2 final : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    // Draws the byte map anew from the decoder's display state and shows it.
    void Redraw() {}
};

extern TForm2* Form2;
