// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration display as the program makes it: its controls, where it opens, the 18
// indices between the window and the settings file, and its results for a synthesised
// flight against values worked out from what the sonde sent.
#include <QAbstractButton>
#include <QGroupBox>
#include <QToolButton>
#include <vector>

#include "decode/frame_layout.h"
#include "display/calibration_display.h"
#include "feed_flight.h"
#include "gui_fixture.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

struct RowSpec {
    const char* group;
    const char* name;
    const char* caption;
    const char* upDown;
    const char* index;
    const char* value;
    const char* key;
    int byDefault;
};

const RowSpec kRows[] = {
    {"GroupBox1", "Label20", "Y0", "UpDown6", "Label12", "Label14", "Press1", 6},
    {"GroupBox1", "Label15", "P0", "UpDown1", "Label3", "Label7", "Press2", 30},
    {"GroupBox1", "Label16", "P1", "UpDown2", "Label4", "Label8", "Press3", 31},
    {"GroupBox1", "Label17", "P2", "UpDown3", "Label5", "Label9", "Press4", 32},
    {"GroupBox1", "Label18", "P3", "UpDown4", "Label6", "Label10", "Press5", 33},
    {"GroupBox1", "Label19", "P4", "UpDown5", "Label11", "Label13", "Press6", 38},
    {"GroupBox2", "Label38", "Y0", "UpDown12", "Label30", "Label32", "Temp1", 6},
    {"GroupBox2", "Label33", "T0", "UpDown7", "Label21", "Label25", "Temp2", 25},
    {"GroupBox2", "Label34", "T1", "UpDown8", "Label22", "Label26", "Temp3", 26},
    {"GroupBox2", "Label35", "T2", "UpDown9", "Label23", "Label27", "Temp4", 27},
    {"GroupBox2", "Label36", "T3", "UpDown10", "Label24", "Label28", "Temp5", 28},
    {"GroupBox2", "Label37", "T4", "UpDown11", "Label29", "Label31", "Temp6", 29},
    {"GroupBox3", "Label57", "Y0", "UpDown18", "Label49", "Label51", "Humd1", 6},
    {"GroupBox3", "Label52", "H0", "UpDown13", "Label40", "Label44", "Humd2", 12},
    {"GroupBox3", "Label53", "H1", "UpDown14", "Label41", "Label45", "Humd3", 13},
    {"GroupBox3", "Label54", "H2", "UpDown15", "Label42", "Label46", "Humd4", 14},
    {"GroupBox3", "Label55", "H3", "UpDown16", "Label43", "Label47", "Humd5", 15},
    {"GroupBox3", "Label56", "H4", "UpDown17", "Label48", "Label50", "Humd6", 16},
};

QString text(const char* name) {
    return labelText(Form3, name);
}

void clickArrow(const char* upDown, Qt::ArrowType arrow) {
    for (auto* b : Form3->findChild<QWidget*>(QLatin1String(upDown))->findChildren<QToolButton*>())
        if (b->arrowType() == arrow) QTest::mouseClick(b, Qt::LeftButton);
}

// The main window and its calibration display, made and wired as the program entry does.
class CalDisplay : public ::testing::Test {
  protected:
    void start() {
        form = startMainWindow(folder);
        form->CloseCapture();
        Form3 = new TForm3(form->core(), form->calSelections(), form.get());
        QObject::connect(Form3, &TForm3::selectionsChanged, form.get(), &TForm1::setCalSelections);
        form->findChild<QAbstractButton*>("SpeedButton6")->click(); // "Cal"
        ASSERT_TRUE(Form3->isVisible());
    }
    void TearDown() override {
        delete Form3;
        Form3 = nullptr;
    }

    ProgramFolder folder;
    std::unique_ptr<TForm1> form;
};

