// SPDX-License-Identifier: GPL-3.0-or-later
// The data display as the program makes it: the window, what the "Data" button shows
// before any good frame, which frames it follows, and where its texts land on the map.
#include <QAbstractButton>
#include <QScrollArea>
#include <array>

#include "display/data_display.h"
#include "gui_fixture.h"
#include "tests/test_frame.h"

namespace nimbo::test {
namespace {

constexpr QRgb kSilver = 0xFFC0C0C0;

// The inside of cell i of the row whose top line is at `top`: right of the cell's left
// line, above the next row's line.
QImage cellInside(const QImage& map, int i, int top) {
    return map.copy(6 + 23 * i + 1, top + 1, 22, 13);
}

int silverPixels(const QImage& map, QRect r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += map.pixel(x, y) == kSilver;
    return n;
}

class DataDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        form = startMainWindow(folder);
        form->CloseCapture();
        Form2 = new TForm2(form->core(), form.get());
    }
    void TearDown() override {
        delete Form2;
        Form2 = nullptr;
    }
    void pressData() {
        form->findChild<QAbstractButton*>("SpeedButton4")->click();
        ASSERT_TRUE(Form2->isVisible());
    }
    const QImage& shown() const { return Form2->shownPicture(); }

    ProgramFolder folder;
    std::unique_ptr<TForm1> form;
};

TEST_F(DataDisplay, OpensCentredOnTheMainWindowShowingIndicesAndZeroBytes) {
    EXPECT_EQ(Form2->windowTitle(), QStringLiteral("Data Display"));
    EXPECT_EQ(Form2->size(), QSize(907, 287));
    auto* box = Form2->findChild<QScrollArea*>("ScrollBox1");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->geometry(), QRect(8, 8, 881, 273));
    EXPECT_EQ(box->widget()->size(), QSize(5100, 250));
    // Black until the first redraw.
    EXPECT_EQ(silverPixels(shown(), shown().rect()), 0);

    pressData();
    const QRect main = form->frameGeometry(), own = Form2->frameGeometry();
    EXPECT_EQ(own.left(), main.left() + main.width() / 2 - own.width() / 2);
    EXPECT_EQ(own.top(), main.top() + main.height() / 2 - own.height() / 2);
    // Every value cell of band 1 reads the same "00"; the indices differ.
    const QImage firstValue = cellInside(shown(), 0, 52);
    EXPECT_GT(silverPixels(firstValue, firstValue.rect()), 0);
    for (int i : {1, 100, 219})
        EXPECT_EQ(cellInside(shown(), i, 52), firstValue) << i;
    EXPECT_NE(cellInside(shown(), 1, 38), cellInside(shown(), 2, 38));

    // Closing only hides it.
    Form2->close();
    QApplication::processEvents();
    EXPECT_FALSE(Form2->isVisible());
    pressData();
}

// The map is the RS92's: with the RS41 chosen a line over it says so.
TEST_F(DataDisplay, SaysItIsAnRs92WindowWhileTheRs41IsChosen) {
    auto* notice = Form2->findChild<QLabel*>("SondeNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(),
              QStringLiteral(
                  "RS92 window: with the RS41 chosen in the device dialog, nothing is shown here"));
    const struct {
        int sonde;
        bool shown;
    } cases[] = {{1, true}, {0, false}, {2, false}};
    for (const auto& c : cases) {
        nimbo::ReceiverSettings s;
        s.Sonde = c.sonde;
        form->core().applySettings(s);
        pressData();
        EXPECT_EQ(notice->isVisible(), c.shown) << c.sonde;
    }
}

TEST_F(DataDisplay, FollowsFramesWhoseThreeBlocksPassWhileItIsOpen) {
    Frame frame; // serial bytes 36..43 "K1234567", byte 0 zero
    frame.seal();
    // Hidden: the frame is not copied, the map does not change.
    decode(form->core(), frame);
    pressData();
    const QImage before = shown();
    EXPECT_EQ(form->core().frameDisplayBytes()[36], 0);

    decode(form->core(), frame);
    EXPECT_EQ(form->core().frameDisplayBytes()[36], 'K');
    const QImage good = shown();
    EXPECT_NE(cellInside(good, 36, 52), cellInside(before, 36, 52)) << "'K' shows as 4B";
    EXPECT_EQ(cellInside(good, 0, 52), cellInside(before, 0, 52));

    // The third block fails: neither the copy nor the map changes.
    Frame spoilt;
    spoilt.setSensor(0, 0x123456);
    spoilt.seal(true, true, false);
    decode(form->core(), spoilt);
    EXPECT_EQ(form->core().frameDisplayBytes()[68], frame.b[68]);
    EXPECT_EQ(shown(), good);

    // The same frame with all blocks good replaces it.
    spoilt.seal();
    decode(form->core(), spoilt);
    EXPECT_NE(cellInside(shown(), 68, 52), cellInside(good, 68, 52));
}

TEST_F(DataDisplay, TextsStartAtTheirOriginsInsideTheirCells) {
    pressData();
    // Index rows of the three bands and band 1's value row (inset 7); texts 2 below the top.
    for (const auto& [top, inset, cells] : {std::array{38, 4, 220}, std::array{52, 7, 220},
                                            std::array{108, 4, 219}, std::array{178, 4, 175}})
        for (int i : {0, 99, cells - 1}) {
            const int cell = 6 + 23 * i, origin = cell + inset, bottom = top + 13;
            EXPECT_GT(
                silverPixels(shown(), QRect(QPoint(origin, top + 2), QPoint(cell + 22, bottom))), 0)
                << top << " cell " << i;
            EXPECT_EQ(
                silverPixels(shown(), QRect(QPoint(cell + 1, top + 1), QPoint(origin - 1, bottom))),
                0)
                << "left of the origin, row " << top << " cell " << i;
            EXPECT_EQ(
                silverPixels(shown(), QRect(QPoint(cell + 1, top + 1), QPoint(cell + 22, top + 1))),
                0)
                << "above the origin, row " << top << " cell " << i;
        }
}

} // namespace
} // namespace nimbo::test
