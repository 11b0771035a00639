// SPDX-License-Identifier: GPL-3.0-or-later
// The input device dialog on the test sound server (rows: 0 the default, 1 nimbo_in,
// 2 nimbo_in2): what it opens with, what every close applies, and when it switches device.
#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTableWidget>

#include "capture/device_dialog.h"
#include "gui_fixture.h"

namespace nimbo::test {
namespace {

bool chosen(TForm9& dialog, const char* name) {
    return dialog.findChild<QAbstractButton*>(QLatin1String(name))->isChecked();
}

std::vector<int> checkedRows(TForm9& dialog) {
    std::vector<int> rows;
    auto* list = dialog.findChild<QTableWidget*>("ListView1");
    for (int r = 0; r < list->rowCount(); ++r)
        if (list->item(r, 0)->checkState() == Qt::Checked) rows.push_back(r);
    return rows;
}

// Clicks a row's text, or with `onBox` its check box.
void clickRow(TForm9& dialog, int row, bool onBox = false) {
    auto* list = dialog.findChild<QTableWidget*>("ListView1");
    const QRect cell = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      onBox ? QPoint(cell.left() + 8, cell.center().y()) : cell.center());
}

// What the dialog asked of the main window, in order, and what the main window would see.
struct Requests {
    Requests(TForm9& dialog, TForm10* notice) {
        QObject::connect(&dialog, &TForm9::closeCaptureRequested, [this, notice] {
            events.push_back("close");
            noticeShown = notice && notice->isVisible();
            sinceClose.start();
        });
        QObject::connect(&dialog, &TForm9::openCaptureRequested, [this](int row, QByteArray id) {
            events.push_back("open " + std::to_string(row) + " " + id.toStdString());
            pauseMs = sinceClose.elapsed();
        });
        QObject::connect(&dialog, &TForm9::signalSettingsChosen, [this](ReceiverSettings s) {
            events.push_back("signal " + std::to_string(s.DemodType) + std::to_string(s.InputCh) +
                             (s.SymbolInv ? "i" : "") + (s.Weak ? "w" : "") + (s.Iq ? "q" : "") +
                             (s.Sonde ? " sonde " + std::to_string(s.Sonde) : ""));
        });
    }
    std::vector<std::string> events;
    bool noticeShown = false;
    QElapsedTimer sinceClose;
    qint64 pauseMs = -1;
};

TEST(DeviceDialog, OpensWithTheSettingsAndEveryCloseAppliesWhatItShows) {
    struct Case {
        int input;
        ReceiverSettings loaded;
        std::vector<int> checked;
        const char* signalType; // the radio button chosen in "Signal type"
        bool invertUsable, rightChosen;
        const char* applied;
    };
    const Case cases[] = {
        {1, {1, 0, true}, {1}, "RadioButton2", false, false, "signal 10i"}, // greyed, tick kept
        {0, {7, 1, false}, {0}, "RadioButton1", true, true, "signal 01"},   // 7 shows FM Det
        {0, {2, 0, false}, {0}, "RadioButton1", true, false, "signal 00"},  // as the chain reads 2
        {2, {-1, 5, true}, {2}, "RadioButton1", true, false, "signal 00i"},
        {99, {0, 0, false}, {}, "RadioButton1", true, false, "signal 00"}, // a row it does not have
        {0, {0, 0, false, true}, {0}, "RadioButton1", true, false, "signal 00w"}, // weak receiver
        // I/Q: the type, channel and inversion under it come back as they were.
        {0, {1, 1, true, false, true}, {0}, "RadioButton5", false, true, "signal 11iq"},
        {0, {0, 0, false, true, true}, {0}, "RadioButton5", false, false, "signal 00wq"},
    };
    for (const Case& c : cases) {
        for (bool escape : {false, true}) {
            TForm9 dialog(nullptr, c.input, c.loaded);
            Requests asked(dialog, nullptr);
            dialog.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            EXPECT_EQ(checkedRows(dialog), c.checked) << c.applied;
            for (const char* type : {"RadioButton1", "RadioButton2", "RadioButton5"})
                EXPECT_EQ(chosen(dialog, type), std::string_view(type) == c.signalType)
                    << c.applied << " " << type;
            auto* invert = dialog.findChild<QCheckBox*>("CheckBox1");
            EXPECT_EQ(invert->isEnabled(), c.invertUsable) << c.applied;
            EXPECT_EQ(invert->isChecked(), c.loaded.SymbolInv) << c.applied;
            EXPECT_EQ(chosen(dialog, "RadioButton4"), c.rightChosen) << c.applied;
            // Closed without touching the list: no device switch, the signal applied.
            escape ? QTest::keyClick(&dialog, Qt::Key_Escape) : void(dialog.close());
            EXPECT_FALSE(dialog.isVisible());
            EXPECT_EQ(asked.events, std::vector<std::string>{c.applied});
        }
    }
}

// I/Q sets the channel and inversion aside; FM Det or IF, the last chosen, stays for when it
// is switched off again.
TEST(DeviceDialog, IqChoiceSetsTheChannelAside) {
    struct Case {
        ReceiverSettings loaded;
        std::vector<const char*> clicks;
        bool channelUsable, invertUsable;
        const char* applied;
    };
    const Case cases[] = {
        {{1, 1, false, false, true}, {}, false, false, "signal 11q"},
        {{0, 1, true}, {"RadioButton5"}, false, false, "signal 01iq"},
        {{0, 1, true}, {"RadioButton2", "RadioButton5"}, false, false, "signal 11iq"},
        {{1, 0, false}, {"RadioButton1", "RadioButton5"}, false, false, "signal 00q"},
        {{0, 1, true}, {"RadioButton5", "RadioButton1"}, true, true, "signal 01i"},
        {{1, 0, false, false, true}, {"RadioButton2"}, true, false, "signal 10"},
        {{1, 0, false, false, true}, {"RadioButton1"}, true, true, "signal 00"},
        // The sonde: RS41 leaves the signal controls as they are; only 1 is the RS41.
        {{0, 0, false, false, false, 1}, {}, true, true, "signal 00 sonde 1"},
        {{1, 0, false, true, false}, {"RadioButton7"}, true, false, "signal 10w sonde 1"},
        {{0, 0, true, false, true, 1}, {"RadioButton6"}, false, false, "signal 00iq"},
        {{0, 0, false, false, false, 2}, {}, true, true, "signal 00"},
    };
    for (const Case& c : cases) {
        TForm9 dialog(nullptr, 0, c.loaded);
        Requests asked(dialog, nullptr);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        for (const char* name : c.clicks)
            dialog.findChild<QAbstractButton*>(name)->click();
        for (const char* channel : {"RadioButton3", "RadioButton4"})
            EXPECT_EQ(dialog.findChild<QAbstractButton*>(channel)->isEnabled(), c.channelUsable)
                << c.applied << " " << channel;
        EXPECT_EQ(dialog.findChild<QCheckBox*>("CheckBox1")->isEnabled(), c.invertUsable)
            << c.applied;
        // The RS41 has one receiver: the weak-signal one.
        EXPECT_EQ(dialog.findChild<QCheckBox*>("CheckBox2")->isEnabled(),
                  std::string_view(c.applied).find("sonde 1") == std::string_view::npos)
            << c.applied;
        dialog.close();
        EXPECT_EQ(asked.events, std::vector<std::string>{c.applied});
    }
}

// The I/Q row added below "Signal type": every caption whole, nothing on top of another.
TEST(DeviceDialog, ControlsFitWithoutOverlapping) {
    TForm9 dialog(nullptr, 0, {});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* iq = dialog.findChild<QAbstractButton*>("RadioButton5");
    ASSERT_NE(iq, nullptr);
    EXPECT_EQ(iq->text(), QStringLiteral("I/Q (L = I, R = Q)"));
    EXPECT_EQ(iq->parentWidget()->objectName(), QStringLiteral("GroupBox1"));
    std::vector<QWidget*> placed;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        const bool own = w->parentWidget() == &dialog ||
                         w->parentWidget()->objectName().startsWith(QStringLiteral("GroupBox"));
        if (!own || w->objectName().isEmpty()) continue;
        placed.push_back(w);
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
            << w->objectName().toStdString();
    }
    // The two sized for this row: the new caption and the weak receiver's, now narrower.
    for (const char* name :
         {"RadioButton5", "CheckBox2", "Label1", "RadioButton6", "RadioButton7"}) {
        auto* w = dialog.findChild<QWidget*>(name);
        EXPECT_GE(w->width(), w->sizeHint().width()) << name;
    }
    EXPECT_GE(placed.size(), 14u);
    for (QWidget* a : placed)
        for (QWidget* b : placed)
            if (a < b && a->parentWidget() == b->parentWidget()) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
            }
}