TEST_F(CalDisplay, OpensWithItsControlsAtTheDefaultIndicesCentredOnTheMainWindow) {
    start();
    EXPECT_EQ(Form3->windowTitle(), QStringLiteral("Calibration Display"));
    const auto group = [](const char* name) {
        return Form3->findChild<QGroupBox*>(QLatin1String(name));
    };
    EXPECT_EQ(group("GroupBox2")->title(), QStringLiteral("Temperature"));
    EXPECT_EQ(group("GroupBox3")->title(), QStringLiteral("Humidity"));
    EXPECT_EQ(group("GroupBox1")->title(), QStringLiteral("Pressure"));
    EXPECT_LT(group("GroupBox2")->x(), group("GroupBox3")->x());
    EXPECT_LT(group("GroupBox3")->x(), group("GroupBox1")->x());
    for (const RowSpec& r : kRows) {
        QGroupBox* box = group(r.group);
        EXPECT_EQ(labelText(box, r.name), QLatin1String(r.caption)) << r.name;
        EXPECT_EQ(labelText(box, r.index), QString::number(r.byDefault)) << r.index;
        EXPECT_EQ(labelText(box, r.value), QStringLiteral("0.00000000")) << r.value;
        EXPECT_NE(box->findChild<QWidget*>(QLatin1String(r.upDown)), nullptr) << r.upDown;
    }
    EXPECT_EQ(text("Label1"), QStringLiteral("- DegC"));
    EXPECT_EQ(text("Label39"), QStringLiteral("- %"));
    EXPECT_EQ(text("Label2"), QStringLiteral("- hpa"));
    EXPECT_EQ(text("Panel1"), QString::fromUtf8("この数値は未確定な算出により表示されています。"
                                                "実際の観測値ではありません！"));

    const QRect main = form->frameGeometry(), own = Form3->frameGeometry();
    EXPECT_EQ(own.left(), main.left() + main.width() / 2 - own.width() / 2);
    EXPECT_EQ(own.top(), main.top() + main.height() / 2 - own.height() / 2);
}

TEST_F(CalDisplay, ArrowsRefreshEveryGroupAndAllEighteenReachTheFile) {
    // Out of range in the file: brought to the nearer end before anything uses them.
    folder.writeIni("[Set]\r\nPress1=-4\r\nPress2=40\r\nTemp3=99\r\nHumd6=70\r\n");
    start();
    EXPECT_EQ(text("Label12"), QStringLiteral("0"));
    EXPECT_EQ(text("Label3"), QStringLiteral("40"));
    EXPECT_EQ(text("Label22"), QStringLiteral("65"));
    EXPECT_EQ(text("Label48"), QStringLiteral("65"));

    clickArrow("UpDown13", Qt::UpArrow);   // H0 12 -> 13
    clickArrow("UpDown1", Qt::DownArrow);  // P0 40 -> 39
    clickArrow("UpDown11", Qt::UpArrow);   // T4 29 -> 30
    clickArrow("UpDown10", Qt::DownArrow); // T3 28 -> 27
    clickArrow("UpDown6", Qt::DownArrow);  // Y0 of Pressure stays at 0: no wrap
    EXPECT_EQ(text("Label40"), QStringLiteral("13"));
    EXPECT_EQ(text("Label3"), QStringLiteral("39"));
    EXPECT_EQ(text("Label29"), QStringLiteral("30"));
    EXPECT_EQ(text("Label12"), QStringLiteral("0"));

    ASSERT_TRUE(form->close());
    const QByteArray ini = folder.readIni();
    const std::pair<const char*, int> changed[] = {{"Press1", 0}, {"Press2", 39}, {"Temp3", 65},
                                                   {"Temp5", 27}, {"Temp6", 30},  {"Humd2", 13},
                                                   {"Humd6", 65}};
    for (const RowSpec& r : kRows) {
        int expected = r.byDefault;
        for (const auto& [key, value] : changed)
            if (qstrcmp(key, r.key) == 0) expected = value;
        EXPECT_TRUE(ini.contains(QStringLiteral("\r\n%1=%2\r\n").arg(r.key).arg(expected).toUtf8()))
            << r.key << " = " << expected << " in\n"
            << ini.constData();
    }
}

