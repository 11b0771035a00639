#include "display/import_progress.h"

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QString::fromUtf8("インポート中..."));
}
