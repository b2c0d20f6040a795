// A MIDI byte-stream parser: turns raw bytes from an input port into whole
// channel messages. It keeps running status, skips system-exclusive blocks,
// drops messages cut short by a new status byte, lets real-time bytes
// (clock, start, stop, active sensing ...) pass between the bytes of another
// message without disturbing it, and ignores stray data bytes.
//
// Threads: any; a parser state belongs to one input and one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw {

struct MidiMessage {
    std::uint8_t status = 0;  // 0x80..0xFF
    std::uint8_t data1 = 0;   // 0..127
    std::uint8_t data2 = 0;   // 0..127
    std::uint8_t size = 0;    // bytes of the message, 1..3

    int channel() const { return status & 0x0F; }
    int type() const { return status & 0xF0; }
    bool is_control_change() const { return type() == 0xB0 && status < 0xF0; }
    bool is_program_change() const { return type() == 0xC0 && status < 0xF0; }
};

// What the parser carries from one chunk of bytes to the next.
struct MidiParseState {
    std::uint8_t running = 0;   // status of the message being collected (0 = none)
    std::uint8_t data[2] = {};  // data bytes collected so far
    std::uint8_t have = 0;      // how many of them
    bool in_sysex = false;
};

// Data bytes that follow `status` (0, 1 or 2); -1 for system exclusive,
// whose length is open.
int midi_data_length(std::uint8_t status);

// Parses `n` bytes, continuing from `state`, and writes at most `max_out`
// whole messages to `out` (messages beyond that are dropped); returns how
// many were written. Real-time bytes come out as one-byte messages. Any
// thread (no allocation).
std::size_t parse_midi(const std::uint8_t* bytes, std::size_t n, MidiParseState& state, MidiMessage* out,
                       std::size_t max_out);

}  // namespace tw
