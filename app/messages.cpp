// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace nimbo {
namespace {

const QString kTitle = QStringLiteral("NIMBO");

} // namespace

void reportCaptureOpenFailure(QWidget* parent) {
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, kTitle,
                    QString::fromUtf8("録音デバイスをオープンできないためプログラムの実行ができません\n"
                                      "デバイスが使用中か録音フォーマットに対応していない可能性があります"),
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("captureOpenFailure"));
    box.exec();
}

bool askCloseWithoutSettings(QWidget* parent, const QString& file, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, kTitle,
                    QString::fromUtf8("設定ファイルを保存できません\n%1\n%2\n\n"
                                      "設定を保存せずに終了しますか？")
                        .arg(file, reason),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("settingsSaveFailure"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void reportUnexpectedError(const QString& what) {
    QMessageBox::critical(nullptr, kTitle, what);
}

} // namespace nimbo
