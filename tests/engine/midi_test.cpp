// The MIDI byte parser (running status, system exclusive, cut-short
// messages, real-time bytes in between) and the mailbox between the input's
// thread and the UI (latest value per controller, presses counted, arrival
// order, a flood from another thread).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/midi_inbox.h"
#include "engine/midi_parse.h"

namespace tw {
namespace {

std::vector<MidiMessage> parse(std::vector<std::uint8_t> bytes, MidiParseState& st) {
    std::vector<MidiMessage> out(64);
    out.resize(parse_midi(bytes.data(), bytes.size(), st, out.data(), out.size()));
    return out;
}

std::vector<MidiMessage> parse(std::vector<std::uint8_t> bytes) {
    MidiParseState st;
    return parse(std::move(bytes), st);
}

TEST(MidiParse, RunningStatusRealTimeAndChunksKeepMessagesWhole) {
    // CC 7 = 10, then two more by running status with a clock byte inside one.
    auto m = parse({0xB2, 7, 10, 7, 0xF8, 20, 11, 30});
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].status, 0xB2);
    EXPECT_EQ(m[0].channel(), 2);
    EXPECT_EQ(m[0].data2, 10);
    EXPECT_EQ(m[1].status, 0xF8);
    EXPECT_EQ(m[1].size, 1);
    EXPECT_EQ(m[2].data1, 7);
    EXPECT_EQ(m[2].data2, 20);
    EXPECT_EQ(m[3].data1, 11);
    EXPECT_EQ(m[3].data2, 30);
    // Program change has one data byte; running status across chunks.
    MidiParseState st;
    auto a = parse({0xC0, 3, 4}, st);
    auto b = parse({5}, st);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_TRUE(b[0].is_program_change());
    EXPECT_EQ(b[0].data1, 5);
    EXPECT_EQ(b[0].size, 2);
    // A CC split between two chunks.
    auto c = parse({0xB0, 64}, st);
    auto d = parse({127}, st);
    EXPECT_TRUE(c.empty());
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].data1, 64);
    EXPECT_EQ(d[0].data2, 127);
}

TEST(MidiParse, SysExCutShortAndStrayBytesAreDropped) {
    // SysEx (with a clock byte inside), then a CC.
    auto m = parse({0xF0, 0x7E, 1, 2, 0xF8, 3, 0xF7, 0xB1, 1, 2});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].status, 0xF8);
    EXPECT_EQ(m[1].status, 0xB1);
    // A SysEx cut short by a status byte: what follows is a message again.
    m = parse({0xF0, 0x7E, 1, 0xB0, 1, 2, 3});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].data2, 2);
    // Data bytes with no status, and a CC cut short by a program change.
    m = parse({5, 6, 0xB0, 7, 0xC1, 9});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].status, 0xC1);
    EXPECT_EQ(m[0].data1, 9);
    // System common ends running status: the data after song select is stray.
    m = parse({0xB0, 1, 2, 0xF3, 4, 5, 6});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].status, 0xF3);
    EXPECT_EQ(m[1].data1, 4);
    // No room: only what fits is written.
    MidiParseState st;
    std::vector<std::uint8_t> bytes{0xB0, 1, 1, 2, 2, 3, 3};
    MidiMessage one[1];
    EXPECT_EQ(parse_midi(bytes.data(), bytes.size(), st, one, 1), 1u);
    EXPECT_EQ(parse_midi(nullptr, 5, st, one, 1), 0u);
}

MidiMessage cc(int ch, int n, int v) {
    return MidiMessage{static_cast<std::uint8_t>(0xB0 | ch), static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(v), 3};
}
MidiMessage pc(int ch, int n) { return MidiMessage{static_cast<std::uint8_t>(0xC0 | ch), static_cast<std::uint8_t>(n), 0, 2}; }

TEST(MidiInbox, LatestValueWinsPressesCountAndOrderIsKept) {
    MidiInbox box;
    std::vector<MidiEvent> ev;
    box.post(cc(0, 7, 10));
    box.post(pc(0, 4));
    box.post(cc(0, 7, 90));
    // A momentary switch pressed twice between two polls: 127/0/127/0.
    for (int v : {127, 0, 127, 0}) box.post(cc(1, 80, v));
    box.post(MidiMessage{0x90, 60, 100, 3});  // a note: counted, not queued
    box.take(ev);
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].kind, MidiEvent::Kind::ProgramChange);
    EXPECT_EQ(ev[0].number, 4);
    EXPECT_EQ(ev[1].number, 7);
    EXPECT_EQ(ev[1].value, 90);
    EXPECT_EQ(ev[2].channel, 1);
    EXPECT_EQ(ev[2].value, 0);
    EXPECT_EQ(ev[2].presses, 2u);
    EXPECT_EQ(box.message_count(), 8u);
    EXPECT_EQ(MidiInbox::unpack(box.last_message()).status, 0x90);
    box.take(ev);
    EXPECT_TRUE(ev.empty());
}

TEST(MidiInbox, FloodFromAnotherThreadStaysBoundedAndEndsOnTheLastValues) {
    MidiInbox box;
    std::vector<MidiEvent> ev;
    ev.reserve(MidiInbox::kMaxPending);
    const auto cap = ev.capacity();
    constexpr int kMessages = 200000;
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) box.post(cc(0, i % 3, i % 128));
        box.post(cc(0, 0, 1));
        box.post(cc(0, 1, 2));
        box.post(cc(0, 2, 3));
    });
    int last[3] = {-1, -1, -1};
    std::size_t most = 0;
    auto drain = [&] {
        box.take(ev);
        most = std::max(most, ev.size());
        for (const MidiEvent& e : ev) last[e.number] = e.value;
    };
    while (box.message_count() < kMessages + 3) drain();
    sender.join();
    drain();
    EXPECT_LE(most, 3u);
    EXPECT_EQ(ev.capacity(), cap);
    EXPECT_EQ(last[0], 1);
    EXPECT_EQ(last[1], 2);
    EXPECT_EQ(last[2], 3);
}

}  // namespace
}  // namespace tw
