// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1's controls: where each one stands at the design size, how they follow a resize,
// and what their clicks do (forwarded to the core or to the other windows).
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>

#include "app/glyphs.h"
#include "app/recoding.h"
#include "app/welcome_text.h"
#include "capture/device_dialog.h"
#include "display/calibration_display.h"
#include "display/data_display.h"
#include "widgets/fonts.h"
#include "widgets/image_view.h"
#include "widgets/text_colour.h"
#include "widgets/up_down.h"

namespace {

constexpr int kScopeWidth = nimbo::Scope::kWidth, kScopeHeight = nimbo::Scope::kHeight;
constexpr int kGraphWidth = nimbo::SensorGraph::kDesignWidth;
constexpr int kGraphHeight = nimbo::SensorGraph::kDesignHeight;
constexpr int kGraphScrMax = nimbo::SensorGraph::kMaxRowTime;

using nimbo::setTextColour;

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

} // namespace

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
    Label11 = new QLabel(Panel1); // the dot; CaptureStatus gives it its text
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

// ---- Layout ----

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

// ---- Controls ----

void TForm1::SpeedButton1Click() {
    core_.loggingSwitched(SpeedButton1->isChecked());
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
                const bool sondeChanged = signal.Sonde != core_.settings().Sonde;
                core_.applySettings(signal);
                if (!sondeChanged) return;
                // The readout's labels and the RS92 windows change with the sonde.
                mirrorReadout();
                if (Form2 && Form2->isVisible()) Form2->Redraw();
                calibrationDisplayRefresh();
            });
}

void TForm1::SpeedButton3Click() {
    const bool down = SpeedButton3->isChecked();
    core_.SpeedButton3Click(down);
}

void TForm1::SpeedButton4Click() {
    // Shows the last frame copied while the window was open; from then on it follows.
    Form2->Redraw();
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
}

void TForm1::SpeedButton5Click() {
    core_.calReset();
    mirrorReadout();
}

void TForm1::SpeedButton6Click() {
    Form3->show();
}

void TForm1::UpDown1Click() {
    core_.setRowTime(UpDown1->position());
    showLabel1();
}

void TForm1::Image2Click() {
    // The off-screen chart as it is now, at its own size.
    QGuiApplication::clipboard()->setImage(graphBitmap_.copy());
}

void TForm1::Memo1DblClick() {
    Memo1->clear();
}
