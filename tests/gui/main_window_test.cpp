// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as laid out: places, captions, resize rules, minimum size, first run,
// blank readout, dropped files and the welcome text.
#include <QAbstractButton>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QUrl>

#include "gui_fixture.h"

namespace nimbo::test {
namespace {

struct Place {
    const char* name;
    QRect rect; // at the design client size 899 x 716, relative to the parent control
};

TEST(MainWindowLayout, EveryControlAtItsDesignPlace) {
    ProgramFolder folder;
    // Without FormCreate there is no minimum yet, so the design size itself can be shown.
    TForm1 form(folder.exe());
    form.resize(899, 716);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(form.size(), QSize(899, 716));

    const Place places[] = {
        {"Panel3", {6, 8, 182, 152}},         {"Image1", {1, 1, 180, 150}},
        {"Memo1", {194, 8, 568, 151}},        {"Panel1", {768, 8, 122, 180}},
        {"Label11", {102, 12, 12, 12}},       {"ProgressBar1", {8, 165, 105, 20}},
        {"SpeedButton5", {120, 164, 75, 22}}, {"SpeedButton2", {200, 164, 23, 22}},
        {"SpeedButton1", {229, 164, 23, 22}}, {"SpeedButton4", {261, 164, 45, 22}},
        {"SpeedButton6", {312, 164, 42, 22}}, {"SpeedButton3", {360, 164, 49, 22}},
        {"UpDown1", {415, 164, 17, 22}},      {"Panel2", {8, 190, 882, 520}},
        {"Image2", {1, 1, 880, 518}},
    };
    for (const Place& p : places) {
        auto* w = form.findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->geometry(), p.rect) << p.name;
    }

    // Auto-sized labels: only their top-left corner is fixed.
    const std::pair<const char*, QPoint> corners[] = {
        {"Label12", {16, 12}},  {"Label3", {16, 30}},   {"Label4", {16, 49}},
        {"Label5", {16, 66}},   {"Label6", {16, 83}},   {"Label7", {16, 101}},
        {"Label8", {16, 120}},  {"Label9", {16, 137}},  {"Label10", {16, 156}},
        {"Label1", {442, 169}}, {"Label2", {494, 169}}, {"Label50", {647, 169}},
    };
    for (const auto& [name, corner] : corners) {
        auto* w = form.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w->pos(), corner) << name;
        EXPECT_EQ(w->parentWidget()->objectName(),
                  QLatin1String(corner.y() == 169 ? "Form1" : "Panel1"))
            << name;
    }

    const std::pair<const char*, const char*> captions[] = {
        {"SpeedButton5", "Cal Reset"},
        {"SpeedButton4", "Data"},
        {"SpeedButton6", "Cal"},
        {"SpeedButton3", "Scroll"},
    };
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(form.findChild<QAbstractButton*>(QLatin1String(name))->text(),
                  QLatin1String(caption));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("NIMBO"));
    EXPECT_EQ(labelText(&form, "Label11"), QString::fromUtf8("●"));
    // Toggles stay down; the others are plain push buttons.
    EXPECT_TRUE(form.findChild<QAbstractButton*>("SpeedButton1")->isCheckable());
    EXPECT_TRUE(form.findChild<QAbstractButton*>("SpeedButton3")->isCheckable());
    EXPECT_FALSE(form.findChild<QAbstractButton*>("SpeedButton5")->isCheckable());
    // Labels use a 12-pixel face whose narrow and wide letters take the same room.
    const QFont labelFont = form.findChild<QLabel*>("Label2")->font();
    EXPECT_EQ(labelFont.pixelSize(), 12);
    const QFontMetrics metrics(labelFont);
    EXPECT_EQ(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
}

TEST(MainWindowLayout, ResizeRulesFollowTheClientSize) {
    ProgramFolder folder;
    TForm1 form(folder.exe());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    struct Case {
        QSize client;
        QSize panel2;
        int panel1Left, memoWidth, label50Left, label2Left;
    };
    // Worked out from the rules: Panel2 CW-17 x CH-196, Panel1 at CW-131, Memo1 CW-331
    // wide, Label50 at CW-252, Label2 at CW-405.
    const Case cases[] = {
        {{899, 716}, {882, 520}, 768, 568, 647, 494},
        {{915, 700}, {898, 504}, 784, 584, 663, 510},
        {{1200, 900}, {1183, 704}, 1069, 869, 948, 795},
        {{1024, 1000}, {1007, 804}, 893, 693, 772, 619},
    };
    for (const Case& c : cases) {
        form.resize(c.client);
        QCoreApplication::processEvents();
        ASSERT_EQ(form.size(), c.client);
        auto* panel2 = form.findChild<QWidget*>("Panel2");
        EXPECT_EQ(panel2->geometry(), QRect(QPoint(8, 190), c.panel2)) << c.client.width();
        EXPECT_EQ(form.findChild<QWidget*>("Panel1")->geometry(), QRect(c.panel1Left, 8, 122, 180));
        EXPECT_EQ(form.findChild<QWidget*>("Memo1")->geometry(), QRect(194, 8, c.memoWidth, 151));
        EXPECT_EQ(form.findChild<QWidget*>("Label50")->pos(), QPoint(c.label50Left, 169));
        EXPECT_EQ(form.findChild<QWidget*>("Label2")->pos(), QPoint(c.label2Left, 169));
        // The picture fills its frame and the graph starts over, black, at that size.
        const QSize image = c.panel2 - QSize(2, 2);
        EXPECT_EQ(form.findChild<QWidget*>("Image2")->size(), image);
        EXPECT_EQ(form.graphBitmap().size(), image);
        EXPECT_EQ(form.graphBitmap().pixelColor(image.width() - 1, image.height() - 1),
                  QColor(Qt::black));
    }
}

