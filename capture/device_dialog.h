// SPDX-License-Identifier: GPL-3.0-or-later
// The input device dialog TForm9 ("Select input wave device"): capture device, signal type
// (FM Det, IF or I/Q), inversion, channel, receiver and sonde; and the notice TForm10 shown while
// the capture device changes.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "dsp/front_end.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class TForm10;

// Made once at start from the main window's settings, then shown modally on demand. It
// writes no setting itself: closing it asks the main window, through its signals, to switch
// the device (when another row was chosen) and to take the signal settings shown.
class TForm9 final : public QDialog {
    Q_OBJECT
  public:
    // The pause between closing the old device and opening the new one: the driver lets go.
    static constexpr unsigned long kSwitchPauseMs = 500;

    // `mainWindow` is the window the dialog centres on; `input` the row of the device in use
    // (0 the system default, k device k - 1 of the list); `signal` the signal settings.
    TForm9(QWidget* mainWindow, int input, const nimbo::ReceiverSettings& signal);

    // The notice shown during a device switch (made after the dialog, at start).
    void setChangeNotice(TForm10* notice) { notice_ = notice; }

    // Every way of closing the dialog ends here; the choices are applied first.
    void done(int result) override;

  signals:
    // A device switch, in this order: close the device in use, then, half a second later,
    // open row `input` (whose device has `deviceId`, empty for the system default).
    void closeCaptureRequested();
    void openCaptureRequested(int input, const QByteArray& deviceId);
    // Sent on every close: the signal type, channel, inversion and receiver shown.
    void signalSettingsChosen(const nimbo::ReceiverSettings& signal);

  protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildControls();
    void fillList();
    void findSoundSettings();
    void checkRow(int row); // the one check mark, on `row` (none when it has no row)
    int selectedRow() const;
    void showNotice();

    void FormShow();
    void ListView1Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton5Click();
    void enableSignalControls(); // the controls that the signal type chosen uses
    void Button2Click();
    void FormClose();

    QTableWidget* ListView1;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2; // the weak-signal receiver
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton5; // I/Q: the channel, inversion and FM Det / IF unused
    QLabel* Label1;             // "Sonde", before its two choices
    QRadioButton* RadioButton6; // RS92
    QRadioButton* RadioButton7; // RS41: always the weak-signal receiver, so CheckBox2 unused
    QGroupBox* GroupBox2;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton4;
    QPushButton* Button2;

    QPointer<QWidget> mainWindow_;
    QPointer<TForm10> notice_;
    int input_;                         // the row in use, as the main window's Input
    int demodType_;                     // the last of FM Det (0) and IF (1) chosen, kept under I/Q
    bool placeWhenFramed_ = false;      // centre again once the window manager has framed it
    QList<QByteArray> rowIds_;          // the device id of every row, fixed when the list was made
    bool deviceSoundMixerFound = false; // the desktop's recording mixer is installed
    QString soundSettingsProgram_;      // what Button2 starts; empty when nothing was found
    QStringList soundSettingsArguments_;
    bool closing_ = false;
};

// "Input device change": a small tool window with one line, shown during a device switch.
class TForm10 final : public QWidget {
    Q_OBJECT
  public:
    // `dialog` is the window the notice centres on.
    explicit TForm10(QWidget* dialog);

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void FormShow();

    QPointer<QWidget> dialog_;
    QLabel* Label1;
};

extern TForm9* Form9;
extern TForm10* Form10;
