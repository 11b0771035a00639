// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/calibration_display.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>

#include "core/nimbo_core.h"
#include "display/sonde_notice.h"
#include "widgets/fonts.h"
#include "widgets/placement.h"
#include "widgets/up_down.h"

TForm3* Form3 = nullptr;

namespace {

// Three groups side by side, six rows each under the group's result, the warning below.
constexpr int kMargin = 8;
constexpr int kGroupWidth = 200;
constexpr int kGroupTop = 6;
constexpr int kGroupHeight = 214;
constexpr int kResultTop = 22;
constexpr int kFirstRowTop = 52;
constexpr int kRowPitch = 26;
constexpr int kNameLeft = 12, kNameWidth = 22;
constexpr int kIndexLeft = 36, kIndexWidth = 20;
constexpr int kUpDownLeft = 60, kUpDownWidth = 17, kUpDownHeight = 22;
constexpr int kValueLeft = 82, kValueWidth = 108;
constexpr int kLabelHeight = 16;
constexpr int kPanelTop = kGroupTop + kGroupHeight + 8;
constexpr int kPanelHeight = 28;
static_assert(TForm3::kClientWidth == 3 * kGroupWidth + 4 * kMargin);
static_assert(TForm3::kClientHeight == kPanelTop + kPanelHeight + 6);

constexpr const char* kWarning =
    "この数値は未確定な算出により表示されています。実際の観測値ではありません！";

// The controls of one row as the form names them.
struct RowNames {
    const char* caption;
    const char* name;
    const char* upDown;
    const char* index;
    const char* value;
};
struct GroupNames {
    const char* box;
    const char* caption;
    const char* result;
    std::array<RowNames, nimbo::kCalRows> rows;
};

constexpr GroupNames kTemperature = {"GroupBox2",
                                     "Temperature",
                                     "Label1",
                                     {{{"Y0", "Label38", "UpDown12", "Label30", "Label32"},
                                       {"T0", "Label33", "UpDown7", "Label21", "Label25"},
                                       {"T1", "Label34", "UpDown8", "Label22", "Label26"},
                                       {"T2", "Label35", "UpDown9", "Label23", "Label27"},
                                       {"T3", "Label36", "UpDown10", "Label24", "Label28"},
                                       {"T4", "Label37", "UpDown11", "Label29", "Label31"}}}};
constexpr GroupNames kHumidity = {"GroupBox3",
                                  "Humidity",
                                  "Label39",
                                  {{{"Y0", "Label57", "UpDown18", "Label49", "Label51"},
                                    {"H0", "Label52", "UpDown13", "Label40", "Label44"},
                                    {"H1", "Label53", "UpDown14", "Label41", "Label45"},
                                    {"H2", "Label54", "UpDown15", "Label42", "Label46"},
                                    {"H3", "Label55", "UpDown16", "Label43", "Label47"},
                                    {"H4", "Label56", "UpDown17", "Label48", "Label50"}}}};
constexpr GroupNames kPressure = {"GroupBox1",
                                  "Pressure",
                                  "Label2",
                                  {{{"Y0", "Label20", "UpDown6", "Label12", "Label14"},
                                    {"P0", "Label15", "UpDown1", "Label3", "Label7"},
                                    {"P1", "Label16", "UpDown2", "Label4", "Label8"},
                                    {"P2", "Label17", "UpDown3", "Label5", "Label9"},
                                    {"P3", "Label18", "UpDown4", "Label6", "Label10"},
                                    {"P4", "Label19", "UpDown5", "Label11", "Label13"}}}};

QLabel* label(QWidget* parent, const char* name, QRect r, Qt::Alignment align,
              const QString& text = QString()) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(nimbo::fixedFont());
    l->setAlignment(align | Qt::AlignVCenter);
    l->setGeometry(r);
    return l;
}

void showText(QLabel* widget, const nimbo::LabelText& text) {
    widget->setText(QString::fromUtf8(text.data()));
}

} // namespace

