// SPDX-License-Identifier: GPL-3.0-or-later
// Texts the main window shows, worked out below Qt: the replay's progress, the LOG button's
// tooltip and the memo line for a dropped file that gave nothing.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/window_texts.h"

namespace nimbo {
namespace {

TEST(WindowTexts, ProgressTooltipAndNothingRead) {
    const std::pair<int, const char*> progress[] = {
        {0, "Replay 0 %"}, {35, "Replay 35 %"}, {100, "Replay 100 %"}};
    for (const auto& [percent, text] : progress)
        EXPECT_STREQ(replayProgressText(percent).data(), text);

    EXPECT_EQ(logFailureTip("cannot write /f/raw/N1.txt: disk full", "/f"),
              "Logging failed: cannot write /f/raw/N1.txt: disk full\nLog folder: /f");

    // A folder as a file manager may hand it over, with its trailing separator.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("flights"));
    const std::string flights = QDir(dir.path()).filePath("flights").toStdString();
    EXPECT_EQ(nothingReadLine(flights + "/"), "Nothing read from flights: it is a folder");
    EXPECT_EQ(nothingReadLine("/dev/null"), "Nothing read from null: it is not a regular file");
}

} // namespace
} // namespace nimbo
