// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/device_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QThread>
#include <QWindow>

#include <algorithm>

#include "capture/input_devices.h"
#include "settings/settings.h"
#include "widgets/fonts.h"
#include "widgets/placement.h"

TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;

namespace {

constexpr int kFmDet = static_cast<int>(nimbo::SignalType::FmDet);
constexpr int kIf = static_cast<int>(nimbo::SignalType::If);
constexpr int kDialogWidth = 415, kDialogHeight = 152; // client area
// One row more than the dialog was drawn with: the weak-signal receiver's check box.
constexpr int kWeakRowHeight = 24;
// And one more below it: the sonde, RS92 or RS41.
constexpr int kSondeRowHeight = 24;
// The I/Q choice: one row more in "Signal type" (the channel group moves down by as much, into
// the space beside the weak receiver's row) and as much width as its caption needs.
constexpr int kSignalRowHeight = 19;
constexpr int kGroupWidth = 98, kGroupInnerMargin = 8;
constexpr int kNoticeWidth = 195, kNoticeHeight = 43;
constexpr int kDeviceColumnWidth = 230, k48kColumnWidth = 30;
// The windows' face: the program's proportional one at the size of a default window font,
// a pixel smaller than the main window's labels.
constexpr int kFontPixels = 11;
// The notice's text shrinks, down to this size, until it fits between its margins.
constexpr int kNoticeMinFontPixels = 8;
constexpr int kNoticeMargin = 7;
// How long a device switch waits for the notice to appear on screen before going on.
constexpr int kNoticeExposeWaitMs = 250;

// Programs that open the desktop's recording levels, the first one installed wins. The
// first is the recording mixer proper, opened on its "Input Devices" tab; the others are
// the sound pages of the desktops' settings.
struct SoundSettings {
    const char* program;
    QStringList arguments;
};
const SoundSettings kSoundMixer = {"pavucontrol", {QStringLiteral("--tab=4")}};
const SoundSettings kDesktopSoundSettings[] = {
    {"gnome-control-center", {QStringLiteral("sound")}},
    {"kcmshell6", {QStringLiteral("kcm_pulseaudio")}},
    {"kcmshell5", {QStringLiteral("kcm_pulseaudio")}},
};

template <typename Button>
Button* button(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* b = new Button(QLatin1String(caption), parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(place);
    return b;
}

QFont windowFont() {
    QFont font = nimbo::proportionalFont();
    font.setPixelSize(kFontPixels);
    return font;
}

QGroupBox* groupBox(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* g = new QGroupBox(QLatin1String(caption), parent);
    g->setObjectName(QLatin1String(name));
    g->setGeometry(place);
    return g;
}

// Moves `window` to centre it on `on`. Until the window manager has framed `window` (its
// first opening), move() places the client area, not the frame: the client then goes where
// a frame like `on`'s leaves it, so the first opening lands where every later one does.
void centreOn(QWidget* window, const QWidget* on) {
    QPoint at = nimbo::centredOn(window, on);
    if (window->frameGeometry() == window->geometry())
        at += on->geometry().topLeft() - on->frameGeometry().topLeft();
    window->move(at);
}

} // namespace

TForm9::TForm9(QWidget* mainWindow, int input, const nimbo::ReceiverSettings& signal)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow), input_(input),
      demodType_(nimbo::normalisedDemodType(signal.DemodType)) {
    buildControls();
    fillList();
    checkRow(input_);
    if (signal.Iq)
        RadioButton5->setChecked(true);
    else
        (demodType_ == kIf ? RadioButton2 : RadioButton1)->setChecked(true);
    (signal.InputCh == 1 ? RadioButton4 : RadioButton3)->setChecked(true);
    CheckBox1->setChecked(signal.SymbolInv);
    CheckBox2->setChecked(signal.Weak);
    // Only the two offered; any other value shows (and applies) the RS92.
    (signal.Sonde == 1 ? RadioButton7 : RadioButton6)->setChecked(true);
    enableSignalControls();
    findSoundSettings();
}

