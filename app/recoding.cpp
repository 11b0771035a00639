// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recoding.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>

#include "app/capture_status.h"
#include "app/glyphs.h"
#include "app/import_session.h"
#include "app/memo_note.h"
#include "app/messages.h"
#include "app/program_folder.h"
#include "app/replay_session.h"
#include "audio/audio_file_kind.h"
#include "capture/input_devices.h"
#include "core/window_texts.h"
#include "display/calibration_display.h"
#include "display/data_display.h"
#include "display/import_progress.h"
#include "settings/settings.h"
#include "widgets/image_view.h"
#include "widgets/text_colour.h"
#include "widgets/up_down.h"

TForm1* Form1 = nullptr;

namespace {

// The settings file and the graph agree on the row time of a first run.
static_assert(nimbo::Settings{}.GraphScr == nimbo::SensorGraph::kDefaultRowTime);

using nimbo::setTextColour;

// Shows `text` in `widget` when it differs from what is shown (kept in `shown`).
void mirrorText(QLabel* widget, nimbo::LabelText& shown, const nimbo::LabelText& text, bool force) {
    if (!force && shown == text) return;
    shown = text;
    widget->setText(QString::fromUtf8(text.data()));
    widget->adjustSize();
}

void mirrorColour(QLabel* widget, nimbo::Colour& shown, nimbo::Colour colour, bool force) {
    if (!force && shown == colour) return;
    shown = colour;
    setTextColour(widget, colour);
}

} // namespace

TForm1::TForm1(const QString& executablePath, QWidget* parent)
    : QWidget(parent), placement_(*this) {
    buildControls();
    captureStatus_ = std::make_unique<nimbo::CaptureStatus>(Label11, Memo1);
    import_ = new nimbo::ImportSession(core_, capture_, SpeedButton1, SpeedButton3, this);
    connect(import_, &nimbo::ImportSession::mirrorDue, this, [this] {
        mirrorReadout();
        mirrorGraph();
    });
    connect(import_, &nimbo::ImportSession::ended, this, &TForm1::importEnded);
    connect(import_, &nimbo::ImportSession::nothingRead, this,
            [this](const QString& line) { nimbo::noteInMemo(Memo1, line); });
    replay_ = new nimbo::ReplaySession(
        capture_, [this](const int16_t* block) { ProcessWaveBuffer(block); }, this);

    const nimbo::ProgramFiles files = nimbo::programFilesFor(executablePath);
    programFolder_ = files.folder;
    settingsFile_ = files.settingsSave;
    settingsReadFrom_ = files.settingsRead;
    LoadSettings(files.settingsRead);
    if (files.perUser) tellPerUserFolder(files.exeFolder);
    showLabel1();
    core_.setProgramFolder(QFile::encodeName(programFolder_).toStdString());

    scopeBitmap_ = nimbo::wrapRaster(core_.scope().scopeBitmap());
    Image1->showPicture(scopeBitmap_);
    fitGraphToImage2();

    core_.setHooks(this);
    core_.startUpReset();
    mirrorReadout();
    showGraphBitmap();

    // Blocks still on their way when a replay or an import paused the capture, and blocks
    // of a device opened meanwhile, are dropped, not mixed in.
    capture_.setBlockHandler([this](const int16_t* block, int) {
        if (!replaying() && !importing()) ProcessWaveBuffer(block);
    });
    connect(&capture_, &nimbo::Capture::stateChanged, this, &TForm1::captureStateChanged);
    // A device saved with its id is at whatever row Qt lists it now; one that is gone
    // leaves Input as saved.
    if (const int row = nimbo::inputRowOf(InputId); Input != 0 && row > 0) Input = row;
    OpenCapture();
}

TForm1::~TForm1() {
    CloseCapture();
    core_.setHooks(nullptr);
}

// ---- Settings ----

void TForm1::LoadSettings(const QString& file) {
    const nimbo::Settings s = nimbo::loadSettings(file.toStdString());
    placement_.load(s);
    UpDown1->setPosition(s.GraphScr);
    core_.setRowTime(UpDown1->position());
    SpeedButton1->setChecked(s.Logging);
    core_.setLogging(s.Logging); // the button's state, not its click: nothing is written
    Input = s.Input;
    InputId = nimbo::deviceIdFromText(QString::fromStdString(s.InputId));
    // Only the RS92 and the RS41 are offered; any other value listens for the RS92.
    core_.applySettings({s.DemodType, s.InputCh, s.SymbolInv, s.Weak, s.IQ, s.Sonde == 1 ? 1 : 0});
    // As read, range included: the calibration display brings them into 0..65.
    calSelections_ = {s.Press, s.Temp, s.Humd};
}

