#include "app/recoding.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/audio_replay.h"
#include "app/glyphs.h"
#include "app/messages.h"
#include "app/program_folder.h"
#include "app/welcome_text.h"
#include "capture/device_dialog.h"
#include "capture/input_devices.h"
#include "core/log_import.h"
#include "display/calibration_display.h"
#include "display/data_display.h"
#include "display/import_progress.h"
#include "settings/settings.h"
#include "widgets/fonts.h"
#include "widgets/image_view.h"
#include "widgets/placement.h"
#include "widgets/up_down.h"

TForm1* Form1 = nullptr;

namespace {

constexpr int kScopeWidth = nimbo::Scope::kWidth, kScopeHeight = nimbo::Scope::kHeight;
constexpr int kGraphWidth = nimbo::SensorGraph::kDesignWidth;
constexpr int kGraphHeight = nimbo::SensorGraph::kDesignHeight;
// The settings file and the graph agree on the row time of a first run.
static_assert(nimbo::Settings{}.GraphScr == nimbo::SensorGraph::kDefaultRowTime);
constexpr int kGraphScrMax = nimbo::SensorGraph::kMaxRowTime;

// The status dot, and what it shows while the capture device is gone.
const QString kDot = QString::fromUtf8("●");
const QString kLostDot = QString::fromUtf8("×");
constexpr nimbo::Colour kLostDotColour = nimbo::clSilver;

// The memo's line (short enough for the memo's width) and the dot's tooltip.
QString captureLostLine() {
    return QStringLiteral("Capture stopped: no audio from the input device; waiting for it.");
}
QString captureLostText() {
    return QStringLiteral("Capture stopped: no audio comes from the input device. "
                          "NIMBO opens it again when it is back.");
}

QColor qColour(nimbo::Colour c) {
    return QColor(nimbo::redOf(c), nimbo::greenOf(c), nimbo::blueOf(c));
}

void setTextColour(QWidget* w, nimbo::Colour c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, qColour(c));
    w->setPalette(p);
}

QFrame* sunkenPanel(QWidget* parent, const char* name, QRect r) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setGeometry(r);
    return panel;
}

QLabel* label(QWidget* parent, const char* name, int left, int top, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(nimbo::fixedFont());
    l->move(left, top);
    l->adjustSize();
    return l;
}

QToolButton* speedButton(QWidget* parent, const char* name, QRect r, const char* caption,
                         bool toggle) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFont(nimbo::fixedFont());
    b->setText(QLatin1String(caption));
    b->setCheckable(toggle);
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(r);
    return b;
}

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

TForm1::TForm1(const QString& executablePath, QWidget* parent) : QWidget(parent) {
    buildControls();

    const nimbo::ProgramFiles files = nimbo::programFilesFor(executablePath);
    programFolder = files.folder;
    settingsFile = files.settingsSave;
    settingsReadFrom_ = files.settingsRead;
    LoadSettings(files.settingsRead);
    if (files.perUser) tellPerUserFolder(files.exeFolder);
    showLabel1();
    core.setProgramFolder(QFile::encodeName(programFolder).toStdString());

    scopeBitmap = nimbo::wrapRaster(core.scope().scopeBitmap);
    Image1->showPicture(scopeBitmap);
    fitGraphToImage2();

    core.setHooks(this);
    core.startUpReset();
    mirrorReadout();
    showGraphBitmap();

    // Blocks still on their way when a replay paused the capture are dropped, not mixed in.
    capture.setBlockHandler([this](const int16_t* block, int) {
        if (!replaying()) ProcessWaveBuffer(block);
    });
    connect(&capture, &nimbo::Capture::stateChanged, this, &TForm1::captureStateChanged);
    replay_ =
        new nimbo::AudioReplay([this](const int16_t* block) { ProcessWaveBuffer(block); }, this);
    connect(replay_, &nimbo::AudioReplay::progressed, this, [this](int percent) {
        if (importWindow_)
            importWindow_->showProgress(
                QStringLiteral("Replay %1 %").arg(percent).toUtf8().constData());
    });
    // A device saved with its id is at whatever row Qt lists it now; one that is gone
    // leaves Input as saved.
    if (const int row = nimbo::inputRowOf(InputId); Input != 0 && row > 0) Input = row;
    OpenCapture();
}

