// Raw frame logs dropped on the main window: a two-hour flight replayed to the end, and
// the import stopped, interrupted by closing, refused while busy or given no file.
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <cstdio>
#include <functional>

#include "core/log_import.h"
#include "display/data_display.h"
#include "display/import_progress.h"
#include "gui_fixture.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

constexpr int kTwoHours = 7200;

// What NIMBO logs of a synthesised flight received live: raw/<serial>.txt beneath
// `folder`, written by a core of its own, which is returned for comparison.
std::unique_ptr<NimboCore> logFlight(const QString& folder, int frames, const char* serial) {
    auto live = std::make_unique<NimboCore>();
    live->setDrawPictures(false);
    live->setProgramFolder(QFile::encodeName(folder).toStdString());
    live->setLogging(true);
    synth::SynthOptions o;
    o.flight = true;
    o.serial = serial;
    uint8_t cells[kFrameBits];
    for (int n = 0; n < frames; ++n) {
        const auto bytes = synth::buildFrame(o, n);
        unpackFrameBytes(bytes.data(), cells);
        live->decodeFrame(cells);
    }
    return live;
}

// Runs `check` at every pass of the event loop (the import pumps it once per line).
std::unique_ptr<QTimer> duringImport(std::function<void()> check) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, check);
    timer->start(0);
    return timer;
}

struct Windows {
    explicit Windows(TForm1& form) : progress(&form), data(form.core, &form) {
        form.useImportWindow(&progress);
        Form2 = &data;
    }
    ~Windows() { Form2 = nullptr; }
    TForm4 progress;
    TForm2 data;
};

QToolButton* button(TForm1& form, const char* name) {
    return form.findChild<QToolButton*>(QLatin1String(name));
}

TEST(Import, TwoHourFlightReplaysToTheEndWithoutLogging) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nLogging=1\r\n");
    const auto live = logFlight(folder.path(""), kTwoHours, "N1234567");
    const QString log = folder.path("raw/N1234567.txt");
    logFlight(folder.path("other"), 40, "Q7654321"); // dropped while the import runs
    const qint64 logSize = QFileInfo(log).size(),
                 sensSize = QFileInfo(folder.path("sens/N1234567.csv")).size();
    ASSERT_EQ(logSize, kTwoHours * 661);

    auto form = startMainWindow(folder);
    Windows windows(*form);
    const int ringBefore = form->capture.ringIndex();
    int checks = 0;
    const auto during = duringImport([&] {
        if (!form->importing()) return;
        ++checks;
        EXPECT_FALSE(form->core.loggingOn());
        EXPECT_FALSE(button(*form, "SpeedButton1")->isEnabled());
        EXPECT_EQ(windows.progress.isVisible(), form->core.batchMode()); // from the open on
        if (checks == 100) {
            dropFile(*form, folder.path("other/raw/Q7654321.txt")); // refused at once
            EXPECT_STREQ(form->core.frame().serialNumber, "N1234567");
        }
    });
    QElapsedTimer clock;
    clock.start();
    dropFile(*form, log);
    std::printf("[ import  ] %d lines in %lld ms\n", kTwoHours, clock.elapsed());
    EXPECT_GT(checks, 100);

    // The live run's readout, table and coefficients, from the last line of the same flight.
    const Readout &r = form->core.readout(), &l = live->readout();
    EXPECT_STREQ(r.Label2.data(), "Serial Number : N1234567");
    EXPECT_STREQ(r.Label12.data(), "Frame : 7200");
    EXPECT_EQ(r.Label50, l.Label50);
    EXPECT_EQ(r.channelLabels, l.channelLabels);
    EXPECT_EQ(labelText(form.get(), "Label12"), QStringLiteral("Frame : 7200"));
    EXPECT_TRUE(form->core.calibration().calComplete());
    EXPECT_EQ(form->core.calibration().calTable(), live->calibration().calTable());
    EXPECT_EQ(form->core.calibration().calCoefficients(), live->calibration().calCoefficients());
    // The data display shows the last line and the table.
    EXPECT_EQ(form->core.frameDisplayBytes(), live->frame().frameBytes);
    EXPECT_TRUE(std::equal(form->core.calibration().calDisplayBytes().begin(),
                           form->core.calibration().calDisplayBytes().end(),
                           live->calibration().calTable().begin()));
    EXPECT_FALSE(windows.data.isVisible());
    // The chart shows the traces; "Scroll" stays up.
    const Raster& chart = form->core.graph().graphBitmap();
    int red = 0, lime = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x) {
            red += chart.pixel(x, y) == clRed;
            lime += chart.pixel(x, y) == clLime;
        }
    EXPECT_GT(red, 400);
    EXPECT_GT(lime, 400);
    EXPECT_FALSE(button(*form, "SpeedButton3")->isChecked());
    // Nothing logged during the import; logging on again after it.
    EXPECT_EQ(QFileInfo(log).size(), logSize);
    EXPECT_EQ(QFileInfo(folder.path("sens/N1234567.csv")).size(), sensSize);
    EXPECT_TRUE(button(*form, "SpeedButton1")->isEnabled());
    EXPECT_TRUE(button(*form, "SpeedButton1")->isChecked());
    EXPECT_TRUE(form->core.loggingOn());
    EXPECT_FALSE(windows.progress.isVisible());
    // Capture runs again (the test sound server's source delivers silence).
    if (form->capture.isOpen()) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->capture.ringIndex() != ringBefore; }, 2000));
    }
}

TEST(Import, StopCloseAndMissingFileEndTheImportCleanly) {
    enum class Do { Stop, CloseMain, Nothing };
    struct Case {
        Do action;
        const char* file;
        const char* frameAfter;
        bool mainOpen;
    };
    const Case cases[] = {
        {Do::Stop, "raw/N1234567.txt", "Frame : 50", true},
        {Do::CloseMain, "raw/N1234567.txt", "Frame : 50", false},
        {Do::Nothing, "raw/missing.txt", "Frame : ", true},
    };
    for (const Case& c : cases) {
        ProgramFolder folder;
        folder.writeIni("[Form]\r\nLogging=1\r\n");
        logFlight(folder.path(""), 200, "N1234567");
        auto form = startMainWindow(folder);
        Windows windows(*form);
        bool closed = false;
        QObject::connect(form.get(), &TForm1::mainWindowClosed, [&] { closed = true; });
        const auto during = duringImport([&] {
            if (!form->importing() || labelText(form.get(), "Label12") != "Frame : 50") return;
            if (c.action == Do::Stop)
                windows.progress.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
            if (c.action == Do::CloseMain) form->close();
        });
        form->importLog(folder.path(c.file));
        EXPECT_STREQ(form->core.readout().Label12.data(), c.frameAfter) << c.file;
        EXPECT_FALSE(form->importing());
        EXPECT_FALSE(windows.progress.isVisible());
        EXPECT_EQ(form->isVisible(), c.mainOpen);
        EXPECT_EQ(closed, !c.mainOpen);
        EXPECT_TRUE(button(*form, "SpeedButton1")->isEnabled());
        EXPECT_TRUE(form->core.loggingOn());
        EXPECT_EQ(QFileInfo(folder.path("raw/N1234567.txt")).size(), 200 * 661);
        EXPECT_FALSE(form->core.batchMode());
    }
}

} // namespace
} // namespace nimbo::test
