// SPDX-License-Identifier: GPL-3.0-or-later
// Audio recordings replayed in the main window: told from raw frame logs by their content,
// decoded frame for frame as nimbo-decode decodes them (logs included), paced at real time
// and stopped with the progress window, and a broken recording reported.
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QUrl>
#include <nlohmann/json.hpp>
#include <sndfile.h>
#include <string>
#include <vector>

#include "app/audio_replay.h"
#include "app/command_line.h"
#include "display/import_progress.h"
#include "gui_fixture.h"
#include "tests/rs41_real_frame.h"

namespace nimbo::test {
namespace {

void runTool(const char* exe, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(QString::fromUtf8(exe), args);
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    if (out) *out = p.readAllStandardOutput();
}

void synthesise(const QString& wav, const QStringList& extra) {
    runTool(NIMBO_SYNTH_EXE, QStringList{"--serial", "N1234567", "-o", wav} + extra);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The WAV's samples again as FLAC, written by libsndfile.
void wavToFlac(const QString& wav, const QString& flac) {
    SF_INFO in{};
    SNDFILE* src = sf_open(QFile::encodeName(wav).constData(), SFM_READ, &in);
    ASSERT_NE(src, nullptr);
    SF_INFO out = in;
    out.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* dst = sf_open(QFile::encodeName(flac).constData(), SFM_WRITE, &out);
    ASSERT_NE(dst, nullptr);
    std::vector<short> buf(4096 * in.channels);
    for (sf_count_t n; (n = sf_readf_short(src, buf.data(), 4096)) > 0;)
        sf_writef_short(dst, buf.data(), n);
    sf_close(dst);
    sf_close(src);
}

class OpenRecorder final : public TForm1 {
  public:
    using TForm1::TForm1;
    void importLog(const QString& path) override { taken << QStringLiteral("import ") + path; }
    void replayAudio(const QString& path) override { taken << QStringLiteral("replay ") + path; }
    QStringList taken;
};

TEST(ReplayDrop, AudioIsToldFromARawLogByContentNotName) {
    ProgramFolder folder;
    const QString wav = folder.path("flight.wav");
    synthesise(wav, {"--frames", "2"});
    const QByteArray wavBytes = readFile(wav);
    wavToFlac(wav, folder.path("flight.flac"));
    // One raw log line: 220 bytes in hexadecimal, CR LF.
    QByteArray logLine;
    for (int i = 0; i < 220; ++i)
        logLine += (i ? " " : "") + QByteArray("2A");
    logLine += "\r\n";

    struct Case {
        const char* name;
        QByteArray content;
        const char* taken;
    };
    const Case cases[] = {
        {"flight.wav", wavBytes, "replay"},
        {"wav-renamed.txt", wavBytes, "replay"},
        {"flight.flac", readFile(folder.path("flight.flac")), "replay"},
        {"flac-renamed.log", readFile(folder.path("flight.flac")), "replay"},
        {"N1234567.txt", logLine, "import"},
        {"log-renamed.wav", logLine, "import"},
        {"log-renamed.flac", logLine + logLine, "import"},
        {"empty.wav", QByteArray(), "import"},
        {"riff-not-wave.wav", QByteArray("RIFF\x24\0\0\0AVI LIST", 16), "import"},
    };
    auto form = startMainWindow<OpenRecorder>(folder);
    for (const Case& c : cases) {
        const QString path = folder.path(QStringLiteral("drop/") + c.name);
        QDir().mkpath(folder.path("drop"));
        writeFile(path, c.content);
        form->taken.clear();
        dropFile(*form, path);
        EXPECT_EQ(form->taken, QStringList{QString::fromUtf8(c.taken) + u' ' + path}) << c.name;
    }
}

struct Seen {
    unsigned frame;
    std::string serial;
    bool sonde, sensor, gps;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << s.frame << ' ' << s.serial << ' ' << s.sonde << s.sensor << s.gps;
}

// The main window that notes every frame the decoder hands over.
class FrameRecorder final : public TForm1 {
  public:
    using TForm1::TForm1;
    std::vector<Seen> seen;

  private:
    void frameDecoded() override {
        const DecodedFrame& f = core().frame();
        seen.push_back(
            {f.frameNumber, f.serialNumber, f.sondeBlockOk, f.sensorBlockOk, f.gpsBlockOk});
    }
};

struct Windows {
    explicit Windows(TForm1& form) : progress(&form) { form.useImportWindow(&progress); }
    TForm4 progress;
};

TEST(Replay, DecodesAndLogsTheSameFramesAsNimboDecode) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nLogging=1\r\n");
    // A noisy flight: some frames fail their checks, in an order both must agree on.
    const QString wav = folder.path("flight.wav");
    synthesise(wav, {"--flight", "--frames", "45", "--ebn0", "15", "--seed", "7"});
    QByteArray json;
    const QString cliLogs = folder.path("cli");
    runTool(NIMBO_DECODE_EXE, {"--log-dir", cliLogs, wav}, &json);
    std::vector<Seen> expected;
    for (const QByteArray& line : json.split('\n')) {
        if (line.isEmpty()) continue;
        const auto j = nlohmann::json::parse(line.toStdString());
        expected.push_back({j["frame"].get<unsigned>(), j["serial"].get<std::string>(),
                            j["sonde_ok"].get<bool>(), j["sensor_ok"].get<bool>(),
                            j["gps_ok"].get<bool>()});
    }
    ASSERT_GE(expected.size(), 40u);
    const auto failed = std::count_if(expected.begin(), expected.end(), [](const Seen& s) {
        return !(s.sonde && s.sensor && s.gps);
    });
    EXPECT_GT(failed, 0) << "the noise should spoil a few blocks";

    auto form = startMainWindow<FrameRecorder>(folder);
    Windows windows(*form);
    form->setReplaySpeed(AudioReplay::kAsFastAsPossible);
    dropFile(*form, wav);
    EXPECT_TRUE(form->replaying());
    EXPECT_TRUE(windows.progress.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->replaying(); }, 60000));
    EXPECT_FALSE(windows.progress.isVisible());
    EXPECT_EQ(form->seen, expected);
    EXPECT_EQ(labelText(form.get(), "Label2"), QStringLiteral("Serial Number : N1234567"));

