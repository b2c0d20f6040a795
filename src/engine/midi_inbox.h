// The mailbox between a MIDI input's thread and the UI thread. It is a fixed
// table, lock-free and never allocating: one word per channel and controller
// for the latest control-change value, one per channel for the latest
// program change, and a press counter per controller. A pedal sweeping at
// 1 kHz therefore overwrites its own word instead of filling a queue, and a
// switch pressed and released between two polls still counts one press.
// Every entry carries a sequence number so the UI thread applies what it
// takes out in the order it arrived.
//
// Threads: post() on the input's thread (or several; every word is atomic),
// take() on the UI thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "engine/midi_parse.h"

namespace tw {

struct MidiEvent {
    enum class Kind : std::uint8_t { ControlChange, ProgramChange };
    Kind kind = Kind::ControlChange;
    std::uint8_t channel = 0;  // 0..15
    std::uint8_t number = 0;   // controller (CC) or program (PC), 0..127
    std::uint8_t value = 0;    // CC value
    std::uint32_t presses = 0; // CC: values >= 64 that followed a value < 64 (or came first)
    std::uint32_t seq = 0;     // arrival order
};

class MidiInbox {
public:
    static constexpr int kChannels = 16;
    static constexpr int kControllers = 128;
    static constexpr std::size_t kMaxPending = kChannels * kControllers + kChannels;

    // Records one message (other kinds only count as "last message"). Any
    // thread; no allocation, no lock.
    void post(const MidiMessage& m);

    // Takes every pending entry into `out` (cleared first; reserve
    // kMaxPending once to keep it from growing), in arrival order. UI thread.
    void take(std::vector<MidiEvent>& out);

    // The last message seen, packed as status | data1 << 8 | data2 << 16 |
    // size << 24 (0 = none yet), and how many have been posted. Any thread.
    std::uint32_t last_message() const { return last_.load(std::memory_order_relaxed); }
    std::uint64_t message_count() const { return count_.load(std::memory_order_relaxed); }
    static MidiMessage unpack(std::uint32_t packed);

    // Steady-clock time (ns) at which the last program change was posted.
    // Any thread.
    std::int64_t last_program_time_ns() const { return program_time_ns_.load(std::memory_order_relaxed); }

    // Forgets everything pending. UI thread, with no input running.
    void clear();

private:
    // Entry word: bit 63 pending, bits 32..62 sequence, bits 0..6 value.
    static constexpr std::uint64_t kPending = std::uint64_t{1} << 63;
    static std::uint64_t pack(std::uint32_t seq, std::uint8_t value) {
        return kPending | (std::uint64_t{seq & 0x7FFFFFFFu} << 32) | value;
    }

    std::array<std::atomic<std::uint64_t>, kChannels * kControllers> cc_{};
    std::array<std::atomic<std::uint32_t>, kChannels * kControllers> presses_{};
    std::array<std::atomic<std::uint8_t>, kChannels * kControllers> high_{};  // last value was >= 64
    std::array<std::atomic<std::uint64_t>, kChannels> program_{};
    std::atomic<std::uint32_t> seq_{0};
    std::atomic<std::uint32_t> last_{0};
    std::atomic<std::uint64_t> count_{0};
    std::atomic<std::int64_t> program_time_ns_{0};
};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the MIDI mailbox needs lock-free 64-bit words");

}  // namespace tw