TForm1::~TForm1() {
    CloseCapture();
    core.setHooks(nullptr);
}

void TForm1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("NIMBO"));
    setFont(nimbo::proportionalFont());
    setAcceptDrops(true);
    resize(kDesignWidth, kDesignHeight);

    Panel3 = sunkenPanel(this, "Panel3", {6, 8, 182, 152});
    Image1 = new nimbo::ImageView(Panel3);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, kScopeWidth, kScopeHeight);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(194, 8, 568, 151);
    Memo1->setFont(nimbo::fixedFont());
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, Qt::black);
    memoPalette.setColor(QPalette::Text, Qt::white);
    Memo1->setPalette(memoPalette);
    for (const char* line : nimbo::kWelcomeText)
        Memo1->appendPlainText(QString::fromUtf8(line));
    Memo1->moveCursor(QTextCursor::Start);
    Memo1->viewport()->installEventFilter(this);

    Panel1 = sunkenPanel(this, "Panel1", {768, 8, 122, 180});
    Panel1->setAutoFillBackground(true);
    QPalette black = Panel1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel1->setPalette(black);
    Label12 = label(Panel1, "Label12", 16, 12, QString());
    setTextColour(Label12, nimbo::clWhite);
    Label11 = new QLabel(kDot, Panel1);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label11->setFont(nimbo::proportionalFont());
    Label11->setGeometry(102, 12, 12, 12);
    Label11->setAlignment(Qt::AlignCenter);
    static constexpr std::array<int, 8> kChannelTops = {30, 49, 66, 83, 101, 120, 137, 156};
    static constexpr std::array<const char*, 8> kChannelNames = {
        "Label3", "Label4", "Label5", "Label6", "Label7", "Label8", "Label9", "Label10"};
    for (int i = 0; i < 8; ++i)
        channelLabel[i] = label(Panel1, kChannelNames[i], 16, kChannelTops[i], QString());

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 165, 105, 20);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    SpeedButton5 = speedButton(this, "SpeedButton5", {120, 164, 75, 22}, "Cal Reset", false);
    SpeedButton2 = speedButton(this, "SpeedButton2", {200, 164, 23, 22}, "", false);
    SpeedButton2->setIcon(nimbo::inputGlyph());
    SpeedButton1 = speedButton(this, "SpeedButton1", {229, 164, 23, 22}, "", true);
    SpeedButton1->setIcon(nimbo::loggingGlyph());
    SpeedButton4 = speedButton(this, "SpeedButton4", {261, 164, 45, 22}, "Data", false);
    SpeedButton6 = speedButton(this, "SpeedButton6", {312, 164, 42, 22}, "Cal", false);
    SpeedButton3 = speedButton(this, "SpeedButton3", {360, 164, 49, 22}, "Scroll", true);
    for (QToolButton* b : {SpeedButton2, SpeedButton1})
        b->setIconSize(QSize(nimbo::kGlyphSize, nimbo::kGlyphSize));

    UpDown1 = new nimbo::UpDown(0, kGraphScrMax, this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setGeometry(415, 164, 17, 22);

    Label1 = label(this, "Label1", 442, 169, QString());
    Label2 = label(this, "Label2", 494, 169, QString());
    Label50 = label(this, "Label50", 647, 169, QString());
    for (QLabel* l : {Label1, Label2, Label50})
        setTextColour(l, nimbo::clBlack);

    Panel2 = sunkenPanel(this, "Panel2", {8, 190, 882, 520});
    Image2 = new nimbo::ImageView(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(1, 1, kGraphWidth, kGraphHeight);

    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TForm1::SpeedButton5Click);
    connect(SpeedButton6, &QToolButton::clicked, this, &TForm1::SpeedButton6Click);
    connect(UpDown1, &nimbo::UpDown::clicked, this, &TForm1::UpDown1Click);
    connect(Image2, &nimbo::ImageView::clicked, this, &TForm1::Image2Click);
}

