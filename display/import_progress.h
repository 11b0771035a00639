// SPDX-License-Identifier: GPL-3.0-or-later
// The import progress window TForm4 ("インポート中..."): the frame number being loaded and
// the stop button, at the main window's bottom left and above the other windows.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

class TForm4 final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 249;
    static constexpr int kClientHeight = 89;

    // Places itself against `mainWindow` whenever it is shown (not owned).
    explicit TForm4(QWidget* mainWindow = nullptr);

    // Label1: the core's progress text.
    void showProgress(const char* text);

  signals:
    // The window closed, by "中止" or otherwise: the running import stops after its line.
    void importAbortRequested();

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void Button1Click();
    void FormShow();
    void FormClose();

    QPointer<QWidget> mainWindow_;
    QLabel* Label1;
    QPushButton* Button1;
};

extern TForm4* Form4;
