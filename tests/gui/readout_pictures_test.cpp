// SPDX-License-Identifier: GPL-3.0-or-later
// The readout panel, the buttons around it and the two pictures while a synthesised sonde
// is fed block by block into the main window (capture closed, so only these blocks count).
#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QProgressBar>
#include <functional>
#include <vector>

#include "dsp/block_fir.h"
#include "gui_fixture.h"
#include "tools/synth/synth.h"
#include "widgets/image_view.h"

namespace nimbo::test {
namespace {

constexpr const char* kSerial = "N1234567";

QColor textColour(QWidget* form, const char* name) {
    return form->findChild<QLabel*>(QLatin1String(name))->palette().color(QPalette::WindowText);
}

QAbstractButton* button(QWidget* form, const char* name) {
    return form->findChild<QAbstractButton*>(QLatin1String(name));
}

int progress(QWidget* form) {
    return form->findChild<QProgressBar*>("ProgressBar1")->value();
}

// What a picture control shows, as the screen draws it.
QImage shown(QWidget* form, const char* name) {
    return form->findChild<QWidget*>(QLatin1String(name))
        ->grab()
        .toImage()
        .convertToFormat(QImage::Format_RGB888);
}

bool hasColour(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour) return true;
    return false;
}

// The main window with its capture closed, fed with synthesised audio one block at a time.
class FedWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        form = startMainWindow(folder);
        form->CloseCapture();
        QCoreApplication::processEvents();
    }

    // The whole flight, then a few silent blocks so that the filters deliver the last
    // frame's final bits.
    void playAll(synth::Synthesizer& flight, const std::function<void()>& afterBlock = {}) {
        play(flight, 1e9, afterBlock);
        silence(3, afterBlock);
    }

    // Feeds `seconds` of the flight, calling `afterBlock` after each block.
    void play(synth::Synthesizer& flight, double seconds,
              const std::function<void()>& afterBlock = {}) {
        const int64_t end = std::min<int64_t>(
            flight.length(), flight.position() + int64_t(seconds * synth::kOutputSampleRate));
        std::vector<int16_t> block(2 * kBlockSamples);
        while (flight.position() < end) {
            std::fill(block.begin(), block.end(), int16_t{0});
            flight.generate(block.data(), kBlockSamples);
            form->ProcessWaveBuffer(block.data());
            if (afterBlock) afterBlock();
        }
    }

    void silence(int blocks, const std::function<void()>& afterBlock = {}) {
        const std::vector<int16_t> block(2 * kBlockSamples, 0);
        for (int i = 0; i < blocks; ++i) {
            form->ProcessWaveBuffer(block.data());
            if (afterBlock) afterBlock();
        }
    }

    // Frame numbers from 100, calibration pieces from 31: every frame arrives, the first
    // after the idle lead-in included, so the frequency (piece 0) comes with frame 101.
    static synth::SynthOptions flightOf(int frames, const char* serial = kSerial) {
        synth::SynthOptions o;
        o.frames = frames;
        o.serial = serial;
        o.leadInSeconds = 0.5;
        o.firstFrameNumber = 100;
        o.firstCalIndex = 31;
        return o;
    }

    ProgramFolder folder;
    std::unique_ptr<TForm1> form;
};

TEST_F(FedWindow, EveryReadoutControlShowsWhatTheCoreHoldsAfterEveryBlock) {
    synth::SynthOptions o = flightOf(4);
    o.humidSwap = true;
    o.corruptFrame = 2;
    o.corruptBlock = 1; // sensor block: the frame counts, the channel labels stand still
    synth::Synthesizer flight(o);
    int blocks = 0;
    playAll(flight, [&] {
        ++blocks;
        const Readout& r = form->core().readout();
        const std::pair<const char*, const LabelText*> texts[] = {
            {"Label2", &r.Label2},
            {"Label12", &r.Label12},
            {"Label50", &r.Label50},
            {"Label3", &r.channelLabels[0]},
            {"Label4", &r.channelLabels[1]},
            {"Label5", &r.channelLabels[2]},
            {"Label6", &r.channelLabels[3]},
            {"Label7", &r.channelLabels[4]},
            {"Label8", &r.channelLabels[5]},
            {"Label9", &r.channelLabels[6]},
            {"Label10", &r.channelLabels[7]},
        };
        for (const auto& [name, text] : texts)
            ASSERT_EQ(labelText(form.get(), name), QString::fromUtf8(text->data()))
                << name << " after block " << blocks;
        const auto colour = [](Colour c) { return QColor(redOf(c), greenOf(c), blueOf(c)); };
        ASSERT_EQ(textColour(form.get(), "Label4"), colour(r.Label4Colour)) << blocks;
        ASSERT_EQ(textColour(form.get(), "Label5"), colour(r.Label5Colour)) << blocks;
        ASSERT_EQ(textColour(form.get(), "Label11"), colour(r.Label11Colour)) << blocks;
        ASSERT_EQ(progress(form.get()), r.ProgressBar1) << blocks;
    });

    // And what the core holds is what was sent: frames 100..103 with four calibration
    // pieces, the humidity switch set so that the bright colour marks the
    // second sensor.
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : N1234567"));
    EXPECT_EQ(labelText(form.get(), "Label12"), QStringLiteral("Frame : 103"));
    EXPECT_EQ(progress(form.get()), 12); // 4 x 3.125 = 12.5, truncated
    EXPECT_EQ(textColour(form.get(), "Label4"), QColor(0, 128, 128));
    EXPECT_EQ(textColour(form.get(), "Label5"), QColor(0, 255, 255));
    EXPECT_TRUE(labelText(form.get(), "Label50").startsWith(QStringLiteral("TxFreq : 4")));
}

