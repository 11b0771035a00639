// SPDX-License-Identifier: GPL-3.0-or-later
// The LOG button when the logs cannot be written: a red dot and the reason in its
// tooltip while the failure lasts, no box in the way, decoding going on.
#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <vector>

#include "app/glyphs.h"
#include "feed_flight.h"
#include "gui_fixture.h"
#include "tools/synth/synth.h"

namespace nimbo::test {
namespace {

QImage picture(const QIcon& icon) {
    return icon.pixmap(kGlyphSize, kGlyphSize).toImage().convertToFormat(QImage::Format_ARGB32);
}

class LogFailureWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        form = startMainWindow(folder);
        form->CloseCapture();
        root = QFileInfo(folder.exe()).absolutePath();
        logButton = form->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"));
        ASSERT_NE(logButton, nullptr);
        logButton->click();
        ASSERT_TRUE(form->core().loggingOn());
    }

    // `frames` frames of a synthesised sonde, block by block, and silence to finish.
    void play(int frames, int firstFrame) {
        synth::SynthOptions o;
        o.frames = frames;
        o.leadInSeconds = 0.5;
        o.firstFrameNumber = firstFrame;
        feedFlight(*form, o);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    bool marked() const { return picture(logButton->icon()) == picture(loggingFailedGlyph()); }
    bool plain() const { return picture(logButton->icon()) == picture(loggingGlyph()); }

    ProgramFolder folder;
    std::unique_ptr<TForm1> form;
    QString root;
    QAbstractButton* logButton = nullptr;
};

TEST_F(LogFailureWindow, MarkAndTooltipWhileTheRawFolderIsBlocked) {
    ASSERT_NE(picture(loggingFailedGlyph()), picture(loggingGlyph()));
    EXPECT_TRUE(plain());
    EXPECT_TRUE(logButton->toolTip().isEmpty());
    {
        QFile blocker(root + "/raw");
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    play(3, 200);
    EXPECT_TRUE(marked());
    EXPECT_EQ(logButton->toolTip(), "Logging failed: cannot write " + root + "/raw/N1234567.txt: " +
                                        root + "/raw is not a folder\nLog folder: " + root);
    EXPECT_EQ(labelText(form.get(), "Label12"), "Frame : 202"); // decoding went on

    // Room again: the next logged frame clears the mark.
    ASSERT_TRUE(QFile::remove(root + "/raw"));
    play(2, 300);
    EXPECT_TRUE(plain());
    EXPECT_TRUE(logButton->toolTip().isEmpty());
    EXPECT_TRUE(QFileInfo(root + "/raw/N1234567.txt").size() >= 661);

    // A new failure marks it again; switching logging off takes the mark away.
    ASSERT_TRUE(QDir(root).rename("sens", "sens-away"));
    ASSERT_TRUE(QFile::link(root + "/nowhere", root + "/sens"));
    play(2, 400);
    EXPECT_TRUE(marked());
    EXPECT_TRUE(logButton->toolTip().contains(" is a link to nothing"));
    logButton->click();
    EXPECT_FALSE(form->core().loggingOn());
    EXPECT_TRUE(plain());
    EXPECT_TRUE(logButton->toolTip().isEmpty());
}

} // namespace
} // namespace nimbo::test
