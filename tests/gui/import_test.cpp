// SPDX-License-Identifier: GPL-3.0-or-later
// Raw frame logs dropped on the main window: a two-hour flight replayed to the end with
// live audio held back, and the import stopped, interrupted by closing, refused while busy,
// or given a file without frames (said in the memo).
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <cstdio>
#include <functional>

#include "capture/device_dialog.h"
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
    explicit Windows(TForm1& form) : progress(&form), data(form.core(), &form) {
        form.useImportWindow(&progress);
        Form2 = &data;
    }
    ~Windows() { Form2 = nullptr; }
    TForm4 progress;
    TForm2 data;
};

// The main window that counts the audio blocks it decodes, live or replayed.
class BlockCounter final : public TForm1 {
  public:
    using TForm1::TForm1;
    int blocks = 0;

  private:
    void endOfBuffer() override { ++blocks; }
};

QString lastMemoLine(TForm1& form) {
    return form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))
        ->toPlainText()
        .section('\n', -1);
}

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

    auto form = startMainWindow<BlockCounter>(folder);
    Windows windows(*form);
    TForm9 dialog(form.get(), 0, form->core().settings());
    form->useDeviceDialog(&dialog);
    const int ringBefore = form->capture().ringIndex();
    int checks = 0, liveBlocks = 0;
    qint64 waited = 0; // the wait for live blocks, not part of the import's time
    const auto during = duringImport([&] {
        if (!form->importing()) return;
        ++checks;
        EXPECT_FALSE(form->core().loggingOn());
        EXPECT_FALSE(button(*form, "SpeedButton1")->isEnabled());
        EXPECT_EQ(windows.progress.isVisible(), form->core().batchMode()); // from the open on
        if (checks == 100) {
            dropFile(*form, folder.path("other/raw/Q7654321.txt")); // refused at once
            EXPECT_STREQ(form->core().frame().serialNumber, "N1234567");
            // A device chosen meanwhile is opened, but its audio waits for the import's end
            // (a freshly opened source may take a second or more to deliver).
            const int before = form->blocks, ring = form->capture().ringIndex();
            emit dialog.openCaptureRequested(0, QByteArray());
            QElapsedTimer wait;
            wait.start();
            (void)QTest::qWaitFor([&] { return form->capture().ringIndex() != ring; }, 3000);
            QTest::qWait(300);
            waited = wait.elapsed();
            liveBlocks = form->blocks - before;
        }
    });
    QElapsedTimer clock;
    clock.start();
    dropFile(*form, log);
    std::printf("[ import  ] %d lines in %lld ms\n", kTwoHours, clock.elapsed() - waited);
    EXPECT_GT(checks, 100);
    EXPECT_EQ(liveBlocks, 0);

    // The live run's readout, table and coefficients, from the last line of the same flight.
    const Readout &r = form->core().readout(), &l = live->readout();
    EXPECT_STREQ(r.Label2.data(), "Serial Number : N1234567");
    EXPECT_STREQ(r.Label12.data(), "Frame : 7200");
    EXPECT_EQ(r.Label50, l.Label50);
    EXPECT_EQ(r.channelLabels, l.channelLabels);
    EXPECT_EQ(labelText(form.get(), "Label12"), QStringLiteral("Frame : 7200"));
    EXPECT_TRUE(form->core().calibration().calComplete());
    EXPECT_EQ(form->core().calibration().calTable(), live->calibration().calTable());
    EXPECT_EQ(form->core().calibration().calCoefficients(), live->calibration().calCoefficients());
    // The data display shows the last line and the table.
    EXPECT_EQ(form->core().frameDisplayBytes(), live->frame().frameBytes);
    EXPECT_TRUE(std::equal(form->core().calibration().calDisplayBytes().begin(),
                           form->core().calibration().calDisplayBytes().end(),
                           live->calibration().calTable().begin()));
    EXPECT_FALSE(windows.data.isVisible());
    // The chart shows the traces; "Scroll" stays up.
    const Raster& chart = form->core().graph().graphBitmap();
    int red = 0, lime = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x) {
            red += chart.pixel(x, y) == clRed;
            lime += chart.pixel(x, y) == clLime;
        }
    EXPECT_GT(red, 400);
    EXPECT_GT(lime, 400);
    // Image2 shows the chart as the last line left it.
    EXPECT_EQ(form->findChild<QWidget*>(QStringLiteral("Image2"))
                  ->grab()
                  .toImage()
                  .convertToFormat(QImage::Format_RGB888),
              form->graphBitmap());
    EXPECT_FALSE(button(*form, "SpeedButton3")->isChecked());
    // Nothing logged during the import; logging on again after it.
    EXPECT_EQ(QFileInfo(log).size(), logSize);
    EXPECT_EQ(QFileInfo(folder.path("sens/N1234567.csv")).size(), sensSize);
    EXPECT_TRUE(button(*form, "SpeedButton1")->isEnabled());
    EXPECT_TRUE(button(*form, "SpeedButton1")->isChecked());
    EXPECT_TRUE(form->core().loggingOn());
    EXPECT_FALSE(windows.progress.isVisible());
    // Capture runs again (the test sound server's source delivers silence).
    ASSERT_TRUE(form->capture().isOpen());
    const int blocksAfter = form->blocks;

    EXPECT_TRUE(QTest::qWaitFor([&] { return form->capture().ringIndex() != ringBefore; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->blocks > blocksAfter; }, 2000));
}