TForm3::TForm3(const nimbo::NimboCore& core, const nimbo::CalSelections& initial,
               const QWidget* mainWindow)
    // A fixed dialog: a title and a close button, nothing to minimise or maximise.
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      core_(core), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Calibration Display"));
    setFont(nimbo::proportionalFont());
    setFixedSize(kClientWidth, kClientHeight);

    const nimbo::CalSelections start = nimbo::clampSelections(initial);
    const auto build = [&](Group& g, const GroupNames& names, int left,
                           const nimbo::CalRows& positions) {
        g.box = new QGroupBox(QLatin1String(names.caption), this);
        g.box->setObjectName(QLatin1String(names.box));
        g.box->setGeometry(left, kGroupTop, kGroupWidth, kGroupHeight);
        g.result =
            label(g.box, names.result, {kNameLeft, kResultTop, kGroupWidth - 2 * kNameLeft, 22},
                  Qt::AlignHCenter);
        QFont bold = g.result->font();
        bold.setBold(true);
        g.result->setFont(bold);
        for (int r = 0; r < nimbo::kCalRows; ++r) {
            const RowNames& n = names.rows[r];
            const int top = kFirstRowTop + r * kRowPitch;
            const int labelTop = top + (kUpDownHeight - kLabelHeight) / 2;
            label(g.box, n.name, {kNameLeft, labelTop, kNameWidth, kLabelHeight}, Qt::AlignLeft,
                  QLatin1String(n.caption));
            Row& row = g.rows[r];
            row.index = label(g.box, n.index, {kIndexLeft, labelTop, kIndexWidth, kLabelHeight},
                              Qt::AlignRight);
            row.upDown = new nimbo::UpDown(nimbo::kCalIndexMin, nimbo::kCalIndexMax, g.box);
            row.upDown->setObjectName(QLatin1String(n.upDown));
            row.upDown->setGeometry(kUpDownLeft, top, kUpDownWidth, kUpDownHeight);
            row.upDown->setPosition(positions[r]);
            // Every arrow of every group refreshes the whole window.
            connect(row.upDown, &nimbo::UpDown::clicked, this, &TForm3::Refresh);
            row.value = label(g.box, n.value, {kValueLeft, labelTop, kValueWidth, kLabelHeight},
                              Qt::AlignRight);
        }
    };
    build(temperature_, kTemperature, kMargin, start.temp);
    build(humidity_, kHumidity, 2 * kMargin + kGroupWidth, start.humd);
    build(pressure_, kPressure, 3 * kMargin + 2 * kGroupWidth, start.press);

    auto* panel = panel_ =
        label(this, "Panel1", {kMargin, kPanelTop, kClientWidth - 2 * kMargin, kPanelHeight},
              Qt::AlignHCenter, QString::fromUtf8(kWarning));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::red);
    panel->setPalette(p);
    QFont bold = panel->font();
    bold.setBold(true);
    panel->setFont(bold);

    mirrorCore();
}

nimbo::CalSelections TForm3::selections() const {
    nimbo::CalSelections s;
    const auto read = [](const Group& g, nimbo::CalRows& rows) {
        for (int r = 0; r < nimbo::kCalRows; ++r)
            rows[r] = g.rows[r].upDown->position();
    };
    read(pressure_, s.press);
    read(temperature_, s.temp);
    read(humidity_, s.humd);
    return s;
}

void TForm3::mirror(Group& group, const nimbo::CalGroupTexts& texts) {
    for (int r = 0; r < nimbo::kCalRows; ++r) {
        showText(group.rows[r].index, texts.index[r]);
        showText(group.rows[r].value, texts.value[r]);
    }
    showText(group.result, texts.result);
}

void TForm3::mirrorCore() {
    panel_->setText(
        QString::fromUtf8(core_.settings().Sonde == 1 ? nimbo::kRs92WindowNotice : kWarning));
    const nimbo::CalDisplayTexts t =
        nimbo::calDisplayTexts(selections(), core_.calibration(), core_.frame().normalisedChannels);
    mirror(pressure_, t.pressure);
    mirror(temperature_, t.temperature);
    mirror(humidity_, t.humidity);
}

void TForm3::Refresh() {
    mirrorCore();
    emit selectionsChanged(selections());
}

void TForm3::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TForm3::FormShow() {
    if (mainWindow_) move(nimbo::centredOn(this, mainWindow_));
    Refresh();
}