    // The LOG button was down: the same raw log as nimbo-decode's, line for line.
    const QByteArray raw = readFile(folder.path("raw/N1234567.txt"));
    EXPECT_FALSE(raw.isEmpty());
    EXPECT_EQ(raw, readFile(cliLogs + "/raw/N1234567.txt"));
    form->close();
}

// An RS41 recording (the real frame, sent every second) with the RS41 chosen in the file: the
// readout shows the frame's serial, number, position, motion and time, worked out by hand.
TEST(Replay, Rs41RecordingFillsThePositionReadout) {
    ProgramFolder folder;
    folder.writeIni("[Wave]\r\nSonde=1\r\n");
    const QString hex = folder.path("real.hex"), wav = folder.path("rs41.wav");
    writeFile(hex, QByteArray(rs41::test::kRealFrameHex.data(),
                              qsizetype(rs41::test::kRealFrameHex.size())));
    runTool(NIMBO_SYNTH_EXE,
            {"--sonde", "rs41", "--frame-file", hex, "-n", "6", "--ebn0", "15", "-o", wav});
    auto form = startMainWindow<FrameRecorder>(folder);
    Windows windows(*form);
    EXPECT_EQ(labelText(form.get(), "Label3"), QStringLiteral("Alt   : "));
    form->setReplaySpeed(AudioReplay::kAsFastAsPossible);
    dropFile(*form, wav);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->replaying(); }, 60000));
    EXPECT_TRUE(form->seen.empty()) << "no RS92 frame with the RS41 chosen";
    const struct {
        const char *label, *text;
    } expected[] = {
        {"Label2", "Serial Number : K1930293"},
        {"Label12", "Frame : 5910"},
        {"Label3", "Alt   : 28410 m"},
        {"Label4", "Lat   : 46.05026"},
        {"Label5", "Lon   : 16.11077"},
        {"Label6", "Head  : 273 deg"},
        {"Label7", "Speed : 13.6 m/s"},
        {"Label8", "Climb : -36.2 m/s"},
        {"Label9", "Sats  : 8"},
        {"Label10", "UTC   : 12:37:38"},
        {"Label50", "TxFreq : ---.-- MHz"}, // subframe 44 only: not known yet
    };
    for (const auto& e : expected)
        EXPECT_EQ(labelText(form.get(), e.label), QLatin1String(e.text)) << e.label;
    form->close();
}

