// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's placement under a real window manager (with_wm.sh: Xvfb and openbox),
// where frames are added after the first show: restarts after the "cannot open the device"
// box and a maximize-restore cycle must give back the placement the user left, and values
// that put the window off the screen or beyond its size are brought onto it.
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>

#include "gui_fixture.h"

namespace nimbo::test {
namespace {

bool underWindowManager() {
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           qEnvironmentVariableIsEmpty("NIMBO_BARE_X");
}

bool onBareX() {
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           !qEnvironmentVariableIsEmpty("NIMBO_BARE_X");
}

// The value of `key` in the settings file, or a text that names its absence.
QString iniValue(const ProgramFolder& folder, const char* key) {
    const QRegularExpression line(QStringLiteral("(?:^|\\n)%1=([^\\r\\n]*)").arg(key));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(folder.readIni()));
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<no %1>").arg(key);
}

// Starts the window as the program does, lets the window manager frame it, and closes it.
void startAndClose(const ProgramFolder& folder, const std::function<void(TForm1&)>& use = {}) {
    BoxAnswerer ok(QMessageBox::Ok);
    auto form = startMainWindow(folder);
    QTest::qWait(400);
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get(), 2000));
    if (use) use(*form);
    QTest::qWait(200);
    EXPECT_TRUE(form->close());
}

TEST(Placement, RestartsAfterTheDeviceErrorBoxKeepThePlacement) {
    if (!underWindowManager()) GTEST_SKIP() << "needs a window manager (with_wm.sh)";
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nMainTop=80\r\nMainLeft=100\r\nMainWidth=915\r\nMainHeight=700\r\n"
                    "[Wave]\r\nInput=99\r\n");
    for (int run = 1; run <= 3; ++run) {
        BoxAnswerer box(QMessageBox::Ok);
        startAndClose(folder, [&](TForm1& form) {
            EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(100, 80)) << "run " << run;
        });
        EXPECT_EQ(iniValue(folder, "MainLeft"), "100") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainTop"), "80") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainWidth"), "915") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainHeight"), "700") << "run " << run;
    }
}

TEST(Placement, MaximizedStartThenRestoreKeepsTheSize) {
    if (!underWindowManager()) GTEST_SKIP() << "needs a window manager (with_wm.sh)";
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nMainTop=60\r\nMainLeft=50\r\nMainWidth=915\r\nMainHeight=700\r\n"
                    "MainMaxmum=1\r\n");
    for (int run = 1; run <= 2; ++run) {
        startAndClose(folder, [&](TForm1& form) {
            EXPECT_TRUE(form.isMaximized());
            form.showNormal();
            QTest::qWait(400);
            form.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&form, 2000));
            EXPECT_EQ(form.frameGeometry(), QRect(50, 60, 915, 700)) << "run " << run;
        });
        EXPECT_EQ(iniValue(folder, "MainWidth"), "915") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainHeight"), "700") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainLeft"), "50") << "run " << run;
        EXPECT_EQ(iniValue(folder, "MainTop"), "60") << "run " << run;
        folder.writeIni(folder.readIni().replace("MainMaxmum=0", "MainMaxmum=1"));
    }
}

TEST(Placement, ValuesOffTheScreenOrBeyondItsSizeAreBroughtOntoIt) {
    if (!underWindowManager()) GTEST_SKIP() << "needs a window manager (with_wm.sh)";
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* ini : {
             "MainTop=0\r\nMainLeft=99999999\r\nMainWidth=100000\r\nMainHeight=700\r\n",
             "MainTop=-5000\r\nMainLeft=-5000\r\nMainWidth=915\r\nMainHeight=100000\r\n",
             "MainTop=2147483647\r\nMainLeft=2147483647\r\nMainWidth=2147483647\r\n"
             "MainHeight=-2147483648\r\n",
         }) {
        ProgramFolder folder;
        folder.writeIni(QByteArray("[Form]\r\n") + ini);
        startAndClose(folder, [&](TForm1& form) {
            const QRect outer = form.frameGeometry();
            EXPECT_TRUE(screen.contains(outer)) << ini;
            EXPECT_GE(outer.width(), 915) << ini;
            EXPECT_GE(outer.height(), 700) << ini;
        });
        const QRect saved(iniValue(folder, "MainLeft").toInt(), iniValue(folder, "MainTop").toInt(),
                          iniValue(folder, "MainWidth").toInt(),
                          iniValue(folder, "MainHeight").toInt());
        EXPECT_TRUE(screen.contains(saved)) << ini;
    }
}

// Without a window manager no frame comes: once that is clear, the window's own place and
// size are remembered and saved like under a window manager.
TEST(Placement, WithoutWindowManagerTheUsersPlacementIsSaved) {
    if (!onBareX()) GTEST_SKIP() << "needs X without a window manager (with_wm.sh --bare)";
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nMainTop=80\r\nMainLeft=100\r\n");
    startAndClose(folder, [&](TForm1& form) {
        EXPECT_EQ(form.frameGeometry(), QRect(100, 80, 915, 700));
        QTest::qWait(TForm1::kNoFrameAfterMs);
        form.setGeometry(200, 150, 1000, 750);
        QTest::qWait(200);
        QEvent activation(QEvent::ActivationChange);
        QApplication::sendEvent(&form, &activation);
        form.showMaximized();
        QTest::qWait(200);
    });
    for (const char* line : {"MainLeft=200", "MainTop=150", "MainWidth=1000", "MainHeight=750",
                             "MainMaxmum=1"})
        EXPECT_TRUE(folder.readIni().contains(line)) << line << '\n' << folder.readIni().data();
}

} // namespace
} // namespace nimbo::test