// ---- Settings and placement ----

void TForm1::LoadSettings(const QString& file) {
    const nimbo::Settings s = nimbo::loadSettings(file.toStdString());
    MainTop = s.MainTop;
    MainLeft = s.MainLeft;
    MainWidth = s.MainWidth;
    MainHeight = s.MainHeight;
    MainMaxmum = s.MainMaxmum;
    UpDown1->setPosition(s.GraphScr);
    core.setRowTime(UpDown1->position());
    SpeedButton1->setChecked(s.Logging);
    core.setLogging(s.Logging); // the button's state, not its click: nothing is written
    Input = s.Input;
    InputId = nimbo::deviceIdFromText(QString::fromStdString(s.InputId));
    // Only the RS92 and the RS41 are offered; any other value listens for the RS92.
    core.applySettings({s.DemodType, s.InputCh, s.SymbolInv, s.Weak, s.IQ, s.Sonde == 1 ? 1 : 0});
    // As read, range included: the calibration display brings them into 0..65.
    setCalSelections({s.Press, s.Temp, s.Humd});
}

void TForm1::setCalSelections(const nimbo::CalSelections& s) {
    Press = s.press;
    Temp = s.temp;
    Humd = s.humd;
}

bool TForm1::SaveSettings(QString* error) {
    nimbo::Settings s;
    if (isMaximized() || placementPending_) {
        // The last normal placement seen while the window was active (or, before the window
        // stood there, the placement it was given).
        s.MainTop = MainTop;
        s.MainLeft = MainLeft;
        s.MainWidth = MainWidth;
        s.MainHeight = MainHeight;
        s.MainMaxmum = isMaximized();
    } else {
        const QRect outer = frameGeometry();
        s.MainTop = outer.top();
        s.MainLeft = outer.left();
        s.MainWidth = outer.width();
        s.MainHeight = outer.height();
        s.MainMaxmum = false;
    }
    s.GraphScr = UpDown1->position();
    s.Logging = SpeedButton1->isChecked();
    s.Input = Input;
    s.InputId = nimbo::deviceIdText(InputId).toStdString();
    s.DemodType = core.settings().DemodType;
    s.InputCh = core.settings().InputCh;
    s.SymbolInv = core.settings().SymbolInv;
    s.Weak = core.settings().Weak;
    s.IQ = core.settings().Iq;
    s.Sonde = core.settings().Sonde;
    s.Press = Press;
    s.Temp = Temp;
    s.Humd = Humd;
    // The first file in the per-user folder starts as a copy of the one read beside the
    // program, so that lines NIMBO does not know survive as they would in place.
    if (settingsReadFrom_ != settingsFile && !QFileInfo::exists(settingsFile))
        QFile::copy(settingsReadFrom_, settingsFile);
    std::string why;
    const bool ok = nimbo::saveSettings(settingsFile.toStdString(), s, &why);
    if (!ok && error) *error = QString::fromStdString(why);
    return ok;
}

QSize TForm1::frameExtra() const {
    return frameGeometry().size() - size();
}

void TForm1::FormCreate() {
    // Values from the file that would put the window off every screen or beyond its size
    // are replaced by a placement on the screen; sane ones stay as they are.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect placed = nimbo::placeOnScreens(MainLeft, MainTop, MainWidth, MainHeight, screens,
                                               {kMinWidth, kMinHeight});
    MainLeft = placed.left();
    MainTop = placed.top();
    MainWidth = placed.width();
    MainHeight = placed.height();
    // The stored values are outer ones; the frame is known once the window is shown
    // (fitOuterSize then corrects place and client size).
    const QSize extra = frameExtra();
    setMinimumSize(kMinWidth - extra.width(), kMinHeight - extra.height());
    move(MainLeft, MainTop);
    resize(MainWidth - extra.width(), MainHeight - extra.height());
    setWindowState(MainMaxmum ? Qt::WindowMaximized : Qt::WindowNoState);
    placementPending_ = true;
    placementTries_ = 0;
}

