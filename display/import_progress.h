// The import progress window TForm4 ("インポート中...").
#pragma once

#include <QWidget>

class TForm4 final : public QWidget {
    Q_OBJECT
  public:
    explicit TForm4(QWidget* parent = nullptr);
};

extern TForm4* Form4;