void TForm9::buildControls() {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Select input wave device"));
    setFont(windowFont());

    ListView1 = new QTableWidget(0, 2, this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 8, 289, 107);
    ListView1->setHorizontalHeaderLabels(
        {QStringLiteral("Input wave device"), QStringLiteral("48k")});
    ListView1->setColumnWidth(0, kDeviceColumnWidth);
    ListView1->setColumnWidth(1, k48kColumnWidth);
    ListView1->horizontalHeader()->setSectionsClickable(false);
    ListView1->horizontalHeader()->setHighlightSections(false);
    ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    ListView1->setShowGrid(true);
    ListView1->setWordWrap(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->viewport()->installEventFilter(this);

    GroupBox1 =
        groupBox(this, "GroupBox1", "Signal type", {303, 4, kGroupWidth, 78 + kSignalRowHeight});
    RadioButton1 = button<QRadioButton>(GroupBox1, "RadioButton1", "FM Det", {14, 19, 67, 14});
    CheckBox1 = button<QCheckBox>(GroupBox1, "CheckBox1", "Invert", {33, 36, 57, 17});
    RadioButton2 = button<QRadioButton>(GroupBox1, "RadioButton2", "12kHz IF", {14, 55, 67, 17});
    RadioButton5 = button<QRadioButton>(GroupBox1, "RadioButton5", "I/Q (L = I, R = Q)",
                                        {14, 55 + kSignalRowHeight, 67, 17});
    RadioButton5->resize(RadioButton5->sizeHint().width(), 17);
    // Both groups widen alike, to the right, so that their edges stay in line.
    const int wider = std::max(0, 14 + RadioButton5->width() + kGroupInnerMargin - kGroupWidth);
    GroupBox1->resize(GroupBox1->width() + wider, GroupBox1->height());
    setFixedSize(kDialogWidth + wider, kDialogHeight + kWeakRowHeight + kSondeRowHeight);
    GroupBox2 =
        groupBox(this, "GroupBox2", "Input Channel", {304, 88 + kSignalRowHeight, 97 + wider, 57});
    RadioButton3 = button<QRadioButton>(GroupBox2, "RadioButton3", "L ch", {13, 17, 65, 17});
    RadioButton4 = button<QRadioButton>(GroupBox2, "RadioButton4", "R ch", {13, 36, 73, 17});
    // The caption names the platform the dialog was first drawn for; kept as it reads.
    Button2 = button<QPushButton>(this, "Button2", "Sound setting of Windows", {8, 119, 289, 25});
    Button2->setAutoDefault(false);
    // As wide as the list above it: the channel group now reaches down beside it.
    CheckBox2 =
        button<QCheckBox>(this, "CheckBox2", "Weak-signal receiver (Reed-Solomon correction)",
                          {8, kDialogHeight, 289, 17});
    const int sondeTop = kDialogHeight + kWeakRowHeight;
    Label1 = new QLabel(QStringLiteral("Sonde:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, sondeTop, 45, 17);
    RadioButton6 = button<QRadioButton>(this, "RadioButton6", "RS92", {56, sondeTop, 60, 17});
    RadioButton7 = button<QRadioButton>(this, "RadioButton7", "RS41", {122, sondeTop, 60, 17});
    // A group of their own: left to the dialog, their exclusivity would reach the buttons
    // inside the group boxes as well.
    auto* sonde = new QButtonGroup(this);
    sonde->addButton(RadioButton6);
    sonde->addButton(RadioButton7);

    connect(RadioButton1, &QRadioButton::toggled, this, &TForm9::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::toggled, this, &TForm9::RadioButton2Click);
    connect(RadioButton5, &QRadioButton::toggled, this, &TForm9::RadioButton5Click);
    connect(RadioButton7, &QRadioButton::toggled, this, &TForm9::enableSignalControls);
    connect(Button2, &QPushButton::clicked, this, &TForm9::Button2Click);
}

// The rows are made once: devices that come or go while NIMBO runs show at the next start.
// Each row keeps its device's id, so that choosing it opens that device even if Qt's list
// has changed order since.
void TForm9::fillList() {
    const QList<nimbo::InputRow> rows = nimbo::inputRows();
    ListView1->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        auto* device = new QTableWidgetItem(rows[r].caption);
        // Checked only through ListView1Click: a click on the box selects the row instead.
        device->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        device->setToolTip(rows[r].caption);
        auto* format = new QTableWidgetItem(r > 0 && rows[r].supports48k ? QStringLiteral("OK")
                                                                         : QStringLiteral(" "));
        format->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        ListView1->setItem(r, 0, device);
        ListView1->setItem(r, 1, format);
        rowIds_.append(rows[r].id);
    }
}

void TForm9::findSoundSettings() {
    deviceSoundMixerFound =
        !QStandardPaths::findExecutable(QLatin1String(kSoundMixer.program)).isEmpty();
    if (deviceSoundMixerFound) {
        soundSettingsProgram_ = QLatin1String(kSoundMixer.program);
        soundSettingsArguments_ = kSoundMixer.arguments;
        return;
    }
    for (const SoundSettings& s : kDesktopSoundSettings) {
        if (QStandardPaths::findExecutable(QLatin1String(s.program)).isEmpty()) continue;
        soundSettingsProgram_ = QLatin1String(s.program);
        soundSettingsArguments_ = s.arguments;
        return;
    }
}

void TForm9::checkRow(int row) {
    for (int r = 0; r < ListView1->rowCount(); ++r)
        ListView1->item(r, 0)->setCheckState(r == row ? Qt::Checked : Qt::Unchecked);
}

int TForm9::selectedRow() const {
    const QList<QTableWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

void TForm9::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormShow();
}

void TForm9::FormShow() {
    if (!mainWindow_) return;
    centreOn(this, mainWindow_);
    // On the first opening the frame was guessed from the main window's, whose height may
    // differ (a dialog has no resize handle): centre again once the dialog's own frame is
    // known, at its first expose.
    placeWhenFramed_ = frameGeometry() == geometry() && windowHandle() &&
                       mainWindow_->frameGeometry() != mainWindow_->geometry();
    if (placeWhenFramed_) windowHandle()->installEventFilter(this);
    // Not a child of the main window (both live until exit, each deleted on its own), but
    // the window manager keeps it above the main window as its dialog.
    if (windowHandle() && mainWindow_->windowHandle())
        windowHandle()->setTransientParent(mainWindow_->windowHandle());
}

bool TForm9::eventFilter(QObject* watched, QEvent* e) {
    if (placeWhenFramed_ && watched == windowHandle() && e->type() == QEvent::Expose &&
        frameGeometry() != geometry()) {
        placeWhenFramed_ = false;
        windowHandle()->removeEventFilter(this);
        if (mainWindow_) centreOn(this, mainWindow_);
    }
    // A click anywhere in the list, on a row or below the rows; the selection it makes is
    // already in place when the button comes up.
    if (watched == ListView1->viewport() && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        ListView1Click();
    return QDialog::eventFilter(watched, e);
}

void TForm9::ListView1Click() {
    const int row = selectedRow();
    checkRow(row >= 0 ? row : input_);
}

void TForm9::RadioButton1Click() {
    if (RadioButton1->isChecked()) demodType_ = kFmDet;
    enableSignalControls();
}

void TForm9::RadioButton2Click() {
    if (RadioButton2->isChecked()) demodType_ = kIf;
    enableSignalControls();
}

void TForm9::RadioButton5Click() {
    enableSignalControls();
}

// Ticks and choices stay as they are while their controls are unusable; they are still
// applied on close, for when the signal type comes back to them.
void TForm9::enableSignalControls() {
    CheckBox1->setEnabled(RadioButton1->isChecked());
    GroupBox2->setEnabled(!RadioButton5->isChecked());
    CheckBox2->setEnabled(!RadioButton7->isChecked());
}

void TForm9::Button2Click() {
    // Nothing to start, or a start that fails, leaves the dialog as it is.
    if (!soundSettingsProgram_.isEmpty())
        QProcess::startDetached(soundSettingsProgram_, soundSettingsArguments_);
}

void TForm9::done(int result) {
    if (closing_) return; // a second close while the first one still switches the device
    closing_ = true;
    FormClose();
    closing_ = false;
    QDialog::done(result);
}

void TForm9::FormClose() {
    const int row = selectedRow();
    if (row >= 0 && row != input_) {
        showNotice();
        emit closeCaptureRequested();
        // The main thread waits without handling anything: block notices of the old device
        // are handled after the switch, and dropped there as stale.
        QThread::msleep(kSwitchPauseMs);
        if (const int still = selectedRow(); still >= 0) input_ = still;
        emit openCaptureRequested(input_, input_ < rowIds_.size() ? rowIds_[input_] : QByteArray());
        checkRow(input_);
        if (notice_) notice_->close();
    }
    nimbo::ReceiverSettings signal;
    signal.DemodType = demodType_;
    signal.InputCh = RadioButton3->isChecked() ? 0 : 1;
    signal.SymbolInv = CheckBox1->isChecked();
    signal.Weak = CheckBox2->isChecked();
    signal.Iq = RadioButton5->isChecked();
    signal.Sonde = RadioButton7->isChecked() ? 1 : 0;
    emit signalSettingsChosen(signal);
}

// Shows the notice and gives the window system time to put it on screen before the main
// thread stops for the switch; a slow window system costs at most kNoticeExposeWaitMs.
void TForm9::showNotice() {
    if (!notice_) return;
    notice_->show();
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents();
    while (!(notice_->windowHandle() && notice_->windowHandle()->isExposed()) &&
           waited.elapsed() < kNoticeExposeWaitMs) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
    notice_->repaint();
    QCoreApplication::processEvents();
}

TForm10::TForm10(QWidget* dialog)
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dialog_(dialog) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("Input device change"));
    setFixedSize(kNoticeWidth, kNoticeHeight);
    const QString text = QStringLiteral("Now changing input device settings...");
    // Faces differ in width from the one the window was drawn with; the window keeps its
    // size and the text its whole length.
    QFont font = windowFont();
    while (font.pixelSize() > kNoticeMinFontPixels &&
           QFontMetrics(font).horizontalAdvance(text) > kNoticeWidth - 2 * kNoticeMargin)
        font.setPixelSize(font.pixelSize() - 1);
    setFont(font);
    Label1 = new QLabel(text, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(kNoticeMargin, 14);
    Label1->adjustSize();
}

void TForm10::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TForm10::FormShow() {
    if (!dialog_) return;
    centreOn(this, dialog_);
    if (windowHandle() && dialog_->windowHandle())
        windowHandle()->setTransientParent(dialog_->windowHandle());
}
