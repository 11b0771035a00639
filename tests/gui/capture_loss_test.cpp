// SPDX-License-Identifier: GPL-3.0-or-later
// Capture through faults of the sound system, on the test sound server: the input source
// unplugged (its module unloaded) and plugged back, and the whole server killed and started
// again. The window must keep running, show that no audio comes, and decode again on its
// own once the device is back.
#include <QAudioDevice>
#include <QLabel>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

#include "gui_fixture.h"

namespace nimbo::test {
namespace {

QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(15000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int frameShown(QWidget* form) {
    static const QRegularExpression frame(QStringLiteral("^Frame : (\\d+)$"));
    const QRegularExpressionMatch m = frame.match(labelText(form, "Label12"));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool framesAdvance(QWidget* form, int timeoutMs) {
    const int from = frameShown(form);
    return QTest::qWaitFor([&] { return frameShown(form) > from && from >= 0; }, timeoutMs) ||
           (from < 0 && QTest::qWaitFor([&] { return frameShown(form) >= 0; }, timeoutMs));
}

QColor dotColour(QWidget* form) {
    return form->findChild<QLabel*>("Label11")->palette().color(QPalette::WindowText);
}

QString memoText(QWidget* form) {
    return form->findChild<QPlainTextEdit*>("Memo1")->toPlainText();
}

// A long sonde signal played into the sink behind nimbo_in, started once the window listens.
class Sonde {
  public:
    explicit Sonde(const ProgramFolder& folder) {
        const QString wav = folder.path(QStringLiteral("long.wav"));
        run(QStringLiteral(NIMBO_SYNTH_EXE), {"-n", "40", "--serial", "N7654321", "-o", wav});
        player_.start(QStringLiteral("paplay"), {"--device=nimbo_sink", wav});
        EXPECT_TRUE(player_.waitForStarted(5000));
    }
    ~Sonde() {
        player_.kill();
        player_.waitForFinished(2000);
    }

  private:
    QProcess player_;
};

// What the window shows while the device is gone, and that it goes back when it returns.
// With `holdMs`, the device stays away that long and nothing may be decoded meanwhile.
void expectLostThenBack(TForm1& form, const std::function<void()>& unplug,
                        const std::function<void()>& plugBack, int holdMs) {
    ASSERT_TRUE(framesAdvance(&form, 8000)) << labelText(&form, "Label12").toStdString();
    unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.capture().state() == Capture::State::Lost; },
                                Capture::kStallMs + 3000));
    auto* dot = form.findChild<QLabel*>("Label11");
    EXPECT_EQ(dot->text(), QString::fromUtf8("×"));
    EXPECT_EQ(dotColour(&form), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_TRUE(dot->toolTip().startsWith("Capture stopped")) << dot->toolTip().toStdString();
    EXPECT_TRUE(memoText(&form).contains("Capture stopped")) << memoText(&form).toStdString();
    // No frame comes while the device is away, and the window keeps serving events.
    const int frozen = frameShown(&form);
    if (holdMs > 0) {
        QTest::qWait(holdMs);
        EXPECT_EQ(frameShown(&form), frozen);
        EXPECT_EQ(form.capture().state(), Capture::State::Lost);
    }

    plugBack();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form.capture().state() == Capture::State::Running; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frameShown(&form) > frozen; }, 8000))
        << "no frame after the device came back";
    EXPECT_EQ(dot->text(), QString::fromUtf8("●"));
    EXPECT_TRUE(dot->toolTip().isEmpty());
    EXPECT_TRUE(memoText(&form).contains("Capture resumed"));
}

// A server that dies and is started again at once, as the desktop's service manager does.
// (Qt's sound layer reconnects once, 3 s after it lost the server; a server that is away
// longer than that stays lost to this process, see the README.)
TEST(CaptureLoss, KilledSoundServerIsShownAndCaptureResumesWhenItIsBack) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("NIMBO_PULSE_DIR")) << "run through with_pulse.sh";
    const QString dir = qEnvironmentVariable("NIMBO_PULSE_DIR");
    // First of the tests here: the server's default is still the source the sonde plays to.
    ASSERT_EQ(QMediaDevices::defaultAudioInput().id(), QByteArray("nimbo_in"));
    ProgramFolder folder;
    auto form = startMainWindow(folder); // the system default input
    ASSERT_EQ(form->capture().state(), Capture::State::Running);
    auto sonde = std::make_unique<Sonde>(folder);

    expectLostThenBack(
        *form,
        [&] {
            QFile pidFile(dir + "/pid");
            ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
            const pid_t server = pidFile.readAll().trimmed().toInt();
            ASSERT_GT(server, 0);
            ASSERT_EQ(::kill(server, SIGKILL), 0);
            sonde.reset(); // its player went with the server
            run(QStringLiteral(NIMBO_WITH_PULSE), {"--start", dir});
            sonde = std::make_unique<Sonde>(folder);
        },
        [] {}, 0);
}

TEST(CaptureLoss, UnpluggedSourceIsShownAndReopenedWhenItReturns) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PULSE_SERVER")) << "run through with_pulse.sh";
    ProgramFolder folder;
    folder.writeIni("[Wave]\r\nInput=1\r\n"); // nimbo_in, found later by its id
    auto form = startMainWindow(folder);
    ASSERT_EQ(form->capture().state(), Capture::State::Running);
    ASSERT_EQ(form->capture().deviceId(), QByteArray("nimbo_in"));
    Sonde sonde(folder);

    const QString module = QStringLiteral("module-remap-source");
    expectLostThenBack(
        *form,
        [&] {
            for (const QString& line : run("pactl", {"list", "short", "modules"}).split('\n'))
                if (line.contains(module) && line.contains("source_name=nimbo_in "))
                    run("pactl", {"unload-module", line.section('\t', 0, 0)});
        },
        [&] {
            // Back at the end of the list, after nimbo_in2.
            run("pactl",
                {"load-module", module, "source_name=nimbo_in", "master=nimbo_sink.monitor"});
        },
        1500);
    EXPECT_EQ(form->capture().deviceId(), QByteArray("nimbo_in"));
    EXPECT_EQ(form->input(), 2); // its row now
}

} // namespace
} // namespace nimbo::test