TEST(MainWindowLayout, CannotBeMadeSmallerThanTheMinimum) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);
    for (QSize tooSmall : {QSize(500, 400), QSize(914, 699), QSize(2000, 10)}) {
        form->resize(tooSmall);
        QCoreApplication::processEvents();
        EXPECT_GE(form->frameGeometry().width(), 915);
        EXPECT_GE(form->frameGeometry().height(), 700);
    }
}

TEST(MainWindowStart, FirstRunWithoutSettingsFile) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);

    EXPECT_EQ(form->frameGeometry(), QRect(0, 0, 915, 700));
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(labelText(form.get(), "Label1"), QStringLiteral("6 sec"));
    EXPECT_FALSE(form->findChild<QAbstractButton*>("SpeedButton1")->isChecked());
    EXPECT_FALSE(form->findChild<QAbstractButton*>("SpeedButton3")->isChecked());
    EXPECT_EQ(form->input(), 0);
    EXPECT_EQ(form->core().settings().DemodType, 0);
    EXPECT_EQ(form->core().settings().InputCh, 0);
    EXPECT_FALSE(form->core().settings().SymbolInv);
    EXPECT_TRUE(form->capture().isOpen()); // the sound server's default input
    EXPECT_EQ(form->programFolder(), QFileInfo(folder.exe()).absolutePath());
    // Nothing is written at start-up.
    EXPECT_FALSE(QFile::exists(folder.ini()));
}

TEST(MainWindowStart, BlankReadoutInTheChannelColours) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);

    struct Blank {
        const char* name;
        const char* text;
        QColor colour;
    };
    const Blank blanks[] = {
        {"Label12", "Frame : ", QColor(255, 255, 255)},
        {"Label3", "Temp  : ", QColor(255, 0, 0)},
        {"Label4", "Humd1 : ", QColor(0, 255, 255)},
        {"Label5", "Humd2 : ", QColor(0, 128, 128)},
        {"Label6", "RefH1 : ", QColor(128, 0, 128)},
        {"Label7", "RefH2 : ", QColor(128, 0, 0)},
        {"Label8", "Press : ", QColor(0, 255, 0)},
        {"Label9", "RefL1 : ", QColor(128, 128, 128)},
        {"Label10", "RefL2 : ", QColor(0, 128, 0)},
        {"Label2", "Serial Number : --------", QColor(0, 0, 0)},
        {"Label50", "TxFreq : ---.-- MHz", QColor(0, 0, 0)},
    };
    for (const Blank& b : blanks) {
        auto* l = form->findChild<QLabel*>(QLatin1String(b.name));
        EXPECT_EQ(l->text(), QLatin1String(b.text)) << b.name;
        EXPECT_EQ(l->palette().color(QPalette::WindowText), b.colour) << b.name;
    }
    EXPECT_EQ(form->findChild<QProgressBar*>("ProgressBar1")->value(), 0);
    // The status dot goes dark once a block of (silent) audio has been processed.
    auto* dot = form->findChild<QLabel*>("Label11");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dot->palette().color(QPalette::WindowText) == QColor(0, 0, 0); }, 3000));
}

TEST(MainWindowStart, WelcomeTextAndItsDoubleClick) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);
    auto* memo = form->findChild<QPlainTextEdit*>("Memo1");
    const QStringList lines = memo->toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), 20);
    EXPECT_EQ(lines[0], QString::fromUtf8("デジタルラジオゾンデ信号解析ソフト　ＮＩＭＢＯ　"
                                          "１．０．０　ビルド００３"));
    EXPECT_EQ(lines[1], QString());
    EXPECT_TRUE(lines[8].startsWith(QString(7, QChar(0x3000)) + QChar(u'～')));
    EXPECT_EQ(lines[19], QString::fromUtf8("          （*印は主要波を示す）"));

    QTest::mouseClick(memo->viewport(), Qt::LeftButton);
    EXPECT_FALSE(memo->toPlainText().isEmpty());
    QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST(MainWindowStart, RowTimeFollowsTheUpDownArrows) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);
    auto* upDown = form->findChild<QWidget*>("UpDown1");
    const QPoint up(8, 3), down(8, 18);
    struct Step {
        QPoint arrow;
        int clicks;
        const char* shown;
    };
    // From the default position 5 ("6 sec"); the range 0..19 does not wrap.
    const Step steps[] = {{up, 1, "7 sec"},
                          {down, 3, "4 sec"},
                          {down, 10, "1 sec"},
                          {up, 25, "20 sec"},
                          {down, 1, "19 sec"}};
    for (const Step& s : steps) {
        for (int i = 0; i < s.clicks; ++i)
            QTest::mouseClick(upDown->childAt(s.arrow), Qt::LeftButton);
        EXPECT_EQ(labelText(form.get(), "Label1"), QLatin1String(s.shown));
    }
    form->close();
    EXPECT_TRUE(folder.readIni().contains("GraphScr=18"));
}

class ImportRecorder final : public TForm1 {
  public:
    using TForm1::TForm1;
    void importLog(const QString& path) override { imported << path; }
    QStringList imported;
};

TEST(MainWindowDrop, OnlyTheFirstDroppedFileIsImported) {
    ProgramFolder folder;
    auto form = startMainWindow<ImportRecorder>(folder);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder.path("first.txt")),
                  QUrl::fromLocalFile(folder.path("second.txt")),
                  QUrl::fromLocalFile(folder.path("third.txt"))});
    QDragEnterEvent enter(QPoint(400, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(400, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_EQ(form->imported, QStringList{folder.path("first.txt")});
}

} // namespace
} // namespace nimbo::test
