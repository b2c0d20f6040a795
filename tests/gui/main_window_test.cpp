// The main window as a user drives it: the sixteen chain rows (kind lists,
// on/off, Tune, arrows, right-click moves) with what they do to the live
// chain and the editor windows, the stream controls and the status meters.
#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEnterEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <vector>

#include "fx/kinds.h"
#include "app/help_pages.h"
#include "app/program_folder.h"
#include "presets/preset_file.h"
#include "fx/MultiTortions.h"
#include "fx/gain_form.h"
#include "platform/ini_file.h"
#include "platform/program_files.h"
#include "gui/controls.h"
#include "gui/form_window.h"
#include "gui/led_meter.h"
#include "gui/look.h"
#include "gui_fixture.h"

namespace tw::test {
namespace {

using gui::EffectWindow;
using gui::LedMeterWidget;
using gui::SkinScrollBar;
using gui::SkinUpDown;

constexpr int kGain = kKindGain;

class MainWindowTest : public MainWindowFixture {
protected:
    // A user picks item `index` in row n's kind list.
    void pick(int n, int index) {
        auto* combo = row_widget<QComboBox>("spSkinComboBox", n);
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    // A user clicks row n's on/off box.
    void click_on_off(int n) {
        auto* box = row_widget<QCheckBox>("spSkinCheckRadioBox", n);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
    }
    void click_tune(int n) {
        auto* b = row_widget<QPushButton>("spSkinButton", n);
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void right_release_on_tune(int n, int y) {
        auto* b = row_widget<QPushButton>("spSkinButton", n);
        ASSERT_NE(b, nullptr);
        QTest::mouseRelease(b, Qt::RightButton, Qt::NoModifier, QPoint(b->width() / 2, y));
    }
    // One stereo buffer of (100, 100) frames through the live chain; returns
    // the first frame.
    static std::pair<float, float> run_stereo() {
        std::vector<float> buf(8, 100.0f);
        process_chain(4, 48000, 2, buf.data());
        return {buf[0], buf[1]};
    }
};

TEST_F(MainWindowTest, NewWindowShowsSixteenEmptyRowsAndCommitsAnEmptyChain) {
    EXPECT_EQ(window->objectName(), "TForm1");
    EXPECT_EQ(window->windowTitle(), "Tonewarp 3");
    for (int n = 1; n <= kChainRows; ++n) {
        auto* combo = row_widget<QComboBox>("spSkinComboBox", n);
        auto* box = row_widget<QCheckBox>("spSkinCheckRadioBox", n);
        auto* tune = row_widget<QPushButton>("spSkinButton", n);
        ASSERT_TRUE(combo && box && tune && row_widget<QWidget>("spSkinUpDown", n));
        EXPECT_EQ(combo->count(), kKindCount);
        EXPECT_EQ(combo->currentText(), "--- select ---");
        EXPECT_EQ(combo->itemText(13), "Gain");
        EXPECT_EQ(box->text(), "Off");
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(tune->text(), "Tune");
        EXPECT_EQ(combo->y(), 16 + 24 * (n - 1));
        EXPECT_EQ(tune->y(), 16 + 24 * (n - 1));
    }
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.count, 16);
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(live.slot[s].instance, nullptr);
        EXPECT_EQ(live.slot[s].enabled, 0);
    }
    EXPECT_EQ(run_stereo(), std::make_pair(100.0f, 100.0f));
}

TEST_F(MainWindowTest, PickingGainCommitsItAndSwitchingOnMakesItHeard) {
    pick(3, kGain);
    Instance inst = window->chain().instance(3);
    ASSERT_NE(inst, nullptr);
    ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.slot[2].instance, inst);
    EXPECT_EQ(live.slot[2].kind, kGain);
    // Off: the buffer passes unchanged.
    EXPECT_EQ(run_stereo(), std::make_pair(100.0f, 100.0f));