TEST(DeviceDialog, CheckMarkFollowsTheSelectionAndOnlyAnotherRowSwitches) {
    TForm9 dialog(nullptr, 1, {});
    TForm10 notice(&dialog);
    dialog.setChangeNotice(&notice);
    Requests asked(dialog, &notice);
    const auto closeAfter = [&](auto choose) {
        asked.events.clear();
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        choose();
        dialog.close();
    };

    closeAfter([&] {
        clickRow(dialog, 2);
        EXPECT_EQ(checkedRows(dialog), std::vector<int>{2});
        clickRow(dialog, 0, true); // the box chooses the row; it does not toggle on its own
        EXPECT_EQ(checkedRows(dialog), std::vector<int>{0});
        clickRow(dialog, 0, true);
        EXPECT_EQ(checkedRows(dialog), std::vector<int>{0});
        clickRow(dialog, 1); // back on the row in use
        dialog.findChild<QAbstractButton*>("RadioButton2")->click();
        EXPECT_FALSE(dialog.findChild<QCheckBox*>("CheckBox1")->isEnabled());
    });
    EXPECT_EQ(asked.events, std::vector<std::string>{"signal 10"});

    // Another row: the notice, close, half a second, that row's device, then the signal.
    closeAfter([&] { clickRow(dialog, 2); });
    EXPECT_EQ(asked.events, (std::vector<std::string>{"close", "open 2 nimbo_in2", "signal 10"}));
    EXPECT_TRUE(asked.noticeShown);
    EXPECT_GE(asked.pauseMs, 500);
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(checkedRows(dialog), std::vector<int>{2});

    closeAfter([] {}); // row 2, still selected, is now the one in use
    EXPECT_EQ(asked.events, std::vector<std::string>{"signal 10"});
    closeAfter([&] { clickRow(dialog, 0); }); // the default follows the system: no id
    EXPECT_EQ(asked.events, (std::vector<std::string>{"close", "open 0 ", "signal 10"}));
}

// Under a window manager (with_wm.sh), which frames the dialog only once it is shown: the
// first opening lands centred on the main window as every later one does.
TEST(DeviceDialogPlacement, FirstOpeningLandsWhereLaterOnesDo) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        !qEnvironmentVariableIsEmpty("NIMBO_BARE_X"))
        GTEST_SKIP() << "needs a window manager (with_wm.sh)";
    QWidget main;
    main.setGeometry(200, 150, 915, 700);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QTest::qWait(300);
    TForm9 dialog(&main, 0, ReceiverSettings{});
    std::vector<QPoint> places;
    for (int opening = 0; opening < 3; ++opening) {
        dialog.setWindowModality(Qt::ApplicationModal); // as the main window opens it
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(300);
        places.push_back(dialog.frameGeometry().topLeft());
        dialog.close();
        QTest::qWait(100);
    }
    const QRect outer = main.frameGeometry(), own = dialog.frameGeometry();
    const QPoint centred(outer.left() + outer.width() / 2 - own.width() / 2,
                         outer.top() + outer.height() / 2 - own.height() / 2);
    for (int opening = 0; opening < 3; ++opening)
        EXPECT_EQ(places[opening], centred) << "opening " << opening;
}

} // namespace
} // namespace nimbo::test