bool TForm1::SaveSettings(QString* error) {
    nimbo::Settings s;
    placement_.saveInto(s);
    s.GraphScr = UpDown1->position();
    s.Logging = SpeedButton1->isChecked();
    s.Input = Input;
    s.InputId = nimbo::deviceIdText(InputId).toStdString();
    s.DemodType = core_.settings().DemodType;
    s.InputCh = core_.settings().InputCh;
    s.SymbolInv = core_.settings().SymbolInv;
    s.Weak = core_.settings().Weak;
    s.IQ = core_.settings().Iq;
    s.Sonde = core_.settings().Sonde;
    s.Press = calSelections_.press;
    s.Temp = calSelections_.temp;
    s.Humd = calSelections_.humd;
    // The first file in the per-user folder starts as a copy of the one read beside the
    // program, so that lines NIMBO does not know survive as they would in place.
    if (settingsReadFrom_ != settingsFile_ && !QFileInfo::exists(settingsFile_))
        QFile::copy(settingsReadFrom_, settingsFile_);
    std::string why;
    const bool ok = nimbo::saveSettings(settingsFile_.toStdString(), s, &why);
    if (!ok && error) *error = QString::fromStdString(why);
    return ok;
}

void TForm1::FormCreate() {
    placement_.FormCreate();
}

// The graph starts over, empty, at Image2's size; its pixels move, so wrap them anew.
void TForm1::fitGraphToImage2() {
    core_.resizeGraph(Image2->width(), Image2->height());
    graphBitmap_ = nimbo::wrapRaster(core_.graph().graphBitmap());
    showGraphBitmap();
}

void TForm1::showGraphBitmap() {
    graphShown_ = core_.graph().graphShowCount();
    Image2->showPicture(graphBitmap_);
}

void TForm1::showLabel1() {
    Label1->setText(QString::fromUtf8(core_.graph().Label1().data()));
    Label1->adjustSize();
}

// ---- Window events ----

void TForm1::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FormResize();
    placement_.fitOuterSize();
}

void TForm1::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    placement_.fitOuterSize();
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    placement_.shown();
}

void TForm1::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) placement_.FormActivate();
    if (e->type() == QEvent::WindowStateChange) placement_.fitOuterSize();
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (importing()) {
        // The import loop still runs below this event: it stops after its line, and then
        // the window closes as usual.
        import_->stop();
        closeAfterImport_ = true;
        e->ignore();
        return;
    }
    QString reason;
    if (!SaveSettings(&reason) && !nimbo::askCloseWithoutSettings(this, settingsFile_, reason)) {
        e->ignore(); // stays open; the user may fix the folder and close again
        return;
    }
    e->accept();
    replay_->stop();
    emit mainWindowClosed();
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    e->acceptProposedAction();
    // Only the first dropped file is taken; the others are ignored, and so is a drop during
    // a replay.
    if (!urls.isEmpty() && urls.first().isLocalFile()) openFile(urls.first().toLocalFile());
}