    click_on_off(3);
    auto* box = row_widget<QCheckBox>("spSkinCheckRadioBox", 3);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->text(), "On");
    EXPECT_EQ(live_chain_snapshot().slot[2].enabled, 1);
    // A fresh Gain in stereo has Air on: the right channel comes out inverted.
    EXPECT_EQ(run_stereo(), std::make_pair(100.0f, -100.0f));

    click_on_off(3);
    EXPECT_EQ(box->text(), "Off");
    EXPECT_EQ(run_stereo(), std::make_pair(100.0f, 100.0f));
}

TEST_F(MainWindowTest, TuneOpensTheEditorBuiltFromTheDeclaration) {
    pick(3, kGain);
    auto* gain = static_cast<Tgain_form*>(window->chain().instance(3));
    EXPECT_EQ(gain->skin_loaded, 0);
    // While the window opens, the button is disabled and reads "wait".
    auto* tune = row_widget<QPushButton>("spSkinButton", 3);
    auto show = window->chain().on_show_editor;
    QString caption_during;
    bool enabled_during = true;
    window->chain().on_show_editor = [&](int n, Instance i) {
        caption_during = tune->text();
        enabled_during = tune->isEnabled();
        show(n, i);
    };
    click_tune(3);
    EXPECT_EQ(caption_during, "wait");
    EXPECT_FALSE(enabled_during);
    EffectWindow* ed = window->editor_window(gain);
    ASSERT_NE(ed, nullptr);
    EXPECT_TRUE(ed->isVisible());
    EXPECT_TRUE(ed->isWindow());
    EXPECT_EQ(ed->windowTitle(), "Gain");
    EXPECT_EQ(ed->objectName(), "Tgain_form");
    EXPECT_EQ(ed->size(), QSize(306, 230));
    EXPECT_EQ(ed->minimumSize(), ed->maximumSize());  // fixed size
    EXPECT_EQ(gain->skin_loaded, 1);
    EXPECT_EQ(tune->text(), "Tune");
    EXPECT_TRUE(tune->isEnabled());

    // Every control of the declaration sits at its bounds.
    for (ui::Control* c : gain->form().controls()) {
        QWidget* w = ed->control_widget(c->name());
        ASSERT_NE(w, nullptr) << c->name();
        EXPECT_EQ(w->geometry(), QRect(c->bounds().left, c->bounds().top, c->bounds().width, c->bounds().height))
            << c->name();
    }
    // Moving the mono bar moves both channel bars, in the models and on screen.
    auto* mono = static_cast<SkinScrollBar*>(ed->control_widget("ScrollBar_Gain_Mono"));
    auto* left = static_cast<SkinScrollBar*>(ed->control_widget("ScrollBar_Gain_Left"));
    mono->slider()->setValue(100);
    EXPECT_EQ(gain->ScrollBar_Gain_Left.position(), 100);
    EXPECT_EQ(left->slider()->value(), 100);
    EXPECT_FLOAT_EQ(gain->params.left_gain, 11.0f);

    // A second Tune brings up the same window; the skin is not loaded again.
    ed->hide();
    click_tune(3);
    EXPECT_EQ(window->editor_window(gain), ed);
    EXPECT_TRUE(ed->isVisible());
    EXPECT_EQ(window->editor_window_count(), 1);
}

TEST_F(MainWindowTest, ClosingAnEditorWindowRunsItsEffectsFormClose) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string before = platform::program_folder();
    platform::set_program_folder(dir.path().toStdString());
    pick(2, kKindMultiTortion);
    auto* mt = static_cast<TMultiTortion_form*>(window->chain().instance(2));
    ASSERT_NE(mt, nullptr);
    click_tune(2);
    EffectWindow* ed = window->editor_window(mt);
    ASSERT_NE(ed, nullptr);
    EXPECT_EQ(ed->windowTitle(), "Distortion Plus");
    mt->ScrollBar[4].set_position(10);
    ed->close();
    platform::set_program_folder(before);
    const platform::IniFile ini(dir.path().toStdString() + "/MTEQ.ini");
    EXPECT_EQ(ini.read_int("EQL", "s4", -1), 10);
}