void TForm1::fitOuterSize() {
    // Window managers add their frame only after the first show, and a window created
    // early (as the parent of the device error box) may be placed by its client area.
    // Until the outer window stands where it was remembered, in the normal state with its
    // frame known, place and size are set again (a few times at most: a window manager
    // may insist on its own); meanwhile nothing of the window's geometry is remembered.
    // A window that starts maximized gets its normal placement when it is first restored.
    const QSize extra = frameExtra();
    if (!placementPending_ || extra.isEmpty()) return;
    setMinimumSize(kMinWidth - extra.width(), kMinHeight - extra.height());
    if (windowState() != Qt::WindowNoState) return;
    const QRect wanted(MainLeft, MainTop, MainWidth, MainHeight);
    if (frameGeometry() == wanted || placementTries_ >= kPlacementTries) {
        placementPending_ = false;
        return;
    }
    ++placementTries_;
    resize(MainWidth - extra.width(), MainHeight - extra.height());
    move(MainLeft, MainTop);
}

void TForm1::FormActivate() {
    fitOuterSize();
    if (placementPending_) return;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) return;
    const QRect outer = frameGeometry();
    MainWidth = outer.width();
    MainHeight = outer.height();
    MainTop = outer.top();
    MainLeft = outer.left();
}

void TForm1::FormResize() {
    const int cw = width(), ch = height();
    Panel2->resize(cw - 17, ch - 196);
    Panel1->move(cw - 131, Panel1->y());
    Memo1->resize(cw - 331, Memo1->height());
    Label50->move(cw - 252, Label50->y());
    Label2->move(cw - 405, Label2->y());
    Image2->resize(Panel2->width() - 2, Panel2->height() - 2);
    fitGraphToImage2();
}

// The graph starts over, empty, at Image2's size; its pixels move, so wrap them anew.
void TForm1::fitGraphToImage2() {
    core.resizeGraph(Image2->width(), Image2->height());
    graphBitmap = nimbo::wrapRaster(core.graph().graphBitmap);
    showGraphBitmap();
}

void TForm1::showGraphBitmap() {
    graphShown_ = core.graph().graphShowCount;
    Image2->showPicture(graphBitmap);
}

void TForm1::showLabel1() {
    Label1->setText(QString::fromUtf8(core.graph().Label1.data()));
    Label1->adjustSize();
}

// ---- Window events ----

void TForm1::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FormResize();
    fitOuterSize();
}

void TForm1::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    fitOuterSize();
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    fitOuterSize();
    // Without a window manager no frame ever comes: the placement then stands as it is.
    QTimer::singleShot(kNoFrameAfterMs, this, [this] {
        if (frameExtra().isEmpty() && windowState() == Qt::WindowNoState) placementPending_ = false;
    });
}

void TForm1::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    if (e->type() == QEvent::WindowStateChange) fitOuterSize();
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (importing_) {
        // The import loop still runs below this event: it stops after its line, and then
        // the window closes as usual.
        importAbort = true;
        closeAfterImport_ = true;
        e->ignore();
        return;
    }
    QString reason;
    if (!SaveSettings(&reason) && !nimbo::askCloseWithoutSettings(this, settingsFile, reason)) {
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
    if (nimbo::AudioReplay::looksLikeAudio(path))
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
    if (!capture.open(nimbo::inputDevice(Input, InputId), Input == 0))
        nimbo::reportCaptureOpenFailure(this);
}

void TForm1::CloseCapture() {
    capture.close();
}

void TForm1::ProcessWaveBuffer(const int16_t* block) {
    core.ProcessWaveBuffer(block);
    mirrorReadout();
    mirrorPictures();
}

void TForm1::displayReset() {
    core.displayReset();
    mirrorReadout();
}

void TForm1::displayResetHook() {
    // The cleared graph shows from its next step on; "Scroll" follows without its click.
    SpeedButton3->setChecked(core.scrollDown());
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
    importWindow_ = window;
    connect(window, &TForm4::importAbortRequested, this, [this] { importAbort = true; });
    connect(window, &TForm4::importAbortRequested, replay_, &nimbo::AudioReplay::stop);
}