void TForm1::openFile(const QString& path) {
    if (replaying()) return;
    if (nimbo::looksLikeAudio(QFile::encodeName(path).toStdString()))
        replayAudio(path);
    else
        importLog(path);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Memo1->viewport() && e->type() == QEvent::MouseButtonDblClick) {
        Memo1DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// ---- Capture and decoding ----

void TForm1::OpenCapture() {
    if (!capture_.open(nimbo::inputDevice(Input, InputId), Input == 0)) {
        nimbo::reportCaptureOpenFailure(this);
        return;
    }
    // A device chosen during an import or a replay waits for its end, as the one before.
    if (importing() || replaying()) capture_.pause();
}

void TForm1::CloseCapture() {
    capture_.close();
}

void TForm1::ProcessWaveBuffer(const int16_t* block) {
    core_.ProcessWaveBuffer(block);
    mirrorReadout();
    mirrorPictures();
}

void TForm1::displayReset() {
    core_.displayReset();
    mirrorReadout();
}

void TForm1::displayResetHook() {
    // The cleared graph shows from its next step on; "Scroll" follows without its click.
    SpeedButton3->setChecked(core_.scrollDown());
    // An open calibration display drops its results with the table at once.
    calibrationDisplayRefresh();
}

void TForm1::calibrationDisplayRefresh() {
    if (Form3 && Form3->isVisible()) Form3->Refresh();
}

bool TForm1::frameDisplayShowing() {
    return Form2 && Form2->isVisible();
}

void TForm1::frameDisplayRefresh() {
    if (Form2) Form2->Redraw();
}

void TForm1::useImportWindow(TForm4* window) {
    import_->useProgressWindow(window);
    replay_->useProgressWindow(window);
}

// ---- Import and replay ----

bool TForm1::importing() const {
    return import_->running();
}

void TForm1::importLog(const QString& path) {
    import_->run(path);
}

void TForm1::importEnded() {
    if (Form2) Form2->Redraw();
    if (closeAfterImport_) {
        closeAfterImport_ = false;
        close();
    }
}

bool TForm1::replaying() const {
    return replay_->running();
}

void TForm1::setReplaySpeed(int speed) {
    replay_->setSpeed(speed);
}

void TForm1::replayAudio(const QString& path) {
    if (importing()) return; // the running one goes on alone
    replay_->start(path, core_.closingSilenceBlocks());
}

// ---- Mirroring the core ----

void TForm1::mirrorReadout() {
    const nimbo::Readout& r = core_.readout();
    const bool force = !readoutShown_;
    readoutShown_ = true;
    mirrorText(Label2, shown_.Label2, r.Label2, force);
    mirrorText(Label12, shown_.Label12, r.Label12, force);
    mirrorText(Label50, shown_.Label50, r.Label50, force);
    for (int i = 0; i < 8; ++i)
        mirrorText(channelLabel[i], shown_.channelLabels[i], r.channelLabels[i], force);
    if (force) {
        for (int i = 0; i < 8; ++i)
            setTextColour(channelLabel[i], nimbo::channelColours[i]);
    }
    mirrorColour(channelLabel[1], shown_.Label4Colour, r.Label4Colour, force);
    mirrorColour(channelLabel[2], shown_.Label5Colour, r.Label5Colour, force);
    captureStatus_->showDotColour(r.Label11Colour, force);
    ProgressBar1->setValue(r.ProgressBar1);
    showLogFailure();
}

// Logs that cannot be written are marked on the LOG button, the reason in its tooltip,
// until a write lands again or logging is switched off; no box interrupts a flight.
void TForm1::showLogFailure() {
    const nimbo::LogWriteFailure& failure = core_.logWriteFailure();
    static const std::string kNone;
    const std::string& text = failure.active ? failure.text : kNone;
    if (text == logFailureShown_) return;
    logFailureShown_ = text;
    SpeedButton1->setIcon(text.empty() ? nimbo::loggingGlyph() : nimbo::loggingFailedGlyph());
    SpeedButton1->setToolTip(text.empty()
                                 ? QString()
                                 : QString::fromStdString(nimbo::logFailureTip(
                                       text, QFile::encodeName(programFolder_).toStdString())));
}

void TForm1::mirrorPictures() {
    Image1->showPicture(scopeBitmap_); // redrawn by the core after every block
    mirrorGraph();
}

// Image2 takes a fresh copy only when the core says the chart has a new picture.
void TForm1::mirrorGraph() {
    if (core_.graph().graphShowCount() != graphShown_) showGraphBitmap();
}

// The dot's cross while the device is gone; when it is back it may sit at another row.
void TForm1::captureStateChanged(nimbo::Capture::State state) {
    if (!captureStatus_->stateChanged(state)) return;
    const QByteArray id = InputId.isEmpty() ? capture_.deviceId() : InputId;
    if (const int row = nimbo::inputRowOf(id); Input != 0 && row > 0) Input = row;
}

// Said once, at start: an installed program cannot write beside itself.
void TForm1::tellPerUserFolder(const QString& exeFolder) {
    nimbo::noteInMemo(
        Memo1,
        QStringLiteral("The program's folder %1 cannot be written: settings and logs "
                       "are kept in %2")
            .arg(QDir::toNativeSeparators(exeFolder), QDir::toNativeSeparators(programFolder_)));
}