TEST_F(MainWindowTest, KindChangeDestroysTheOldEditorWindow) {
    pick(3, kGain);
    click_tune(3);
    QPointer<EffectWindow> ed = window->editor_window(window->chain().instance(3));
    ASSERT_FALSE(ed.isNull());
    auto* gain = static_cast<Tgain_form*>(window->chain().instance(3));
    gain->ScrollBar_Gain_Mono.set_position(80);

    pick(3, 0);
    EXPECT_TRUE(ed.isNull());
    EXPECT_EQ(window->editor_window_count(), 0);
    EXPECT_EQ(window->chain().instance(3), nullptr);

    // Picking Gain again gives a fresh instance at its defaults.
    pick(3, kGain);
    auto* fresh = static_cast<Tgain_form*>(window->chain().instance(3));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->ScrollBar_Gain_Mono.position(), 50);
    EXPECT_EQ(window->editor_window(fresh), nullptr);
}

TEST_F(MainWindowTest, RightClickLowerHalfOfRowFiveSwapsRowsFiveAndSix) {
    pick(5, kGain);
    click_on_off(5);
    click_tune(5);
    Instance inst = window->chain().instance(5);
    EffectWindow* ed = window->editor_window(inst);
    ASSERT_NE(ed, nullptr);
    const QPoint pointer_before = QCursor::pos();

    auto* tune5 = row_widget<QPushButton>("spSkinButton", 5);
    right_release_on_tune(5, tune5->height() / 2);  // exactly half: lower half

    EXPECT_EQ(row_widget<QComboBox>("spSkinComboBox", 6)->currentIndex(), kGain);
    EXPECT_EQ(row_widget<QComboBox>("spSkinComboBox", 5)->currentIndex(), 0);
    EXPECT_EQ(row_widget<QCheckBox>("spSkinCheckRadioBox", 6)->text(), "On");
    EXPECT_TRUE(row_widget<QCheckBox>("spSkinCheckRadioBox", 6)->isChecked());
    EXPECT_EQ(row_widget<QCheckBox>("spSkinCheckRadioBox", 5)->text(), "Off");
    EXPECT_EQ(window->chain().instance(6), inst);
    EXPECT_EQ(window->chain().instance(5), nullptr);
    EXPECT_EQ(window->editor_window(window->chain().instance(6)), ed);
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.slot[5].instance, inst);
    EXPECT_EQ(live.slot[5].enabled, 1);
    EXPECT_EQ(live.slot[4].instance, nullptr);
    EXPECT_EQ(live.slot[4].enabled, 0);
    // The focus goes to row 6's list; the pointer follows the row down.
    EXPECT_EQ(window->focusWidget(), row_widget<QWidget>("spSkinComboBox", 6));
    EXPECT_EQ(QCursor::pos(), pointer_before + QPoint(0, 24));
    EXPECT_EQ(run_stereo(), std::make_pair(100.0f, -100.0f));

    // Tune on row 6 now shows the moved window.
    click_tune(6);
    EXPECT_EQ(window->editor_window_count(), 1);
    EXPECT_TRUE(ed->isVisible());
}

