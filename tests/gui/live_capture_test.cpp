// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real sound server (started by with_pulse.sh): a synthesised sonde
// played into the null sink is decoded live from the remapped input; an input that does
// not exist is reported and the window still comes up; a flight logged live gives the
// same files as nimbo-decode gives from the recording.
#include <QAbstractButton>
#include <QAudioDevice>
#include <QDir>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>

#include "gui_fixture.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

TEST(LiveCapture, MissingDeviceIsReportedAndTheWindowStillComesUp) {
    ProgramFolder folder;
    folder.writeIni("[Wave]\r\nInput=99\r\n");
    BoxAnswerer ok(QMessageBox::Ok);
    auto form = startMainWindow(folder);
    EXPECT_EQ(ok.seen(), 1);
    EXPECT_EQ(ok.objectName(), "captureOpenFailure");
    EXPECT_EQ(ok.text(), QString::fromUtf8(
                             "録音デバイスをオープンできないためプログラムの実行ができません\n"
                             "デバイスが使用中か録音フォーマットに対応していない可能性があります"));
    EXPECT_EQ(ok.buttonCount(), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->capture().isOpen());
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : --------"));
}

int frameNumberShown(QWidget* form) {
    static const QRegularExpression frame(QStringLiteral("^Frame : (\\d+)$"));
    const QRegularExpressionMatch m = frame.match(labelText(form, "Label12"));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The Input setting of the server's remapped source: its position in Qt's list plus 1.
int remappedInput() {
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (qsizetype i = 0; i < inputs.size(); ++i)
        if (inputs[i].id() == QByteArrayLiteral("nimbo_in")) return int(i) + 1;
    return -1;
}

TEST(LiveCapture, SynthesisedSondeIsDecodedFromTheSoundServer) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PULSE_SERVER")) << "run through with_pulse.sh";
    ProgramFolder folder;

    const int input = remappedInput();
    ASSERT_GE(input, 1) << "the sound server lists no nimbo_in";
    folder.writeIni(QStringLiteral("[Wave]\r\nInput=%1\r\n").arg(input).toUtf8());

    const QString wav = folder.path(QStringLiteral("sonde.wav"));
    QProcess synth;
    synth.start(QStringLiteral(NIMBO_SYNTH_EXE),
                {"-n", "20", "--serial", "N1234567", "--first-piece", "31", "-o", wav});
    ASSERT_TRUE(synth.waitForFinished(20000));
    ASSERT_EQ(synth.exitCode(), 0) << synth.readAllStandardError().toStdString();

    auto form = startMainWindow(folder);
    ASSERT_TRUE(form->capture().isOpen());

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
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], seen[i - 1] + 1);

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
    form->capture().pause();
    QTest::qWait(400);
    const int pausedAt = frameNumberShown(form.get());
    QTest::qWait(1600);
    EXPECT_EQ(frameNumberShown(form.get()), pausedAt);
    form->capture().resume();
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

namespace nimbo::test {
namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The lines of a file, each with its CR LF.
QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = bytes.indexOf("\r\n", start)) >= 0; start = end + 2)
        lines << bytes.mid(start, end + 2 - start);
    if (start < bytes.size()) lines << bytes.mid(start); // an unterminated tail shows up
    return lines;
}

QByteArray joined(const QList<QByteArray>& lines, qsizetype from) {
    QByteArray all;
    for (qsizetype i = from; i < lines.size(); ++i)
        all += lines[i];
    return all;
}

QByteArray hexLine(const uint8_t* bytes, int count) {
    QByteArray line;
    for (int i = 0; i < count; ++i) {
        if (i) line += ',';
        line += QByteArray::number(bytes[i], 16).rightJustified(2, '0').toUpper();
    }
    return line + "\r\n";
}

