// SPDX-License-Identifier: GPL-3.0-or-later
// The settings as the main window takes them at start and gives them back at close.
// (The INI layer itself has its own tests.)
#include <QAbstractButton>
#include <QDir>
#include <QFileDevice>
#include <QRegularExpression>

#include "gui_fixture.h"

namespace nimbo::test {
namespace {

// The file's lines without their line ends.
QStringList iniLines(const ProgramFolder& folder) {
    return QString::fromUtf8(folder.readIni())
        .split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
}

void closeWindow(TForm1& form) {
    EXPECT_TRUE(form.close());
}

TEST(WindowSettings, FirstCloseWritesAllKeysInOrder) {
    ProgramFolder folder;
    auto form = startMainWindow(folder);
    closeWindow(*form);
    const QStringList expected = {
        "[Form]",      "MainTop=0", "MainLeft=0", "MainWidth=915", "MainHeight=700", "MainMaxmum=0",
        "GraphScr=5",  "Logging=0", "[Wave]",     "Input=0",       "DemodType=0",    "InputCh=0",
        "SymbolInv=0", "[Set]",     "Press1=6",   "Press2=30",     "Press3=31",      "Press4=32",
        "Press5=33",   "Press6=38", "Temp1=6",    "Temp2=25",      "Temp3=26",       "Temp4=27",
        "Temp5=28",    "Temp6=29",  "Humd1=6",    "Humd2=12",      "Humd3=13",       "Humd4=14",
        "Humd5=15",    "Humd6=16",
    };
    EXPECT_EQ(iniLines(folder), expected);
}

TEST(WindowSettings, ValuesComeBackAfterCloseAndReopen) {
    ProgramFolder folder;
    folder.writeIni(
        "[form]\r\nmaintop=0x20\r\nMAINLEFT=48\r\nMainWidth=1000\r\nMainHeight=0x2EE\r\n"
        "GraphScr=0x0A\r\n[WAVE]\r\ninput=1\r\nDemodType=1\r\nInputCh=1\r\n"
        "SymbolInv=1\r\nIQ=1\r\n[Set]\r\nPress1=0x10\r\nHumd6=99\r\n");
    {
        auto form = startMainWindow(folder);
        EXPECT_EQ(form->frameGeometry(), QRect(48, 32, 1000, 750));
        EXPECT_EQ(labelText(form.get(), "Label1"), QStringLiteral("11 sec"));
        EXPECT_EQ(form->input(), 1);
        EXPECT_EQ(form->core().settings().DemodType, 1);
        EXPECT_EQ(form->core().settings().InputCh, 1);
        EXPECT_TRUE(form->core().settings().SymbolInv);
        EXPECT_TRUE(form->core().settings().Iq);
        EXPECT_EQ(form->calSelections().press[0], 16);
        EXPECT_EQ(form->calSelections().humd[5], 99);
        EXPECT_EQ(form->calSelections().temp[0], 6); // missing key: its default
        closeWindow(*form);
    }
    auto again = startMainWindow(folder);
    EXPECT_EQ(again->frameGeometry(), QRect(48, 32, 1000, 750));
    EXPECT_EQ(labelText(again.get(), "Label1"), QStringLiteral("11 sec"));
    EXPECT_EQ(again->core().settings().InputCh, 1);
    EXPECT_TRUE(again->core().settings().Iq);
    EXPECT_EQ(again->calSelections().press[0], 16);
    EXPECT_EQ(again->calSelections().humd[5], 99);
    const QStringList lines = iniLines(folder);
    EXPECT_TRUE(lines.contains("GraphScr=10"));
    EXPECT_TRUE(lines.contains("maintop=32")); // the key keeps its spelling
}

TEST(WindowSettings, MaximizedWindowKeepsItsNormalPlacement) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nMainTop=40\r\nMainLeft=30\r\nMainWidth=1000\r\nMainHeight=750\r\n"
                    "MainMaxmum=1\r\n");
    {
        auto form = startMainWindow(folder);
        EXPECT_TRUE(form->isMaximized());
        closeWindow(*form);
    }
    // Never active in the normal state: the placement is written back unchanged.
    for (const char* line :
         {"MainTop=40", "MainLeft=30", "MainWidth=1000", "MainHeight=750", "MainMaxmum=1"})
        EXPECT_TRUE(iniLines(folder).contains(line)) << line;

    QRect normal;
    {
        auto form = startMainWindow(folder);
        form->showNormal();
        QCoreApplication::processEvents();
        // Restoring gives the stored outer placement.
        EXPECT_EQ(form->frameGeometry(), QRect(30, 40, 1000, 750));
        form->move(60, 70);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        // Activation remembers the normal placement; a later move while active does not.
        QEvent activation(QEvent::ActivationChange);
        QApplication::sendEvent(form.get(), &activation);
        normal = form->frameGeometry();
        EXPECT_EQ(normal, QRect(60, 70, 1000, 750));
        form->move(5, 5);
        form->showMaximized();
        QCoreApplication::processEvents();
        closeWindow(*form);
    }
    for (const char* line :
         {"MainTop=70", "MainLeft=60", "MainWidth=1000", "MainHeight=750", "MainMaxmum=1"})
        EXPECT_TRUE(iniLines(folder).contains(line)) << line;

    auto form = startMainWindow(folder);
    EXPECT_TRUE(form->isMaximized());
    form->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->frameGeometry(), normal);
}

TEST(WindowSettings, LoggingOnStartsWithTheButtonDownAndWritesNothing) {
    ProgramFolder folder;
    folder.writeIni("[Form]\r\nLogging=1\r\n");
    auto form = startMainWindow(folder);
    EXPECT_TRUE(form->findChild<QAbstractButton*>("SpeedButton1")->isChecked());
    EXPECT_TRUE(form->core().loggingOn());
    const QStringList made =
        QDir(form->programFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_TRUE(made.isEmpty()) << made.join(u' ').toStdString();
    // A click takes it up, and the close stores that.
    form->findChild<QAbstractButton*>("SpeedButton1")->click();
    EXPECT_FALSE(form->core().loggingOn());
    closeWindow(*form);
    EXPECT_TRUE(iniLines(folder).contains("Logging=0"));
}

TEST(WindowSettings, UnwritableFileIsReportedAndTheUserDecides) {
    ProgramFolder folder;
    // A folder where the settings file should be: no file can replace it.
    ASSERT_TRUE(QDir().mkdir(folder.ini()));
    auto form = startMainWindow(folder);
    {
        BoxAnswerer cancel(QMessageBox::Cancel);
        EXPECT_FALSE(form->close());
        EXPECT_EQ(cancel.seen(), 1);
        EXPECT_EQ(cancel.objectName(), "settingsSaveFailure");
        EXPECT_TRUE(cancel.text().contains(folder.ini())) << cancel.text().toStdString();
        EXPECT_TRUE(form->isVisible());
    }
    BoxAnswerer ok(QMessageBox::Ok);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(ok.seen(), 1);
}

} // namespace
} // namespace nimbo::test