TEST_F(MainWindowTest, RightClickUpperHalfOfRowOneChangesNothing) {
    pick(1, kGain);
    click_on_off(1);
    Instance inst = window->chain().instance(1);
    const QPoint pointer_before = QCursor::pos();
    right_release_on_tune(1, 2);
    EXPECT_EQ(row_widget<QComboBox>("spSkinComboBox", 1)->currentIndex(), kGain);
    EXPECT_EQ(row_widget<QCheckBox>("spSkinCheckRadioBox", 1)->text(), "On");
    EXPECT_EQ(window->chain().instance(1), inst);
    EXPECT_EQ(live_chain_snapshot().slot[0].instance, inst);
    EXPECT_EQ(live_chain_snapshot().slot[0].enabled, 1);
    EXPECT_EQ(QCursor::pos(), pointer_before);
    // Nor does a release of the left button on the lower half.
    auto* tune1 = row_widget<QPushButton>("spSkinButton", 1);
    QTest::mouseRelease(tune1, Qt::LeftButton, Qt::NoModifier, QPoint(4, tune1->height() - 2));
    EXPECT_EQ(window->chain().instance(1), inst);
    EXPECT_EQ(window->chain().instance(2), nullptr);
}

TEST_F(MainWindowTest, ArrowButtonsMoveRows) {
    pick(2, kGain);
    Instance inst = window->chain().instance(2);
    auto* updown = static_cast<SkinUpDown*>(row_widget<QWidget>("spSkinUpDown", 2));
    QTest::mouseClick(updown->down_button(), Qt::LeftButton);
    EXPECT_EQ(window->chain().instance(3), inst);
    EXPECT_EQ(row_widget<QComboBox>("spSkinComboBox", 3)->currentIndex(), kGain);
    auto* updown3 = static_cast<SkinUpDown*>(row_widget<QWidget>("spSkinUpDown", 3));
    QTest::mouseClick(updown3->up_button(), Qt::LeftButton);
    EXPECT_EQ(window->chain().instance(2), inst);
    // Row 16 down and row 1 up: nothing happens.
    pick(16, kGain);
    Instance last = window->chain().instance(16);
    QTest::mouseClick(static_cast<SkinUpDown*>(row_widget<QWidget>("spSkinUpDown", 16))->down_button(),
                      Qt::LeftButton);
    EXPECT_EQ(window->chain().instance(16), last);
}

TEST_F(MainWindowTest, TuneOnAnEmptyRowOpensNothing) {
    click_tune(1);
    EXPECT_EQ(window->editor_window_count(), 0);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && w != window.get()) << w->objectName().toStdString();
    }
    auto* tune = row_widget<QPushButton>("spSkinButton", 1);
    EXPECT_EQ(tune->text(), "Tune");
    EXPECT_TRUE(tune->isEnabled());
}

TEST_F(MainWindowTest, StreamControlsShowTheirModels) {
    auto* in = widget<QComboBox>("ComboBox_waveIn");
    auto* out = widget<QComboBox>("ComboBox_waveOut");
    ASSERT_TRUE(in && out);
    EXPECT_EQ(in->currentText(), QString(audio::kDemoInputName));
    EXPECT_EQ(out->itemText(0), QString(audio::kNullOutputName));
    EXPECT_EQ(out->itemText(out->count() - 1), "output: use this if other do not work");
    EXPECT_EQ(in->toolTip(), " Audio Input Device  ");
    EXPECT_EQ(out->toolTip(), " Audio Output Device");
    EXPECT_EQ(widget<QPushButton>("BitBtn_Init")->text(), " START");
    EXPECT_FALSE(widget<QPushButton>("BitBtn_Reset")->isEnabled());
    EXPECT_TRUE(widget<QCheckBox>("cbStereo")->isChecked());
    EXPECT_EQ(widget<QPushButton>("spSkinButton19")->text(), "Increase Delay");
    EXPECT_EQ(widget<QPushButton>("spSkinButton20")->text(), "Decrease Delay");

    // The sample rate group: clicking "22050" sets the stream's rate.
    auto* r0 = widget<QRadioButton>("rgSampleRate_item0");
    ASSERT_NE(r0, nullptr);
    EXPECT_TRUE(widget<QRadioButton>("rgSampleRate_item3")->isChecked());
    QTest::mouseClick(r0, Qt::LeftButton, Qt::NoModifier, QPoint(6, r0->height() / 2));
    EXPECT_EQ(window->stream().rgSampleRate.item_index(), 0);
    EXPECT_EQ(window->stream().sample_rate(), 22050);
    EXPECT_TRUE(r0->isChecked());

    // Mono / stereo.
    auto* st = widget<QCheckBox>("cbStereo");
    QTest::mouseClick(st, Qt::LeftButton, Qt::NoModifier, QPoint(6, st->height() / 2));
    EXPECT_EQ(window->stream().channels(), 1);
}

