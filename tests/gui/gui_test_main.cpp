// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry for the GUI tests: one application object for all of them, off screen on one
// screen of 1280 x 1024 (offscreen_screen.json) unless the caller chose a platform.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" NIMBO_OFFSCREEN_CONFIG);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("NIMBO"));
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
