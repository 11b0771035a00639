// SPDX-License-Identifier: GPL-3.0-or-later
// The main window TForm1: it hosts the decoder, lays out the readout, the scope and the
// graph, keeps the settings between runs and feeds captured audio to the decoder. Its jobs
// (placement, import, replay, capture status) live in classes of their own; it forwards.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/main_placement.h"
#include "capture/capture.h"
#include "core/nimbo_core.h"
#include "decode/cal_conversion.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class TForm4;
class TForm9;

namespace nimbo {
class CaptureStatus;
class ImageView;
class ImportSession;
class ReplaySession;
class UpDown;
} // namespace nimbo

class TForm1 : public QWidget, private nimbo::CoreHooks {
    Q_OBJECT
  public:
    // The design size of the client area; every control's place is given at this size.
    static constexpr int kDesignWidth = 899;
    static constexpr int kDesignHeight = 716;
    static constexpr int kNoFrameAfterMs = nimbo::MainPlacement::kNoFrameAfterMs;

    // `executablePath` decides where the settings file and the output folders are.
    explicit TForm1(const QString& executablePath, QWidget* parent = nullptr);
    ~TForm1() override;

    // Applies the remembered placement: top, left, outer size, maximized state.
    void FormCreate();

    // One captured block of 4800 stereo frames through the decoder, then the readout.
    void ProcessWaveBuffer(const int16_t* block);
    void displayReset();
    // Opens the input device Input (paused while an import or a replay holds capture).
    void OpenCapture();
    void CloseCapture();
    // Replays a recorded raw frame log (the first file dropped on the window). A call
    // while an import runs is refused; the running one goes on.
    virtual void importLog(const QString& path);
    bool importing() const;
    // A file dropped on the window or given with --replay: an audio recording (known by its
    // content, not its name) is replayed, anything else imported as a raw frame log.
    void openFile(const QString& path);
    // Plays an audio recording through the decoder as live audio (the first dropped file
    // when its content is audio, or nimbo --replay), capture paused meanwhile and logging
    // as the LOG button says. Refused while an import or another replay runs.
    virtual void replayAudio(const QString& path);
    bool replaying() const;
    // 1: real time; N: N times faster; 0: as fast as the machine goes.
    void setReplaySpeed(int speed);
    // The progress window the import and the replay show; its close stops them.
    void useImportWindow(TForm4* window);
    // The device dialog SpeedButton2 shows; its choices come back through its signals.
    void useDeviceDialog(TForm9* dialog);

    // The decoder and the capture the window drives.
    nimbo::NimboCore& core() { return core_; }
    const nimbo::NimboCore& core() const { return core_; }
    nimbo::Capture& capture() { return capture_; }
    // The input device setting: 0 the system default, k >= 1 row k of the device list.
    int input() const { return Input; }
    // The calibration display's 18 coefficient indices, as read and as last chosen.
    nimbo::CalSelections calSelections() const { return calSelections_; }
    void setCalSelections(const nimbo::CalSelections& s) { calSelections_ = s; }
    // Settings file and output folders live here.
    const QString& programFolder() const { return programFolder_; }
    // The core's off-screen pictures, wrapped without a copy: the scope, copied into
    // Image1 after every block, and the graph, copied into Image2 when the core says so.
    const QImage& scopeBitmap() const { return scopeBitmap_; }
    const QImage& graphBitmap() const { return graphBitmap_; }

  signals:
    // The window has closed for good (its settings were written or given up).
    void mainWindowClosed();

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildControls();
    void LoadSettings(const QString& file);
    bool SaveSettings(QString* error);
    void FormResize();
    void showLabel1();
    void fitGraphToImage2();
    void showGraphBitmap();
    void mirrorReadout();
    void mirrorPictures();
    void mirrorGraph();
    void captureStateChanged(nimbo::Capture::State state);
    void importEnded();
    void showLogFailure();
    void tellPerUserFolder(const QString& exeFolder);

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void UpDown1Click();
    void Image2Click();
    void Memo1DblClick();

    // Decoder hooks.
    void displayResetHook() override;
    void calibrationDisplayRefresh() override;
    bool frameDisplayShowing() override;
    void frameDisplayRefresh() override;

    nimbo::NimboCore core_;
    nimbo::Capture capture_;

    // Settings held by the window, named after their keys. DemodType, InputCh, SymbolInv,
    // Weak, IQ and Sonde live in core_.settings(), where the decoder reads them; the
    // placement in placement_.
    int Input = 0;
    QByteArray InputId; // the device of Input when it is not 0, found by this id first
    nimbo::CalSelections calSelections_{}; // Press, Temp, Humd

    QString programFolder_;    // settings file and output folders live here
    QString settingsFile_;     // written at close (read at start too, once it exists)
    QString settingsReadFrom_; // the settings file read at start
    QImage scopeBitmap_;
    QImage graphBitmap_;

    QFrame* Panel3;
    nimbo::ImageView* Image1;
    QPlainTextEdit* Memo1;
    QFrame* Panel1;
    QLabel* Label12;
    QLabel* Label11;
    std::array<QLabel*, 8> channelLabel; // Label3..Label10
    QProgressBar* ProgressBar1;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton4;
    QToolButton* SpeedButton6;
    QToolButton* SpeedButton3;
    nimbo::UpDown* UpDown1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label50;
    QFrame* Panel2;
    nimbo::ImageView* Image2;

    nimbo::MainPlacement placement_;
    std::unique_ptr<nimbo::CaptureStatus> captureStatus_;
    nimbo::ImportSession* import_;
    nimbo::ReplaySession* replay_;

    // What the labels show now, so that only changes reach the widgets.
    nimbo::Readout shown_{};
    bool readoutShown_ = false;
    unsigned graphShown_ = 0; // core_.graph().graphShowCount at Image2's last copy
    TForm9* deviceDialog_ = nullptr;
    bool closeAfterImport_ = false; // the window was closed during an import
    std::string logFailureShown_;   // the failure the LOG button shows ("": none)
};

extern TForm1* Form1;
