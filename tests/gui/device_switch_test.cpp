// SPDX-License-Identifier: GPL-3.0-or-later
// A device change heard live on the test sound server: two sondes play on its two sources;
// choosing the second source in the dialog moves decoding to it, and a restart after the
// server's list of sources changed order still opens that source.
#include <QAbstractButton>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QTableWidget>

#include "capture/device_dialog.h"
#include "gui_fixture.h"

namespace nimbo::test {
namespace {

QString pactl(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("pactl"), arguments);
    EXPECT_TRUE(p.waitForFinished(5000)) << arguments.join(' ').toStdString();
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList inputIds() {
    QStringList ids;
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        ids << QString::fromUtf8(d.id());
    return ids;
}

// Takes the source `name` away and brings it back: the server numbers it anew, after the
// other source, and Qt lists the sources in that order.
void moveSourceToTheEnd(const QString& name, const QString& master) {
    const QString module = QStringLiteral("module-remap-source");
    for (const QString& line : pactl({"list", "short", "modules"}).split('\n'))
        if (line.contains(module) && line.contains("source_name=" + name + ' '))
            pactl({"unload-module", line.section('\t', 0, 0)});
    pactl({"load-module", module, "source_name=" + name, "master=" + master,
           "source_properties=device.description=Moved"});
}

QString synthesise(const ProgramFolder& folder, const char* serial) {
    const QString wav = folder.path(QLatin1String(serial) + ".wav");
    QProcess synth;
    synth.start(QStringLiteral(NIMBO_SYNTH_EXE), {"-n", "16", "--serial", serial, "-o", wav});
    EXPECT_TRUE(synth.waitForFinished(20000));
    EXPECT_EQ(synth.exitCode(), 0) << synth.readAllStandardError().toStdString();
    return wav;
}

bool showsSerial(TForm1& form, const char* serial) {
    const QString wanted = QStringLiteral("Serial Number : ") + QLatin1String(serial);
    return QTest::qWaitFor([&] { return labelText(&form, "Label2") == wanted; }, 6000);
}

TEST(DeviceSwitch, SecondSourceTakesOverLiveAndIsReopenedAfterTheOrderChanged) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PULSE_SERVER")) << "run through with_pulse.sh";
    ASSERT_EQ(inputIds(), (QStringList{"nimbo_in", "nimbo_in2"}));
    ProgramFolder folder;
    folder.writeIni("[Wave]\r\nInput=1\r\n");
    const QString first = synthesise(folder, "N1111111");
    const QString second = synthesise(folder, "N2222222");

    QProcess playerA, playerB;
    {
        auto form = startMainWindow(folder);
        TForm9 dialog(form.get(), form->input(), form->core().settings());
        TForm10 notice(&dialog);
        dialog.setChangeNotice(&notice);
        form->useDeviceDialog(&dialog);
        ASSERT_TRUE(form->capture().isOpen());

        playerA.start(QStringLiteral("paplay"), {"--device=nimbo_sink", first});
        playerB.start(QStringLiteral("paplay"), {"--device=nimbo_sink2", second});
        ASSERT_TRUE(playerA.waitForStarted(5000) && playerB.waitForStarted(5000));
        EXPECT_TRUE(showsSerial(*form, "N1111111"))
            << labelText(form.get(), "Label2").toStdString();

        form->findChild<QAbstractButton*>("SpeedButton2")->click();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* list = dialog.findChild<QTableWidget*>("ListView1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(2, 0)).center());
        dialog.close();
        EXPECT_EQ(form->input(), 2);
        EXPECT_TRUE(form->capture().isOpen());
        EXPECT_TRUE(showsSerial(*form, "N2222222"))
            << labelText(form.get(), "Label2").toStdString();
        EXPECT_TRUE(form->close());
    }
    EXPECT_TRUE(folder.readIni().contains("[Wave]\r\nInput=2\r\nDemodType=0\r\nInputCh=0\r\n"
                                          "SymbolInv=0\r\nInputId=nimbo_in2\r\n"));

    // nimbo_in2 is now first in the list: the saved row 2 names nimbo_in, the id nimbo_in2.
    moveSourceToTheEnd(QStringLiteral("nimbo_in"), QStringLiteral("nimbo_sink.monitor"));
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return inputIds() == QStringList{"nimbo_in2", "nimbo_in"};
        },
        5000))
        << inputIds().join(' ').toStdString();
    {
        auto form = startMainWindow(folder);
        EXPECT_EQ(form->input(), 1);
        ASSERT_TRUE(form->capture().isOpen());
        EXPECT_TRUE(showsSerial(*form, "N2222222"))
            << labelText(form.get(), "Label2").toStdString();
        TForm9 dialog(form.get(), form->input(), form->core().settings());
        auto* list = dialog.findChild<QTableWidget*>("ListView1");
        EXPECT_EQ(list->item(1, 0)->checkState(), Qt::Checked);
        EXPECT_EQ(list->item(1, 0)->text(), QStringLiteral("Receiver B"));
    }
    playerA.kill();
    playerB.kill();
    playerA.waitForFinished(2000);
    playerB.waitForFinished(2000);
}

} // namespace
} // namespace nimbo::test