// A flight of 42 frames with logging on, heard live through the sound server, against
// nimbo-decode --log-dir on the same recording. The two take the signal from the same
// samples except at the start: the live input begins wherever the server's stream
// begins, so a frame or two at the very start may be missing from the live logs (never
// in practice: the window listens before the player starts, and both lose the same first
// frame after the idle lead-in, heard while the receiver still finds its bytes). Every
// later frame must be there, so the live raw and sensor logs must equal the tail of the
// decoder's from the live log's first frame on, byte for byte; a frame lost or changed
// anywhere after that fails the comparison. Each calibration file is written once, from
// the complete table, and must be identical whole.
TEST(LiveLogging, FlightLogsEqualTheFileDecoderOnTheSameRecording) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PULSE_SERVER")) << "run through with_pulse.sh";
    ProgramFolder folder;
    const int input = remappedInput();
    ASSERT_GE(input, 1) << "the sound server lists no nimbo_in";
    folder.writeIni(
        QStringLiteral("[Form]\r\nLogging=1\r\n[Wave]\r\nInput=%1\r\n").arg(input).toUtf8());

    synth::SynthOptions o;
    o.frames = 42;
    o.serial = "N4204200";
    o.firstFrameNumber = 500;
    o.firstCalIndex = 0;
    o.leadInSeconds = 1.0;
    const QString wav = folder.path(QStringLiteral("flight.wav"));
    QProcess synth;
    synth.start(QStringLiteral(NIMBO_SYNTH_EXE),
                {"-n", QString::number(o.frames), "--serial", QString::fromStdString(o.serial),
                 "--first-frame", QString::number(o.firstFrameNumber), "--first-piece",
                 QString::number(o.firstCalIndex), "--lead-in", "1", "-o", wav});
    ASSERT_TRUE(synth.waitForFinished(20000));
    ASSERT_EQ(synth.exitCode(), 0) << synth.readAllStandardError().toStdString();

    const QString fromFile = folder.path(QStringLiteral("decoded"));
    QProcess decoder;
    decoder.setStandardOutputFile(QProcess::nullDevice());
    decoder.start(QStringLiteral(NIMBO_DECODE_EXE), {"--log-dir", fromFile, wav});
    ASSERT_TRUE(decoder.waitForFinished(20000));
    ASSERT_EQ(decoder.exitCode(), 0) << decoder.readAllStandardError().toStdString();

    const QString live = QFileInfo(folder.exe()).absolutePath();
    const auto decoded = [&](const char* rel) { return fileBytes(fromFile + u'/' + rel); };
    const auto logged = [&](const char* rel) { return fileBytes(live + u'/' + rel); };
    const QList<QByteArray> fileRaw = linesOf(decoded("raw/N4204200.txt"));
    const QList<QByteArray> fileSens = linesOf(decoded("sens/N4204200.csv"));

    // The decoder's logs hold what was sent, every frame from the second on (the first
    // one out of the idle lead-in may be heard while the receiver still finds its bytes),
    // and the whole calibration table.
    const int firstLogged = o.frames - int(fileRaw.size());
    ASSERT_GE(firstLogged, 0);
    ASSERT_LE(firstLogged, 1);
    for (int n = firstLogged; n < o.frames; ++n) {
        const auto sent = synth::buildFrame(o, n);
        EXPECT_EQ(fileRaw[n - firstLogged], hexLine(sent.data(), int(sent.size())))
            << "frame " << n;
    }
    ASSERT_EQ(fileSens.size(), fileRaw.size() + 1);
    EXPECT_EQ(fileSens[0], "FrameNo,Temp,Humd1,Humd2,Ref,Ref,Press,Ref,Ref\r\n");
    EXPECT_TRUE(fileSens[1].startsWith(QByteArray::number(o.firstFrameNumber + firstLogged) + ','));
    const auto table = synth::calibrationTable(o);
    QByteArray calraw;
    for (int k = 0; k < synth::kCalPieces; ++k)
        calraw += hexLine(table.data() + 16 * k, 16);
    EXPECT_EQ(decoded("calraw/N4204200.txt"), calraw);
    EXPECT_EQ(linesOf(decoded("caldata/N4204200.txt")).size(), synth::kCalCoefficients);

    // Live: the window listens first, then the recording is played into the server.
    auto form = startMainWindow(folder);
    ASSERT_TRUE(form->capture().isOpen());
    ASSERT_TRUE(form->findChild<QAbstractButton*>("SpeedButton1")->isChecked());
    QProcess player;
    player.start(QStringLiteral("paplay"), {"--device=nimbo_sink", wav});
    ASSERT_TRUE(player.waitForStarted(5000));
    const QByteArray lastLine = fileRaw.last();
    const bool allLogged =
        QTest::qWaitFor([&] { return logged("raw/N4204200.txt").endsWith(lastLine); }, 60000);
    player.waitForFinished(5000);
    EXPECT_TRUE(allLogged) << "the last frame never reached the live raw log";

    const QList<QByteArray> liveRaw = linesOf(logged("raw/N4204200.txt"));
    ASSERT_FALSE(liveRaw.isEmpty());
    const qsizetype missing = fileRaw.indexOf(liveRaw.first());
    ASSERT_GE(missing, 0) << "the first live frame is not among the decoder's";
    EXPECT_LE(missing, 2) << "frames missing at the start of the live log";
    EXPECT_EQ(logged("raw/N4204200.txt"), joined(fileRaw, missing));
    EXPECT_EQ(logged("sens/N4204200.csv"), fileSens[0] + joined(fileSens, missing + 1));
    EXPECT_EQ(logged("calraw/N4204200.txt"), decoded("calraw/N4204200.txt"));
    EXPECT_EQ(logged("caldata/N4204200.txt"), decoded("caldata/N4204200.txt"));
    // Nothing else was written: one sonde, four files.
    for (const char* dir : {"raw", "sens", "calraw", "caldata"})
        EXPECT_EQ(QDir(live + u'/' + dir).entryList(QDir::Files).size(), 1) << dir;
    std::printf("live log: %lld of %lld decoded frames (missing at start: %lld)\n",
                static_cast<long long>(liveRaw.size()), static_cast<long long>(fileRaw.size()),
                static_cast<long long>(missing));
}

} // namespace
} // namespace nimbo::test
