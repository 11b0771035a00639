#include "display/aux_forms.h"

TForm2* Form2 = nullptr;
TForm4* Form4 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Data Display"));
}

TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QString::fromUtf8("インポート中..."));
}
