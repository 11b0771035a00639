#include "display/aux_forms.h"

TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;

TForm9::TForm9(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QStringLiteral("Select input wave device"));
}

TForm10::TForm10(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QStringLiteral("Input device change"));
}

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Data Display"));
}

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Calibration Display"));
}

TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QString::fromUtf8("インポート中..."));
}