TEST_F(MainWindowTest, ThresholdBarMovesTheLatencyMetersThirdColourAndShowsItsValue) {
    auto* bar = static_cast<SkinScrollBar*>(widget<QWidget>("TrackBar_Latency_Porog"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->slider()->minimum(), 1);
    EXPECT_EQ(bar->slider()->maximum(), 50);
    EXPECT_EQ(bar->slider()->value(), 35);
    EXPECT_EQ(window->status().ProgressBar_Latency.colour3_from(), 35);
    bar->slider()->setValue(20);
    EXPECT_EQ(window->stream().latency_threshold(), 20);
    EXPECT_EQ(window->status().ProgressBar_Latency.colour3_from(), 20);
    EXPECT_EQ(widget<QLabel>("Label_Latency_Porog")->text(), "20 ms");
    // Leaving the bar puts the title back; entering it shows the value.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar, &leave);
    EXPECT_EQ(widget<QLabel>("Label_Latency_Porog")->text(), "Latency");
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(bar, &enter);
    EXPECT_EQ(widget<QLabel>("Label_Latency_Porog")->text(), "20 ms");
    auto* meter = static_cast<LedMeterWidget*>(widget<QWidget>("ProgressBar_Latency"));
    // 20 of 50 -> colour 3 from segment 12; all unlit, so dimmed.
    EXPECT_EQ(meter->segment_colour(11), gui::current_look().led_colour2.darker(gui::current_look().led_unlit_darker));
    EXPECT_EQ(meter->segment_colour(12), gui::current_look().led_colour3.darker(gui::current_look().led_unlit_darker));
}

TEST_F(MainWindowTest, StatusTimerRunsAndShowsZeroLatencyWhileStopped) {
    EXPECT_TRUE(window->timer().isActive());
    EXPECT_EQ(window->timer().interval(), 100);
    window->status().Timer1Timer();
    EXPECT_EQ(widget<QLabel>("Label_delay")->text(), "Latency 0 ms");
    for (const char* name : {"ProgressBar_inlevel", "ProgressBar_outlevel", "ProgressBar_CPU", "ProgressBar_Latency"}) {
        auto* m = static_cast<LedMeterWidget*>(widget<QWidget>(name));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->model().lit_segments(), 0) << name;
    }
    for (const char* name : {"Label_inlevel", "Label_outlevel", "Label_CPU", "Label_Latency"}) EXPECT_NE(widget(name), nullptr);
}

TEST_F(MainWindowTest, StartRunsTheDemoThroughTheChainAndStopEndsIt) {
    pick(1, kGain);
    click_on_off(1);
    auto* start = widget<QPushButton>("BitBtn_Init");
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(window->stream().running()) << (dialogs.messages.empty() ? "" : dialogs.messages.back());
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(widget<QPushButton>("BitBtn_Reset")->isEnabled());
    EXPECT_FALSE(widget<QComboBox>("ComboBox_waveIn")->isEnabled());
    // The timer fills the meters while the demo plays.
    bool input_seen = false;
    for (int i = 0; i < 40 && !input_seen; ++i) {
        QTest::qWait(50);
        input_seen = window->status().ProgressBar_inlevel.position() > 0;
    }
    EXPECT_TRUE(input_seen);
    // The latency text and meter show the stream's measured latency.
    window->status().Timer1Timer();
    const float ms = window->stream().latency();
    EXPECT_EQ(widget<QLabel>("Label_delay")->text().toStdString(), latency_caption(ms));
    EXPECT_EQ(window->status().ProgressBar_Latency.position(), std::min(50, round_half_even(ms)));
    QTest::mouseClick(widget<QPushButton>("BitBtn_Reset"), Qt::LeftButton);
    EXPECT_FALSE(window->stream().running());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(widget<QComboBox>("ComboBox_waveIn")->isEnabled());

    // Closing the window while audio runs stops it.
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(window->stream().running());
    window->close();
    EXPECT_FALSE(window->stream().running());
    EXPECT_FALSE(devices->waves->capturing());
    EXPECT_FALSE(devices->dsound->is_open());
}

