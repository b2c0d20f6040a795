// The right-click MIDI menu: learning a bar of an editor window through it
// (the mapping names the editor's row), the switch-only "Toggle on every
// press" on the main window's On/Off boxes, and the MIDI input list and
// indicator on the window.
#include <QAction>
#include <QMenu>
#include <QTimer>

#include "fx/gain_form.h"
#include "gui/controls.h"
#include "gui/form_window.h"
#include "gui_fixture.h"

namespace tw {
namespace {

using gui::SkinScrollBar;

class MidiMenuTest : public test::MainWindowFixture {
protected:
    // Opens `w`'s context menu and, while it is up, hands its actions (by
    // object name) to `use`, then closes it.
    void with_menu(QWidget* w, const std::function<void(QMenu&)>& use) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            seen = true;
            use(*menu);
            menu->close();
        });
        emit w->customContextMenuRequested(QPoint(2, 2));
        EXPECT_TRUE(seen);
    }
    static QAction* action(QMenu& m, const char* name) { return m.findChild<QAction*>(name); }
};

TEST_F(MidiMenuTest, LearnFromAnEditorsBarThenForgetIt) {
    MidiControl& midi = window->form().midi();
    window->chain().row(3).combo.set_item_index(kKindGain);
    window->chain().tune(3);
    auto* gain = static_cast<Tgain_form*>(window->chain().instance(3));
    gui::EffectWindow* ed = window->editor_window(gain);
    ASSERT_NE(ed, nullptr);
    auto* bar = static_cast<SkinScrollBar*>(ed->control_widget("ScrollBar_Gain_Mono"));
    ASSERT_NE(bar, nullptr);

    with_menu(bar->slider(), [&](QMenu& m) {
        ASSERT_NE(action(m, "MidiLearn"), nullptr);
        EXPECT_FALSE(action(m, "MidiForget")->isEnabled());
        EXPECT_EQ(action(m, "MidiEveryPress"), nullptr);  // bars have no switch mode
        action(m, "MidiLearn")->trigger();
    });
    ASSERT_TRUE(midi.learning());
    EXPECT_EQ(midi.learn_target(), (MidiTarget{3, "ScrollBar_Gain_Mono"}));
    midi.inbox().post(MidiMessage{0xB0, 7, 0, 3});
    midi.poll();
    midi.inbox().post(MidiMessage{0xB0, 7, 127, 3});
    midi.poll();
    EXPECT_EQ(gain->ScrollBar_Gain_Mono.position(), gain->ScrollBar_Gain_Mono.max());
    EXPECT_EQ(bar->slider()->value(), gain->ScrollBar_Gain_Mono.max());

    with_menu(bar->slider(), [&](QMenu& m) {
        EXPECT_EQ(action(m, "MidiForget")->text(), "Forget MIDI (CC 7, channel 1)");
        action(m, "MidiForget")->trigger();
    });
    EXPECT_EQ(midi.mapping_for({3, "ScrollBar_Gain_Mono"}), nullptr);
}

TEST_F(MidiMenuTest, OnOffSwitchOffersEveryPressAndTheWindowShowsTheMidiList) {
    MidiControl& midi = window->form().midi();
    QWidget* box = widget("spSkinCheckRadioBox2");
    midi.learn({0, "spSkinCheckRadioBox2"});
    midi.inbox().post(MidiMessage{0xB1, 80, 0, 3});
    midi.poll();
    with_menu(box, [&](QMenu& m) {
        QAction* every = action(m, "MidiEveryPress");
        ASSERT_NE(every, nullptr);
        EXPECT_TRUE(every->isEnabled());
        EXPECT_FALSE(every->isChecked());
        every->trigger();
    });
    ASSERT_NE(midi.mapping_for({0, "spSkinCheckRadioBox2"}), nullptr);
    EXPECT_TRUE(midi.mapping_for({0, "spSkinCheckRadioBox2"})->every_press);
    midi.inbox().post(MidiMessage{0xB1, 80, 127, 3});
    midi.poll();
    EXPECT_TRUE(window->chain().row(2).check.checked());
    EXPECT_EQ(static_cast<QCheckBox*>(box)->isChecked(), true);

    auto* list = widget<QComboBox>("ComboBox_MIDI");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), "MIDI input: none");
    EXPECT_EQ(widget<QLabel>("Label_MIDI")->text(), "CC80 127");
}

}  // namespace
}  // namespace tw
