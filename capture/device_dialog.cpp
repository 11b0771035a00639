#include "capture/device_dialog.h"

TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;

TForm9::TForm9(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QStringLiteral("Select input wave device"));
}

TForm10::TForm10(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QStringLiteral("Input device change"));
}
