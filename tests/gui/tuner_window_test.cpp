// The tuner window as a user drives it: "Tuner" opens it on the running demo
// guitar and it shows the notes; the mute box silences the output; it can be
// resized with the controls along the bottom; closing it stops the tuner.
#include <QCheckBox>
#include <QPushButton>

#include "gui/tuner_window.h"
#include "gui_fixture.h"

namespace tw::test {
namespace {

using TunerWindowTest = MainWindowFixture;

TEST_F(TunerWindowTest, TunerShowsTheDemoNotesMutesResizesAndStopsOnClose) {
    QTest::mouseClick(widget<QPushButton>("BitBtn_Init"), Qt::LeftButton);
    ASSERT_TRUE(window->stream().running());
    EXPECT_EQ(window->tuner_window(), nullptr);
    QTest::mouseClick(widget<QPushButton>("Button_Tuner"), Qt::LeftButton);
    gui::TunerWindow* tw = window->tuner_window();
    ASSERT_NE(tw, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tw));
    EXPECT_TRUE(window->form().tuner().is_open());

    // The demo riff's notes reach the drawing (before the input level: the
    // input bar at its lowest does not matter).
    window->stream().ScrollBar_waveInGain.set_position(100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tw->display().reading().has_note; }, 4000));
    EXPECT_GT(tw->display().reading().hz, 60.0);

    auto* mute = tw->findChild<QCheckBox*>("CheckBox_Mute");
    ASSERT_NE(mute, nullptr);
    QTest::mouseClick(mute, Qt::LeftButton, Qt::NoModifier, QPoint(6, mute->height() / 2));
    EXPECT_TRUE(window->form().tuner().CheckBox_Mute.checked());
    EXPECT_TRUE(devices->waves->output_muted());

    tw->resize(900, 600);
    QTest::qWait(20);
    EXPECT_GT(tw->display().height(), 500);
    EXPECT_GT(mute->geometry().top(), 540);
    EXPECT_GT(tw->findChild<QWidget*>("ScrollBar_A4")->width(), 500);

    tw->close();
    EXPECT_FALSE(window->form().tuner().is_open());
    EXPECT_FALSE(devices->waves->output_muted());
    // "Tuner" again brings the same window back.
    QTest::mouseClick(widget<QPushButton>("Button_Tuner"), Qt::LeftButton);
    EXPECT_EQ(window->tuner_window(), tw);
    EXPECT_TRUE(tw->isVisible());
    EXPECT_TRUE(devices->waves->output_muted());
}

}  // namespace
}  // namespace tw::test