TEST_F(MainWindowTest, LaterControlsAreLaidOutWithTheirCaptions) {
    EXPECT_EQ(widget<QPushButton>("spSkinButton17")->text(), " Save FX chain");
    EXPECT_EQ(widget<QPushButton>("spSkinButton18")->text(), " Load FX chain");
    EXPECT_EQ(widget<QComboBox>("ComboBox_PRESETS")->currentText(), "PRESETS (Click to refresh list)");
    EXPECT_EQ(widget<QComboBox>("ComboBox_SKINS")->currentText(), "SKINS");
    EXPECT_EQ(widget<QPushButton>("spSkinMenuButton1")->text(), " HELP, Presets, Skins and FAQ  ");
    EXPECT_TRUE(widget("LinkLabel1")->isVisible());
    EXPECT_TRUE(widget("LinkLabel2")->isVisible());
}

// Qt wiring of the presets and help: picking the list's first item refreshes
// it, F9 released anywhere in the window loads the F9 preset, the link labels
// open their pages.
TEST_F(MainWindowTest, PresetsListF9AndLinkLabelsAreForwardedToTheForm) {
    std::filesystem::create_directories(program_path("PRESETS"));
    std::filesystem::create_directories(program_path("html"));
    PresetRecord r;
    r.set_version(kPresetVersion);
    r.set_kind(0, kGain);
    const std::string preset = program_path("PRESETS/F9 Gain.pre");
    ASSERT_TRUE(write_preset_record(preset, r));
    { std::ofstream(program_path("html/recording.html")) << "<p id=\"play-along\">"; }

    auto* list = widget<gui::SkinComboBox>("ComboBox_PRESETS");
    list->choose(0);  // a click on "PRESETS (Click to refresh list)"
    EXPECT_EQ(list->count(), 3);
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window.get();
    QTest::keyRelease(target, Qt::Key_F9);
    EXPECT_EQ(window->chain().row(1).combo.item_index(), kGain);
    EXPECT_EQ(list->currentText(), "F9 Gain.pre");
    EXPECT_TRUE(dialogs.messages.empty());  // a function key loads silently

    auto* label = widget<QLabel>("LinkLabel1");
    QTest::mouseClick(label, Qt::LeftButton);
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_EQ(dialogs.urls[0], file_url(program_path("html/recording.html")) + "#play-along");
    std::filesystem::remove(preset);
    std::filesystem::remove_all(program_path("html"));
}

// With no device at all: START is disabled and the message is shown once.
class NoDevicesTest : public MainWindowFixture {
protected:
    bool builtin_devices() const override { return false; }
};

TEST_F(NoDevicesTest, StartIsDisabledAndTheMissingOutputIsReported) {
    EXPECT_EQ(widget<QComboBox>("ComboBox_waveIn")->placeholderText(), "There is no sound input device");
    EXPECT_EQ(widget<QComboBox>("ComboBox_waveIn")->currentIndex(), -1);
    EXPECT_FALSE(widget<QPushButton>("BitBtn_Init")->isEnabled());
    EXPECT_EQ(widget<QComboBox>("ComboBox_waveOut")->placeholderText(), "Wdm sound output device not found");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "There is no wdm sound output device");
    // A second show does not repeat the first-show work.
    window->hide();
    window->show();
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

}  // namespace
}  // namespace tw::test
