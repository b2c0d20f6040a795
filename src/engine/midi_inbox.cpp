#include "engine/midi_inbox.h"

#include <algorithm>

namespace tw {

void MidiInbox::post(const MidiMessage& m) {
    last_.store(std::uint32_t{m.status} | std::uint32_t{m.data1} << 8 | std::uint32_t{m.data2} << 16 |
                    std::uint32_t{m.size} << 24,
                std::memory_order_relaxed);
    count_.fetch_add(1, std::memory_order_relaxed);
    if (m.is_control_change()) {
        const int i = m.channel() * kControllers + (m.data1 & 0x7F);
        const std::uint8_t v = m.data2 & 0x7F;
        const bool high = v >= 64;
        // A press is the rise to >= 64; a switch that sends only 127 (no
        // release) counts every message as a press.
        const bool was_high = high_[i].exchange(high ? 1 : 0, std::memory_order_relaxed) != 0;
        if (high && (!was_high || m.data2 == 127)) presses_[i].fetch_add(1, std::memory_order_relaxed);
        const std::uint32_t seq = seq_.fetch_add(1, std::memory_order_relaxed);
        cc_[i].store(pack(seq, v), std::memory_order_release);
    } else if (m.is_program_change()) {
        const std::uint32_t seq = seq_.fetch_add(1, std::memory_order_relaxed);
        program_time_ns_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count(),
                               std::memory_order_relaxed);
        program_[m.channel()].store(pack(seq, m.data1 & 0x7F), std::memory_order_release);
    }
}

void MidiInbox::take(std::vector<MidiEvent>& out) {
    out.clear();
    for (int i = 0; i < kChannels * kControllers; ++i) {
        if ((cc_[i].load(std::memory_order_relaxed) & kPending) == 0) continue;
        const std::uint64_t w = cc_[i].exchange(0, std::memory_order_acquire);
        if ((w & kPending) == 0) continue;
        MidiEvent e;
        e.kind = MidiEvent::Kind::ControlChange;
        e.channel = static_cast<std::uint8_t>(i / kControllers);
        e.number = static_cast<std::uint8_t>(i % kControllers);
        e.value = static_cast<std::uint8_t>(w & 0x7F);
        e.presses = presses_[i].exchange(0, std::memory_order_relaxed);
        e.seq = static_cast<std::uint32_t>((w >> 32) & 0x7FFFFFFFu);
        out.push_back(e);
    }
    for (int c = 0; c < kChannels; ++c) {
        if ((program_[c].load(std::memory_order_relaxed) & kPending) == 0) continue;
        const std::uint64_t w = program_[c].exchange(0, std::memory_order_acquire);
        if ((w & kPending) == 0) continue;
        MidiEvent e;
        e.kind = MidiEvent::Kind::ProgramChange;
        e.channel = static_cast<std::uint8_t>(c);
        e.number = static_cast<std::uint8_t>(w & 0x7F);
        e.seq = static_cast<std::uint32_t>((w >> 32) & 0x7FFFFFFFu);
        out.push_back(e);
    }
    // Sequence numbers wrap after 2^31 messages; compare them as distances.
    std::sort(out.begin(), out.end(), [](const MidiEvent& a, const MidiEvent& b) {
        return static_cast<std::int32_t>((a.seq - b.seq) << 1) < 0;
    });
}

MidiMessage MidiInbox::unpack(std::uint32_t p) {
    return MidiMessage{static_cast<std::uint8_t>(p & 0xFF), static_cast<std::uint8_t>((p >> 8) & 0xFF),
                       static_cast<std::uint8_t>((p >> 16) & 0xFF), static_cast<std::uint8_t>((p >> 24) & 0xFF)};
}

void MidiInbox::clear() {
    for (auto& w : cc_) w.store(0, std::memory_order_relaxed);
    for (auto& w : presses_) w.store(0, std::memory_order_relaxed);
    for (auto& w : high_) w.store(0, std::memory_order_relaxed);
    for (auto& w : program_) w.store(0, std::memory_order_relaxed);
    last_.store(0, std::memory_order_relaxed);
}

}  // namespace tw