TEST_F(FedWindow, StatusDotLightsForTheRestOfItsBlockAndTwoMore) {
    auto* dot = form->findChild<QLabel*>("Label11");
    EXPECT_EQ(dot->palette().color(QPalette::WindowText), QColor(0, 128, 0)) << "as laid out";
    silence(1);
    EXPECT_EQ(dot->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    // Frame 2 fails its sensor block (yellow), the others pass (lime).
    synth::SynthOptions o = flightOf(4);
    o.corruptFrame = 2;
    o.corruptBlock = 1;
    synth::Synthesizer flight(o);
    std::vector<QColor> seen;
    const auto record = [&] { seen.push_back(dot->palette().color(QPalette::WindowText)); };
    playAll(flight, record);
    silence(3, record);
    ASSERT_EQ(seen.back(), QColor(0, 0, 0));

    // Each frame lights the dot for the rest of its block and the next one: seen lit after
    // two blocks, dark at the end of the second block after the frame's (0.2 s).
    std::vector<std::pair<QColor, int>> runs;
    for (const QColor& c : seen) {
        if (!runs.empty() && runs.back().first == c)
            ++runs.back().second;
        else
            runs.emplace_back(c, 1);
    }
    std::vector<std::pair<QColor, int>> lit;
    for (const auto& run : runs)
        if (run.first != QColor(0, 0, 0)) lit.push_back(run);
    const QColor lime(0, 255, 0), yellow(255, 255, 0);
    const std::vector<std::pair<QColor, int>> expected = {
        {lime, 2}, {lime, 2}, {yellow, 2}, {lime, 2}};
    EXPECT_EQ(lit, expected);
}

TEST_F(FedWindow, CalResetLeavesScrollUpAndTheNextFrameBringsTheSondeBack) {
    synth::Synthesizer flight(flightOf(6));
    play(flight, 2.6);
    ASSERT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : N1234567"));
    // The first sonde reset the display outside batch mode: "Scroll" went down.
    ASSERT_TRUE(button(form.get(), "SpeedButton3")->isChecked());
    button(form.get(), "SpeedButton3")->click();
    ASSERT_FALSE(button(form.get(), "SpeedButton3")->isChecked());
    ASSERT_FALSE(form->core().scrollDown());

    button(form.get(), "SpeedButton5")->click();
    const std::pair<const char*, const char*> blanks[] = {
        {"Label2", "Serial Number : --------"},
        {"Label50", "TxFreq : ---.-- MHz"},
        {"Label12", "Frame : "},
        {"Label3", "Temp  : "},
        {"Label10", "RefL2 : "},
    };
    for (const auto& [name, text] : blanks)
        EXPECT_EQ(labelText(form.get(), name), QLatin1String(text)) << name;
    EXPECT_EQ(progress(form.get()), 0);
    EXPECT_FALSE(button(form.get(), "SpeedButton3")->isChecked());

    // The next good frame differs from the blank serial: a reset outside batch mode.
    play(flight, 1.0);
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : N1234567"));
    EXPECT_TRUE(button(form.get(), "SpeedButton3")->isChecked());
    EXPECT_TRUE(form->core().scrollDown());
    EXPECT_EQ(progress(form.get()), 3); // one piece collected anew
}

TEST_F(FedWindow, ANewSondePutsScrollDownAndRestartsTheProgress) {
    synth::Synthesizer first(flightOf(5));
    playAll(first);
    ASSERT_EQ(progress(form.get()), 15);         // pieces 31 and 0..3
    button(form.get(), "SpeedButton3")->click(); // up: the chart stands still
    ASSERT_FALSE(button(form.get(), "SpeedButton3")->isChecked());

    synth::Synthesizer second(flightOf(2, "M7654321"));
    playAll(second);
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : M7654321"));
    EXPECT_TRUE(button(form.get(), "SpeedButton3")->isChecked());
    // Collection started over: at most its own two pieces.
    EXPECT_GE(progress(form.get()), 3);
    EXPECT_LE(progress(form.get()), 6);
}

TEST_F(FedWindow, PicturesShowTheCoreBitmapsAndTheGraphOnlyAtItsSteps) {
    // Default row time 6 s: a long enough flight to see the three traces.
    synth::Synthesizer flight(flightOf(16));
    int blocks = 0;
    playAll(flight, [&] {
        ++blocks;
        // The scope is copied after every block.
        ASSERT_EQ(shown(form.get(), "Image1"), form->scopeBitmap()) << "block " << blocks;
    });
    const QImage chart = shown(form.get(), "Image2");
    EXPECT_EQ(chart, form->graphBitmap());
    EXPECT_EQ(chart.size(), form->findChild<QWidget*>("Image2")->size());
    // Temp red, Humd1 aqua, Press lime.
    for (QColor c : {QColor(255, 0, 0), QColor(0, 255, 255), QColor(0, 255, 0)})
        EXPECT_TRUE(hasColour(chart, c)) << c.name().toStdString();
    // Eye traces in white on the scope.
    EXPECT_TRUE(hasColour(form->scopeBitmap(), QColor(255, 255, 255)));

    // Cal Reset clears the off-screen chart at once; the control keeps the old picture
    // until the graph's next step.
    button(form.get(), "SpeedButton5")->click();
    const QImage black = [&] {
        QImage i(chart.size(), QImage::Format_RGB888);
        i.fill(Qt::black);
        return i;
    }();
    ASSERT_EQ(form->graphBitmap(), black);
    EXPECT_EQ(shown(form.get(), "Image2"), chart);
    const unsigned steps = form->core().graph().graphShowCount();
    while (form->core().graph().graphShowCount() == steps)
        silence(1);
    EXPECT_EQ(shown(form.get(), "Image2"), form->graphBitmap());
    EXPECT_NE(shown(form.get(), "Image2"), chart);
}

TEST_F(FedWindow, ClickOnTheChartCopiesItAtItsOwnSize) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* image2 = form->findChild<QWidget*>("Image2");

    // Empty chart: all black, Image2's size.
    clipboard->clear();
    QTest::mouseClick(image2, Qt::LeftButton, {}, QPoint(100, 100));
    QImage copied = clipboard->image().convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(copied.size(), image2->size());
    EXPECT_EQ(copied, form->graphBitmap());
    EXPECT_FALSE(hasColour(copied, QColor(255, 255, 255)));

    // A bigger window, a chart with traces: the copy follows the new size and pixels.
    form->resize(1100, 820);
    QCoreApplication::processEvents();
    ASSERT_EQ(image2->size(), QSize(1100 - 19, 820 - 198));
    synth::Synthesizer flight(flightOf(8));
    playAll(flight);
    QTest::mouseClick(image2, Qt::LeftButton, {}, QPoint(5, 5));
    copied = clipboard->image().convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(copied.size(), QSize(1081, 622));
    EXPECT_EQ(copied, form->graphBitmap());
    EXPECT_TRUE(hasColour(copied, QColor(255, 0, 0)));

    // A right click copies nothing.
    clipboard->clear();
    QTest::mouseClick(image2, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(clipboard->image().isNull());
}

TEST_F(FedWindow, LoggingButtonWritesTheCalibrationFilesOfACompleteTable) {
    const QString root = QFileInfo(folder.exe()).absolutePath();
    const auto lines = [&](const QString& rel) {
        QFile f(root + u'/' + rel);
        if (!f.open(QIODevice::ReadOnly)) return -1;
        return int(f.readAll().count("\r\n"));
    };
    // Logging off while the whole table arrives: nothing on disk.
    synth::Synthesizer flight(flightOf(36));
    play(flight, 34.0);
    ASSERT_EQ(progress(form.get()), 100);
    EXPECT_FALSE(QDir(root + "/calraw").exists());
    EXPECT_FALSE(QDir(root + "/raw").exists());

    // Down: both calibration files at once; frames are logged from now on.
    button(form.get(), "SpeedButton1")->click();
    ASSERT_TRUE(form->core().loggingOn());
    EXPECT_EQ(lines("calraw/N1234567.txt"), 32);
    EXPECT_EQ(lines("caldata/N1234567.txt"), 66);
    EXPECT_EQ(lines("raw/N1234567.txt"), -1);
    playAll(flight);
    EXPECT_GE(lines("raw/N1234567.txt"), 1);
    EXPECT_EQ(lines("sens/N1234567.csv"), lines("raw/N1234567.txt") + 1); // and its header

    // Up: no more lines.
    button(form.get(), "SpeedButton1")->click();
    EXPECT_FALSE(form->core().loggingOn());
    const int logged = lines("raw/N1234567.txt");
    synth::Synthesizer more(flightOf(3));
    playAll(more);
    EXPECT_EQ(lines("raw/N1234567.txt"), logged);
}

TEST(LoggingSetting, RestoredDownWithoutWritingAnything) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nLogging=1\r\nGraphScr=0\r\n");
    auto form = startMainWindow(folder);
    EXPECT_TRUE(button(form.get(), "SpeedButton1")->isChecked());
    EXPECT_TRUE(form->core().loggingOn());
    EXPECT_EQ(form->core().graph().UpDown1(), 0);
    EXPECT_EQ(labelText(form.get(), "Label1"), QStringLiteral("1 sec"));
    EXPECT_EQ(form->core().programFolder(),
              QFile::encodeName(QFileInfo(folder.exe()).absolutePath()).toStdString());
    const QStringList made =
        QDir(QFileInfo(folder.exe()).absolutePath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_TRUE(made.isEmpty()) << made.join(u' ').toStdString();
}

} // namespace
} // namespace nimbo::test