TEST(Replay, RealTimeIsPacedAndTheProgressWindowStopsIt) {
    ProgramFolder folder;
    const QString wav = folder.path("flight.wav");
    synthesise(wav, {"--frames", "20"});
    auto form = startMainWindow<FrameRecorder>(folder);
    Windows windows(*form);
    form->openFile(wav);
    ASSERT_TRUE(form->replaying());
    EXPECT_EQ(labelText(&windows.progress, "Label1"), QStringLiteral("Replay 0 %"));
    QTest::qWait(2000);
    // Two seconds in (a little more on a busy machine): two or three frames, not twenty.
    EXPECT_LE(form->seen.size(), 3u);
    EXPECT_TRUE(form->replaying());
    windows.progress.close();
    EXPECT_FALSE(form->replaying());
    const std::size_t atStop = form->seen.size();
    QTest::qWait(1500);
    // Live capture (silence here) may complete the frame in hand, but nothing more comes.
    EXPECT_LE(form->seen.size(), atStop + 1);
    form->close();
}

TEST(Replay, UnreadableRecordingIsReportedAndLiveCaptureGoesOn) {
    ProgramFolder folder;
    // Audio by its first bytes, but no format chunk follows.
    const QString bad = folder.path("broken.txt");
    writeFile(bad, QByteArray("RIFF\x30\0\0\0WAVEjunkjunkjunkjunkjunkjunkjunk", 40));
    auto form = startMainWindow(folder);
    BoxAnswerer ok(QMessageBox::Ok);
    dropFile(*form, bad);
    EXPECT_EQ(ok.seen(), 1);
    EXPECT_EQ(ok.objectName(), "replayFailure");
    EXPECT_TRUE(ok.text().startsWith(QStringLiteral("Cannot replay ") + bad))
        << ok.text().toStdString();
    EXPECT_FALSE(form->replaying());
    EXPECT_TRUE(form->capture().isOpen());
    form->close();
}

TEST(ReplayCommandLine, OptionsAndTheirMistakes) {
    struct Case {
        QStringList args;
        QString file;
        int speed;
        bool error;
    };
    const Case cases[] = {
        {{}, "", 1, false},
        {{"--replay", "a.wav"}, "a.wav", 1, false},
        {{"--replay=b.flac", "--replay-speed", "20"}, "b.flac", 20, false},
        {{"--replay", "a.wav", "--replay-speed=max"}, "a.wav", 0, false},
        {{"--replay"}, "", 1, true},
        {{"--replay", "a.wav", "--replay-speed", "0"}, "a.wav", 0, true},
        {{"--replay", "a.wav", "--replay-speed", "fast"}, "a.wav", 0, true},
        {{"--replay", "a.wav", "--replay-speed", "10001"}, "a.wav", 10001, true},
        {{"--replay-speed", "5"}, "", 5, true},
        {{"flight.wav"}, "", 1, true},
    };
    for (const Case& c : cases) {
        const CommandLine got = parseCommandLine(c.args);
        EXPECT_EQ(!got.error.isEmpty(), c.error) << c.args.join(' ').toStdString();
        if (c.error) continue;
        EXPECT_EQ(got.replayFile, c.file) << c.args.join(' ').toStdString();
        EXPECT_EQ(got.replaySpeed, c.speed) << c.args.join(' ').toStdString();
    }
}

} // namespace
} // namespace nimbo::test
