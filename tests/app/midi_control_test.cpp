// The foot controller on the main form: program changes load presets as the
// function keys do (and the list beyond F12), learn / forget, switches in
// both modes, mappings that follow the kind in their slot, midi.ini kept
// across a restart and a damaged midi.ini.
#include "app/midi_control.h"

#include <gtest/gtest.h>

#include "app_test_support.h"
#include "fx/effect_form.h"
#include "ui/scroll_bar.h"

namespace tw {
namespace {

MidiMessage cc(int n, int v, int ch = 0) {
    return MidiMessage{static_cast<std::uint8_t>(0xB0 | ch), static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(v), 3};
}
MidiMessage pc(int n) { return MidiMessage{0xC0, static_cast<std::uint8_t>(n), 0, 2}; }

class MidiControlTest : public test::FormRig {
protected:
    void start() {
        make();
        form->FormShow();
    }
    MidiControl& midi() { return form->midi(); }
    void send(const MidiMessage& m) {
        midi().inbox().post(m);
        midi().poll();
    }
    void learn(const MidiTarget& t, int number, int ch = 0) {
        midi().learn(t);
        send(cc(number, 0, ch));
        ASSERT_FALSE(midi().learning());
    }
};

TEST_F(MidiControlTest, ProgramChangesLoadTheKeysPresetsThenTheListInOrder) {
    home.add_preset("F1 Clean.pre", kKindGain);
    home.add_preset("F10 Lead.pre", kKindDelay);
    home.add_preset("Zed.pre", kKindWah);
    start();
    send(pc(0));  // F1
    EXPECT_EQ(row1_kind(), kKindGain);
    send(pc(9));  // F10
    EXPECT_EQ(row1_kind(), kKindDelay);
    send(pc(5));  // F6: no such preset, nothing changes
    EXPECT_EQ(row1_kind(), kKindDelay);
    // 12 and up: the list's files in order (F1 Clean, F10 Lead, Zed).
    send(pc(14));
    EXPECT_EQ(row1_kind(), kKindWah);
    send(pc(12));
    EXPECT_EQ(row1_kind(), kKindGain);
    send(pc(15));  // past the end
    EXPECT_EQ(row1_kind(), kKindGain);
    EXPECT_EQ(midi().last_message_text(), "PC 15  ch 1");
    EXPECT_EQ(midi().Label_MIDI.caption(), "PC 15");
    EXPECT_TRUE(dialogs.messages.empty());  // silent, as the keys are
}

TEST_F(MidiControlTest, LearnedBarFollowsTheCcAndForgetStopsIt) {
    start();
    auto& bar = form->stream().TrackBar_Latency_Porog;
    learn({0, "TrackBar_Latency_Porog"}, 7);
    ASSERT_NE(midi().mapping_for({0, "TrackBar_Latency_Porog"}), nullptr);
    send(cc(7, 127));
    EXPECT_EQ(bar.position(), bar.max());
    send(cc(7, 64));
    EXPECT_EQ(bar.position(), bar.min() + ((64 * (bar.max() - bar.min()) + 63) / 127));
    send(cc(7, 0));
    EXPECT_EQ(bar.position(), bar.min());
    send(cc(7, 100, 1));  // another channel drives nothing
    EXPECT_EQ(bar.position(), bar.min());
    // Learning the same CC for another control moves it there.
    learn({0, "ScrollBar_waveInGain"}, 7);
    EXPECT_EQ(midi().mapping_for({0, "TrackBar_Latency_Porog"}), nullptr);
    send(cc(7, 127));
    EXPECT_EQ(bar.position(), bar.min());
    EXPECT_EQ(form->stream().ScrollBar_waveInGain.position(), form->stream().ScrollBar_waveInGain.max());
    midi().forget({0, "ScrollBar_waveInGain"});
    send(cc(7, 0));
    EXPECT_EQ(form->stream().ScrollBar_waveInGain.position(), form->stream().ScrollBar_waveInGain.max());
}

TEST_F(MidiControlTest, SwitchesLatchAtSixtyFourOrToggleOnEveryPress) {
    start();
    auto& box = form->chain().row(2).check;
    const MidiTarget t{0, box.name()};
    learn(t, 80);
    send(cc(80, 127));
    EXPECT_TRUE(box.checked());
    EXPECT_EQ(box.caption(), "On");
    EXPECT_EQ(form->chain().staging().slot[1].enabled, 1);
    send(cc(80, 63));
    EXPECT_FALSE(box.checked());
    midi().set_every_press(t, true);
    // Two presses between polls: back where it was; one press: flipped.
    for (int v : {127, 0, 127, 0}) midi().inbox().post(cc(80, v));
    midi().poll();
    EXPECT_FALSE(box.checked());
    send(cc(80, 127));
    EXPECT_TRUE(box.checked());
    send(cc(80, 0));  // the release does nothing
    EXPECT_TRUE(box.checked());
    send(cc(80, 127));
    EXPECT_FALSE(box.checked());
}

TEST_F(MidiControlTest, EditorMappingFollowsTheKindInItsSlotAndSurvivesARestart) {
    home.add_preset("F1 Gain.pre", kKindGain);
    home.add_preset("F2 Gate.pre", kKindNoiseGate);
    start();
    send(pc(0));
    const MidiTarget t{1, "ScrollBar_Gain_Mono"};
    learn(t, 11);
    midi().set_every_press({1, "CheckRadioBox_Air"}, true);  // not learned: no change
    learn({1, "CheckRadioBox_Air"}, 12);
    midi().set_every_press({1, "CheckRadioBox_Air"}, true);
    auto* bar = static_cast<ui::ScrollBar*>(effect_form(form->chain().instance(1))->form().find("ScrollBar_Gain_Mono"));
    ASSERT_NE(bar, nullptr);
    send(cc(11, 127));
    EXPECT_EQ(bar->position(), bar->max());
    // Another kind in the slot: the CC finds no such control and is ignored.
    send(pc(1));
    EXPECT_EQ(row1_kind(), kKindNoiseGate);
    EXPECT_EQ(midi().find(t), nullptr);
    send(cc(11, 0));

    // midi.ini is written as mappings change and read at the next start.
    form->FormClose();
    start();
    ASSERT_EQ(midi().mappings().size(), 2u);
    const MidiMapping* m = midi().mapping_for({1, "CheckRadioBox_Air"});
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->cc, 12);
    EXPECT_TRUE(m->every_press);
    send(pc(0));
    bar = static_cast<ui::ScrollBar*>(effect_form(form->chain().instance(1))->form().find("ScrollBar_Gain_Mono"));
    send(cc(11, 0));
    EXPECT_EQ(bar->position(), bar->min());
}

TEST_F(MidiControlTest, DamagedMidiIniKeepsWhatIsSoundAndSaysWhatWasDropped) {
    home.write("midi.ini",
               "[Input]\nport=\x01\x02junk\n[Mappings]\ncount=4\n"
               "[Mapping1]\nchannel=1\ncc=7\nslot=0\ncontrol=TrackBar_Latency_Porog\n"
               "[Mapping2]\nchannel=17\ncc=7\nslot=0\ncontrol=cbStereo\n"
               "[Mapping3]\nchannel=1\ncc=9\nslot=40\ncontrol=x\n"
               "[Mapping4]\nchannel=1\ncc=10\nslot=0\ncontrol=../../etc\n");
    std::vector<std::string> problems;
    const MidiSettings s = read_midi_settings_file(home.path("midi.ini"), &problems);
    EXPECT_EQ(s.port, "");
    ASSERT_EQ(s.mappings.size(), 1u);
    EXPECT_EQ(s.mappings[0].target.control, "TrackBar_Latency_Porog");
    EXPECT_EQ(problems.size(), 4u);
    // A count out of range loads nothing; binary junk loads nothing and
    // never ends the program.
    home.write("midi.ini", "[Mappings]\ncount=99999999\n");
    EXPECT_TRUE(read_midi_settings_file(home.path("midi.ini")).mappings.empty());
    static constexpr char junk[] = "\0\xff[\x80]=\n=\n[[[";
    home.write("midi.ini", std::string(junk, sizeof junk - 1));
    start();
    EXPECT_TRUE(midi().mappings().empty());
    EXPECT_EQ(midi().chosen_port(), "");
}

}  // namespace
}  // namespace tw