TEST_F(CalDisplay, ResultsOfASynthesisedFlightMatchHandWorkedValues) {
    // Rows picked so that every term shows in the printed digits: this sonde's entries
    // 52 (755.9) and 40 (228.7) for pressure, 24 (52.7), 50 (-48.5), 22 (-6.4), 23 (9.8) and
    // 28 (-3.0) for temperature, 4 (92.4) and 30 (-46.2) for humidity.
    constexpr int P0 = 52, P1 = 40, T0 = 24, T1 = 50, T2 = 22, T3 = 23, T4 = 28, H0 = 4, H1 = 30;
    folder.writeIni("[Set]\r\nPress2=52\r\nPress3=40\r\nTemp2=24\r\nTemp3=50\r\nTemp4=22\r\n"
                    "Temp5=23\r\nTemp6=28\r\nHumd2=4\r\nHumd3=30\r\n");
    start();
    synth::SynthOptions o;
    o.frames = 36; // the first is lost to the lead-in; 32 more bring the whole table
    o.serial = "N1234567";
    o.leadInSeconds = 0.5;
    o.firstFrameNumber = 100;
    o.firstCalIndex = 31;
    o.humidSwap = true; // the humidity slot then carries the second sensor
    feedFlight(*form, o);
    ASSERT_TRUE(form->core().calibration().calComplete());

    // The last frame as sent, converted by hand with the sonde's coefficients.
    const std::array<float, synth::kCalCoefficients> c = synth::calibrationCoefficients(o);
    const std::array<uint8_t, synth::kContentBytes> f = synth::buildFrame(o, o.frames - 1);
    const auto raw = [&](int ch) {
        const uint8_t* p = &f[frame::kSensors + 3 * ch];
        return double(p[0] | p[1] << 8 | p[2] << 16);
    };
    const double low = (raw(6) + raw(7)) / 2, high = (raw(3) + raw(4)) / 2;
    const auto x = [&](int ch) { return (raw(ch) - low) / (high - low); };
    const double x0 = x(0), x1 = x(2), x5 = x(5); // x1: Humd2, the sensor switched in
    const double pressure = double(c[P0]) + double(c[P1]) * x5;
    const double temperature = double(c[T0]) + double(c[T1]) * x0 + double(c[T2]) * x0 * x0 +
                               double(c[T3]) * x0 * x0 * x0 + double(c[T4]) * x0 * x0 * x0 * x0;
    const double humidity = double(c[H0]) + double(c[H1]) * x1;
    EXPECT_EQ(text("Label2"), QString::asprintf("%0.2f hpa", pressure));
    EXPECT_EQ(text("Label1"), QString::asprintf("%0.2f DegC", temperature));
    EXPECT_EQ(text("Label39"), QString::asprintf("%0.2f %%", humidity));
    EXPECT_EQ(text("Label7"), QString::asprintf("%0.8f", double(c[P0])));
    EXPECT_EQ(text("Label31"), QString::asprintf("%0.8f", double(c[T4])));
    EXPECT_EQ(text("Label45"), QString::asprintf("%0.8f", double(c[H1])));

    // "Cal Reset" empties the table: the open window drops its results at once.
    form->findChild<QAbstractButton*>("SpeedButton5")->click();
    EXPECT_EQ(text("Label2"), QStringLiteral("- hpa"));
    EXPECT_EQ(text("Label1"), QStringLiteral("- DegC"));
    EXPECT_EQ(text("Label39"), QStringLiteral("- %"));
    EXPECT_EQ(text("Label7"), QStringLiteral("0.00000000"));
}

// With the RS41 chosen (in the file, or later in the device dialog) the warning line says
// the window is the RS92's; back with the RS92 it warns as before.
TEST_F(CalDisplay, SaysItIsAnRs92WindowWhileTheRs41IsChosen) {
    folder.writeIni("[Wave]\r\nSonde=1\r\n");
    start();
    const QString warning = QString::fromUtf8("この数値は未確定な算出により表示されています。"
                                              "実際の観測値ではありません！");
    EXPECT_EQ(text("Panel1"),
              QStringLiteral(
                  "RS92 window: with the RS41 chosen in the device dialog, nothing is shown here"));
    form->core().applySettings({});
    Form3->Refresh();
    EXPECT_EQ(text("Panel1"), warning);
}

} // namespace
} // namespace nimbo::test
