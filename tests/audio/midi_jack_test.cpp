// A foot controller on the private JACK server: a JACK client of the test
// sends program changes and control changes to the program's MIDI input; the
// presets load and a learned bar moves. Pulling the controller out is
// reported in one line and it is used again once it is back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <chrono>
#include <thread>

#include "app/app_test_support.h"
#include "app/midi_control.h"
#include "jack_midi_sender.h"

namespace tw {
namespace {

class MidiJackTest : public test::FormRig {
protected:
    // Polls as the window's MIDI timer does until `done` holds (at most 5 s).
    template <class Pred>
    bool poll_until(Pred done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            form->midi().poll();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(MidiControl::kPollMs));
        }
        return false;
    }
    // A new connection takes effect at a later JACK cycle: a program change
    // sent right after plugging in is repeated (loading the shown preset
    // again does nothing) until it is seen.
    template <class Pred>
    bool send_until(test::JackMidiSender& pedal, std::vector<std::uint8_t> bytes, Pred done) {
        for (int i = 0; i < 20; ++i) {
            if (!pedal.send(bytes)) return false;
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
            while (std::chrono::steady_clock::now() < end) {
                form->midi().poll();
                if (done()) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(MidiControl::kPollMs));
            }
        }
        return false;
    }
    bool listed(const std::string& label) {
        const auto& p = form->midi().ports();
        return std::find(p.begin(), p.end(), label) != p.end();
    }
};

TEST_F(MidiJackTest, PedalLoadsPresetsMovesALearnedBarAndComesBackAfterUnplugging) {
    home.add_preset("F1 Clean.pre", kKindGain);
    home.add_preset("F2 Gate.pre", kKindNoiseGate);
    test::JackMidiSender pedal;
    ASSERT_TRUE(pedal.open()) << "no JACK server (JACK_DEFAULT_SERVER)";
    make();
    std::vector<std::string> notes;
    form->midi().on_note = [&](const std::string& line) { notes.push_back(line); };
    form->FormShow();
    MidiControl& midi = form->midi();
    midi.refresh_ports();
    ASSERT_TRUE(listed(test::JackMidiSender::label()));
    ASSERT_TRUE(midi.choose_port(test::JackMidiSender::label()));
    EXPECT_EQ(midi.ComboBox_MIDI.text(), test::JackMidiSender::label());

    EXPECT_TRUE(send_until(pedal, {0xC0, 1}, [&] { return row1_kind() == kKindNoiseGate; }));
    ASSERT_TRUE(pedal.send({0xC3, 0}));  // any channel
    EXPECT_TRUE(poll_until([&] { return row1_kind() == kKindGain; }));

    auto& bar = form->stream().TrackBar_Latency_Porog;
    midi.learn({0, bar.name()});
    ASSERT_TRUE(pedal.send({0xB0, 7, 0}));
    ASSERT_TRUE(poll_until([&] { return !midi.learning(); }));
    // Running status inside one event: two values, the last one wins.
    ASSERT_TRUE(pedal.send({0xB0, 7, 10, 7, 127}));
    EXPECT_TRUE(poll_until([&] { return bar.position() == bar.max(); }));
    EXPECT_EQ(midi.last_message_text(), "CC 7 = 127  ch 1");

    // Unplugged, then back under the same name.
    pedal.close();
    midi.refresh_ports();
    EXPECT_FALSE(midi.port_open());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("was unplugged"), std::string::npos);
    midi.refresh_ports();
    EXPECT_EQ(notes.size(), 1u);  // said once
    ASSERT_TRUE(pedal.open());
    midi.refresh_ports();
    EXPECT_TRUE(midi.port_open());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[1].find("is back"), std::string::npos);
    ASSERT_TRUE(pedal.send({0xC0, 1}));
    EXPECT_TRUE(send_until(pedal, {0xC0, 1}, [&] { return row1_kind() == kKindNoiseGate; }));
}

#ifdef TW_LIVE_EXE
// tonewarp-live --midi: lists the pedal, listens to it and shows its last
// message in the status line.
TEST_F(MidiJackTest, HeadlessToolListsThePedalAndShowsItsLastMessage) {
    test::JackMidiSender pedal;
    ASSERT_TRUE(pedal.open());
    const std::string live = std::string(TW_LIVE_EXE) + " --no-builtin --home \"" + home.dir() + "\"";
    auto run = [](const std::string& cmd) {
        std::string text;
        if (FILE* p = popen((cmd + " 2>&1").c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) text += buf;
            pclose(p);
        }
        return text;
    };
    const std::string list = run(live + " --midi list");
    EXPECT_NE(list.find(test::JackMidiSender::label()), std::string::npos) << list;
    EXPECT_NE(run(live + " --midi no_such_pedal --seconds 1").find("See --midi list."), std::string::npos);

    // The pedal repeats a program change while the tool runs for 4 s.
    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; i < 40 && !done.load(); ++i) {
            pedal.send({0xC0, 4});
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const std::string text = run(live + " --midi tw_pedal --seconds 4");
    done.store(true);
    sender.join();
    EXPECT_NE(text.find("MIDI PC 4  ch 1"), std::string::npos) << text;
    EXPECT_NE(text.find("Stopped."), std::string::npos) << text;
}
#endif

}  // namespace
}  // namespace tw
