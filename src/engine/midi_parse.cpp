#include "engine/midi_parse.h"

namespace tw {

int midi_data_length(std::uint8_t status) {
    if (status < 0xF0) {
        const int t = status & 0xF0;
        return (t == 0xC0 || t == 0xD0) ? 1 : 2;
    }
    switch (status) {
        case 0xF0: return -1;          // system exclusive, up to F7
        case 0xF1: case 0xF3: return 1; // time code quarter frame, song select
        case 0xF2: return 2;           // song position
        default: return 0;             // tune request, EOX, undefined, real time
    }
}

std::size_t parse_midi(const std::uint8_t* bytes, std::size_t n, MidiParseState& st, MidiMessage* out,
                       std::size_t max_out) {
    std::size_t count = 0;
    auto emit = [&](std::uint8_t status, std::uint8_t d1, std::uint8_t d2, std::uint8_t size) {
        if (count < max_out && out != nullptr) out[count++] = MidiMessage{status, d1, d2, size};
    };
    if (bytes == nullptr) return 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0xF8) {
            // Real time: may sit anywhere, even inside system exclusive.
            if (b != 0xF9 && b != 0xFD) emit(b, 0, 0, 1);
            continue;
        }
        if (b & 0x80) {
            // A new status ends system exclusive and drops an unfinished message.
            st.in_sysex = false;
            st.have = 0;
            const int len = midi_data_length(b);
            if (len < 0) {
                st.in_sysex = true;
                st.running = 0;
            } else if (b >= 0xF0) {
                // System common cancels running status.
                st.running = 0;
                if (len == 0) {
                    if (b == 0xF6) emit(b, 0, 0, 1);
                } else {
                    st.running = b;  // collected below, but not kept as running status
                }
            } else {
                st.running = b;
            }
            continue;
        }
        if (st.in_sysex || st.running == 0) continue;  // sysex body or a stray data byte
        st.data[st.have++] = b;
        const int len = midi_data_length(st.running);
        if (st.have >= len) {
            emit(st.running, st.data[0], len > 1 ? st.data[1] : 0, static_cast<std::uint8_t>(1 + len));
            st.have = 0;
            if (st.running >= 0xF0) st.running = 0;
        }
    }
    return count;
}

}  // namespace tw
