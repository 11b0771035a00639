// The main window on a real sound server (started by with_pulse.sh): a synthesised sonde
// played into the null sink is decoded live from the remapped input; an input that does
// not exist is reported and the window still comes up.
#include <QAbstractButton>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>

#include "gui_fixture.h"

namespace nimbo::test {
namespace {

TEST(LiveCapture, MissingDeviceIsReportedAndTheWindowStillComesUp) {
    ProgramFolder folder;
    folder.writeIni("[Wave]\r\nInput=99\r\n");
    BoxAnswerer ok(QMessageBox::Ok);
    auto form = startMainWindow(folder);
    EXPECT_EQ(ok.seen(), 1);
    EXPECT_EQ(ok.objectName(), "captureOpenFailure");
    EXPECT_EQ(ok.text(),
              QString::fromUtf8("録音デバイスをオープンできないためプログラムの実行ができません\n"
                                "デバイスが使用中か録音フォーマットに対応していない可能性があります"));
    EXPECT_EQ(ok.buttonCount(), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->capture.isOpen());
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : --------"));
}

int frameNumberShown(QWidget* form) {
    static const QRegularExpression frame(QStringLiteral("^Frame : (\\d+)$"));
    const QRegularExpressionMatch m = frame.match(labelText(form, "Label12"));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(LiveCapture, SynthesisedSondeIsDecodedFromTheSoundServer) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PULSE_SERVER")) << "run through with_pulse.sh";
    ProgramFolder folder;

    // The remapped input, by its position in Qt's list (Input k is entry k - 1).
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    qsizetype index = -1;
    for (qsizetype i = 0; i < inputs.size(); ++i)
        if (inputs[i].id() == QByteArrayLiteral("nimbo_in")) index = i;
    ASSERT_GE(index, 0) << "the sound server lists no nimbo_in";
    folder.writeIni(QStringLiteral("[Wave]\r\nInput=%1\r\n").arg(index + 1).toUtf8());

    const QString wav = folder.path(QStringLiteral("sonde.wav"));
    QProcess synth;
    synth.start(QStringLiteral(NIMBO_SYNTH_EXE),
                {"-n", "20", "--serial", "N1234567", "--first-piece", "31", "-o", wav});
    ASSERT_TRUE(synth.waitForFinished(20000));
    ASSERT_EQ(synth.exitCode(), 0) << synth.readAllStandardError().toStdString();

    auto form = startMainWindow(folder);
    ASSERT_TRUE(form->capture.isOpen());

    QProcess player;
    player.start(QStringLiteral("paplay"), {"--device=nimbo_sink", wav});
    ASSERT_TRUE(player.waitForStarted(5000));

    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return labelText(form.get(), "Label2") == "Serial Number : N1234567"; }, 15000))
        << labelText(form.get(), "Label2").toStdString();

    // A new sonde resets the display outside batch mode, which puts "Scroll" down.
    EXPECT_TRUE(form->findChild<QAbstractButton*>("SpeedButton3")->isChecked());

    // Frame numbers go up, one a second.
    std::vector<int> seen;
    const bool advancing = QTest::qWaitFor(
        [&] {
            const int n = frameNumberShown(form.get());
            if (n >= 0 && (seen.empty() || n != seen.back())) seen.push_back(n);
            return seen.size() >= 4;
        },
        8000);
    ASSERT_TRUE(advancing) << seen.size() << " frame numbers seen";
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], seen[i - 1] + 1);

    // The channel readouts carry numbers and the dot lit green for a good frame.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Temp  : -?\\d+$"))
                    .match(labelText(form.get(), "Label3"))
                    .hasMatch())
        << labelText(form.get(), "Label3").toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^RefL2 : -?\\d+$"))
                    .match(labelText(form.get(), "Label10"))
                    .hasMatch());

    // Piece 0 of the calibration table, in the second frame, carries the frequency.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TxFreq : 4\\d\\d\\.\\d\\d MHz$"))
                    .match(labelText(form.get(), "Label50"))
                    .hasMatch())
        << labelText(form.get(), "Label50").toStdString();

    // Paused, the device delivers nothing and the readout stands still; resumed, it goes on.
    form->capture.pause();
    QTest::qWait(400);
    const int pausedAt = frameNumberShown(form.get());
    QTest::qWait(1600);
    EXPECT_EQ(frameNumberShown(form.get()), pausedAt);
    form->capture.resume();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frameNumberShown(form.get()) > pausedAt; }, 3000));

    // "Cal Reset" blanks the readout; the next good frame brings the sonde back.
    form->findChild<QAbstractButton*>("SpeedButton5")->click();
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : --------"));
    EXPECT_EQ(labelText(form.get(), "Label12"), QStringLiteral("Frame : "));
    EXPECT_EQ(labelText(form.get(), "Label3"), QStringLiteral("Temp  : "));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return labelText(form.get(), "Label2") == "Serial Number : N1234567"; }, 3000));

    player.kill();
    player.waitForFinished(2000);
}

} // namespace
} // namespace nimbo::test