void TForm1::importLog(const QString& path) {
    if (importing_) return; // dropped while another import runs: that one goes on alone
    importing_ = true;
    capture.pause();
    const bool logging = SpeedButton1->isChecked();
    SpeedButton1->setChecked(false);
    SpeedButton1->setEnabled(false);
    core.setLogging(false);
    SpeedButton3->setChecked(false);
    core.replayStart();
    QCoreApplication::processEvents();

    nimbo::LogImport import(core);
    if (import.open(QFile::encodeName(path).toStdString())) {
        nimbo::NimboCore::BatchGuard batch(core);
        importAbort = false;
        if (importWindow_) importWindow_->show();
        for (nimbo::LogImport::Step step; (step = import.step()) != nimbo::LogImport::Step::End;) {
            if (step == nimbo::LogImport::Step::Frame) {
                if (importWindow_)
                    importWindow_->showProgress(nimbo::loadFrameText(import.frameNumber()).data());
                mirrorReadout();
                mirrorGraph();
            }
            QCoreApplication::processEvents();
            if (importAbort) break;
        }
        import.close();
    }
    if (importWindow_ && importWindow_->isVisible()) importWindow_->close();

    SpeedButton1->setEnabled(true);
    SpeedButton1->setChecked(logging);
    core.setLogging(logging);
    capture.resume();
    core.refillFrameDisplay();
    mirrorReadout();
    if (Form2) Form2->Redraw();
    importing_ = false;
    if (closeAfterImport_) {
        closeAfterImport_ = false;
        close();
    }
}

// ---- Audio replay ----

bool TForm1::replaying() const {
    return replay_ && replay_->running();
}

void TForm1::replayAudio(const QString& path) {
    if (importing_ || replaying()) return; // the running one goes on alone
    QString error;
    if (!replay_->start(path, replaySpeed_, core.closingSilenceBlocks(), &error)) {
        reportReplayFailure(path, error);
        return;
    }
    capture.pause();
    connect(
        replay_, &nimbo::AudioReplay::finished, this,
        [this, path](const QString& error) { replayFinished(path, error); },
        Qt::SingleShotConnection);
    if (importWindow_) {
        importWindow_->showProgress("Replay 0 %");
        importWindow_->show();
    }
}

void TForm1::replayFinished(const QString& path, const QString& error) {
    capture.resume();
    if (importWindow_ && importWindow_->isVisible()) importWindow_->close();
    // A recording that ends early was decoded up to there; the box says what was missing.
    if (!error.isEmpty()) reportReplayFailure(path, error);
}

void TForm1::reportReplayFailure(const QString& path, const QString& error) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("NIMBO"),
                    QStringLiteral("Cannot replay %1:\n%2").arg(path, error), QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("replayFailure"));
    box.exec();
}

void TForm1::mirrorReadout() {
    const nimbo::Readout& r = core.readout();
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
    mirrorColour(Label11, shown_.Label11Colour, r.Label11Colour, force);
    if (captureLost_) showCaptureLost(); // an import does not light the dot meanwhile
    ProgressBar1->setValue(r.ProgressBar1);
    showLogFailure();
}

// Logs that cannot be written are marked on the LOG button, the reason in its tooltip,
// until a write lands again or logging is switched off; no box interrupts a flight.
void TForm1::showLogFailure() {
    const nimbo::LogWriteFailure& failure = core.logWriteFailure();
    static const std::string kNone;
    const std::string& text = failure.active ? failure.text : kNone;
    if (text == logFailureShown_) return;
    logFailureShown_ = text;
    SpeedButton1->setIcon(text.empty() ? nimbo::loggingGlyph() : nimbo::loggingFailedGlyph());
    SpeedButton1->setToolTip(text.empty() ? QString()
                                          : tr("Logging failed: %1\nLog folder: %2")
                                                .arg(QString::fromStdString(text), programFolder));
}

