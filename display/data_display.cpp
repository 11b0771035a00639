// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/data_display.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>

#include "core/nimbo_core.h"
#include "display/sonde_notice.h"
#include "widgets/fonts.h"
#include "widgets/image_view.h"
#include "widgets/placement.h"

TForm2* Form2 = nullptr;

namespace {

constexpr int kScrollLeft = 8, kScrollTop = 8, kScrollWidth = 881, kScrollHeight = 273;
constexpr int kNoticeHeight = 24;

} // namespace

TForm2::TForm2(const nimbo::NimboCore& core, const QWidget* mainWindow)
    // A fixed dialog: a title and a close button, nothing to minimise or maximise. Closing
    // only hides it; the window lives until the program ends.
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      core_(core), mainWindow_(mainWindow), map_(std::make_unique<nimbo::ByteMap>()) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Data Display"));
    setFixedSize(kClientWidth, kClientHeight);

    // The map's face stands for a 12-pixel bitmap font: fixed pitch, no smoothing, so every
    // stroke is the text colour itself.
    textFont_ = nimbo::fixedFont();
    textFont_.setStyleStrategy(QFont::NoAntialias);
    textAscent_ = QFontMetrics(textFont_).ascent();

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setGeometry(kScrollLeft, kScrollTop, kScrollWidth, kScrollHeight);
    Image1 = new nimbo::ImageView;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(nimbo::ByteMap::kWidth, nimbo::ByteMap::kHeight);
    ScrollBox1->setWidget(Image1);
    Image1->showPicture(nimbo::wrapRaster(map_->dataBitmap)); // black until the first redraw

    sondeNotice_ = new QLabel(QString::fromUtf8(nimbo::kRs92WindowNotice), this);
    sondeNotice_->setObjectName(QStringLiteral("SondeNotice"));
    sondeNotice_->setFont(nimbo::proportionalFont());
    sondeNotice_->setAlignment(Qt::AlignCenter);
    sondeNotice_->setAutoFillBackground(true);
    QPalette p = sondeNotice_->palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::yellow);
    sondeNotice_->setPalette(p);
    sondeNotice_->setGeometry(kScrollLeft, kScrollTop, kScrollWidth, kNoticeHeight);
    showSondeNotice();
}

void TForm2::showSondeNotice() {
    sondeNotice_->setVisible(core_.settings().Sonde == 1);
    sondeNotice_->raise();
}

TForm2::~TForm2() = default;

const QImage& TForm2::shownPicture() const {
    return Image1->picture();
}

void TForm2::Redraw() {
    showSondeNotice();
    const nimbo::CalibrationCollection& cal = core_.calibration();
    map_->Redraw({core_.frameDisplayBytes(), cal.calDisplayBytes(), cal.calWords(),
                  cal.calCoefficients(), core_.frame().serialNumber});

    // The texts go straight onto dataBitmap's pixels, top-left corner at their origins,
    // without a background box.
    nimbo::Raster& bitmap = map_->dataBitmap;
    QImage canvas(bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(),
                  QImage::Format_RGB888);
    {
        QPainter p(&canvas);
        p.setFont(textFont_);
        constexpr nimbo::Colour c = nimbo::ByteMap::kTextColour;
        p.setPen(QColor(nimbo::redOf(c), nimbo::greenOf(c), nimbo::blueOf(c)));
        for (const nimbo::ByteMap::Text& t : map_->texts())
            p.drawText(t.x, t.y + textAscent_, QString::fromLatin1(t.text));
    }
    Image1->showPicture(canvas);
}

void TForm2::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TForm2::FormShow() {
    if (mainWindow_) move(nimbo::centredOn(this, mainWindow_));
    showSondeNotice();
}