TEST(Import, StopCloseAndFilesWithoutFramesEndTheImportCleanly) {
    enum class Do { Stop, CloseMain, Nothing };
    struct Case {
        Do action;
        const char* file;
        QByteArray content; // written to `file` unless null
        const char* frameAfter;
        bool mainOpen;
        const char* memo; // the memo's last line after its time, "" for no line
    };
    const QByteArray junk("\x7f"
                          "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0",
                          20);
    const Case cases[] = {
        {Do::Stop, "raw/N1234567.txt", {}, "Frame : 50", true, ""},
        {Do::CloseMain, "raw/N1234567.txt", {}, "Frame : 50", false, ""},
        {Do::Nothing,
         "raw/missing.txt",
         {},
         "Frame : ",
         true,
         "Nothing read from missing.txt: there is no such file"},
        {Do::Nothing, "empty.txt", "", "Frame : ", true,
         "Nothing read from empty.txt: the file is empty"},
        {Do::Nothing, "raw", {}, "Frame : ", true, "Nothing read from raw: it is a folder"},
        {Do::Nothing, "junk.bin", junk.repeated(40), "Frame : ", true,
         "Nothing read from junk.bin: no frame lines and not an audio recording"},
    };
    for (const Case& c : cases) {
        ProgramFolder folder;
        folder.writeIni("[Form]\r\nLogging=1\r\n");
        logFlight(folder.path(""), 200, "N1234567");
        if (!c.content.isNull()) {
            QFile f(folder.path(c.file));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        auto form = startMainWindow(folder);
        Windows windows(*form);
        bool closed = false;
        QObject::connect(form.get(), &TForm1::mainWindowClosed, [&] { closed = true; });
        const auto during = duringImport([&] {
            // The labels follow the core some 25 times a second; the core, every line.
            if (!form->importing() || !labelIs(form->core().readout().Label12, "Frame : 50"))
                return;
            if (c.action == Do::Stop)
                windows.progress.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
            if (c.action == Do::CloseMain) form->close();
        });
        dropFile(*form, folder.path(c.file));
        EXPECT_STREQ(form->core().readout().Label12.data(), c.frameAfter) << c.file;
        EXPECT_EQ(labelText(form.get(), "Label12"), QLatin1String(c.frameAfter)) << c.file;
        const QString memo = lastMemoLine(*form); // "HH:mm:ss  " and the line
        EXPECT_EQ(memo.contains(QStringLiteral("Nothing read")), *c.memo != 0) << c.file;
        if (*c.memo) {
            EXPECT_EQ(memo.mid(10), QLatin1String(c.memo));
        }
        EXPECT_FALSE(form->importing());
        EXPECT_FALSE(windows.progress.isVisible());
        EXPECT_EQ(form->isVisible(), c.mainOpen);
        EXPECT_EQ(closed, !c.mainOpen);
        EXPECT_TRUE(button(*form, "SpeedButton1")->isEnabled());
        EXPECT_TRUE(form->core().loggingOn());
        EXPECT_EQ(QFileInfo(folder.path("raw/N1234567.txt")).size(), 200 * 661);
        EXPECT_FALSE(form->core().batchMode());
    }
}

} // namespace
} // namespace nimbo::test
