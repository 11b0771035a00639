// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/import_progress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "widgets/fonts.h"

TForm4* Form4 = nullptr;

namespace {

// Distances of the window from the main window's bottom left corner.
constexpr int kLeftInset = 25;
constexpr int kBottomInset = 20;

} // namespace

TForm4::TForm4(QWidget* mainWindow)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QString::fromUtf8("インポート中..."));
    setFont(nimbo::proportionalFont());
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(nimbo::fixedFont());
    Label1->setGeometry(24, 18, 200, 16);

    Button1 = new QPushButton(QString::fromUtf8("中止"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(87, 50, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

void TForm4::showProgress(const char* text) {
    Label1->setText(QString::fromUtf8(text));
}

void TForm4::Button1Click() {
    close();
}

void TForm4::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TForm4::FormShow() {
    // Kept above the other windows by its flags; placed at the main window's bottom left,
    // both measured with their frames.
    if (!mainWindow_) return;
    const QRect main = mainWindow_->frameGeometry();
    const int ownHeight = frameGeometry().height();
    move(main.left() + kLeftInset, main.top() + main.height() - ownHeight - kBottomInset);
    raise();
}

void TForm4::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    FormClose();
}

void TForm4::FormClose() {
    emit importAbortRequested();
}