void TForm1::mirrorPictures() {
    Image1->showPicture(scopeBitmap); // redrawn by the core after every block
    mirrorGraph();
}

// Image2 takes a fresh copy only when the core says the chart has a new picture.
void TForm1::mirrorGraph() {
    if (core.graph().graphShowCount != graphShown_) showGraphBitmap();
}

// ---- Capture state ----

// The dot stands for what the device delivers: while the device is gone no frame can come,
// so it shows a grey cross instead of the colour of the last frame, with the reason on it.
void TForm1::captureStateChanged(nimbo::Capture::State state) {
    const bool lost = state == nimbo::Capture::State::Lost;
    if (lost == captureLost_) return;
    captureLost_ = lost;
    if (lost) {
        showCaptureLost();
        noteInMemo(captureLostLine());
        return;
    }
    Label11->setText(kDot);
    Label11->setToolTip(QString());
    setTextColour(Label11, shown_.Label11Colour);
    if (state != nimbo::Capture::State::Running) return; // given up for another device
    noteInMemo(QStringLiteral("Capture resumed."));
    // The device may now sit at another row of the list.
    const QByteArray id = InputId.isEmpty() ? capture.deviceId() : InputId;
    if (const int row = nimbo::inputRowOf(id); Input != 0 && row > 0) Input = row;
}

void TForm1::showCaptureLost() {
    Label11->setText(kLostDot);
    Label11->setToolTip(captureLostText());
    setTextColour(Label11, kLostDotColour);
}

// A dated line at the end of the memo, scrolled into view.
void TForm1::noteInMemo(const QString& text) {
    Memo1->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss  ")) + text);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

// Said once, at start: an installed program cannot write beside itself.
void TForm1::tellPerUserFolder(const QString& exeFolder) {
    noteInMemo(
        QStringLiteral("The program's folder %1 cannot be written: settings and logs "
                       "are kept in %2")
            .arg(QDir::toNativeSeparators(exeFolder), QDir::toNativeSeparators(programFolder)));
}

// ---- Controls ----

void TForm1::SpeedButton1Click() {
    core.loggingSwitched(SpeedButton1->isChecked());
    showLogFailure();
}

void TForm1::SpeedButton2Click() {
    if (!deviceDialog_) return;
    deviceDialog_->setWindowModality(Qt::ApplicationModal);
    deviceDialog_->show();
}

void TForm1::useDeviceDialog(TForm9* dialog) {
    deviceDialog_ = dialog;
    connect(dialog, &TForm9::closeCaptureRequested, this, &TForm1::CloseCapture);
    connect(dialog, &TForm9::openCaptureRequested, this,
            [this](int input, const QByteArray& deviceId) {
                Input = input;
                InputId = deviceId;
                OpenCapture();
            });
    connect(dialog, &TForm9::signalSettingsChosen, this,
            [this](const nimbo::ReceiverSettings& signal) {
                const bool sondeChanged = signal.Sonde != core.settings().Sonde;
                core.applySettings(signal);
                if (!sondeChanged) return;
                // The readout's labels and the RS92 windows change with the sonde.
                mirrorReadout();
                if (Form2 && Form2->isVisible()) Form2->Redraw();
                calibrationDisplayRefresh();
            });
}

void TForm1::SpeedButton3Click() {
    const bool down = SpeedButton3->isChecked();
    core.SpeedButton3Click(down);
}

void TForm1::SpeedButton4Click() {
    // Shows the last frame copied while the window was open; from then on it follows.
    Form2->Redraw();
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
}

void TForm1::SpeedButton5Click() {
    core.calReset();
    mirrorReadout();
}

void TForm1::SpeedButton6Click() {
    Form3->show();
}

void TForm1::UpDown1Click() {
    core.setRowTime(UpDown1->position());
    showLabel1();
}

void TForm1::Image2Click() {
    // The off-screen chart as it is now, at its own size.
    QGuiApplication::clipboard()->setImage(graphBitmap.copy());
}

void TForm1::Memo1DblClick() {
    Memo1->clear();
}
