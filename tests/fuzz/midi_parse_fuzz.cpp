// libFuzzer target for the MIDI byte parser: any bytes give well-formed
// messages (a status byte, data bytes below 128, the size the status calls
// for), parsing in pieces gives what parsing at once gives, and the mailbox
// hands out only values in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/midi_inbox.h"
#include "engine/midi_parse.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool same(const tw::MidiMessage& a, const tw::MidiMessage& b) {
    return a.status == b.status && a.data1 == b.data1 && a.data2 == b.data2 && a.size == b.size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece length (1..16), the rest is the stream.
    const std::size_t piece = 1 + (data[0] & 0x0F);
    const std::uint8_t* bytes = data + 1;
    const std::size_t n = size - 1;

    std::vector<tw::MidiMessage> whole(n + 1);
    tw::MidiParseState st;
    whole.resize(tw::parse_midi(bytes, n, st, whole.data(), whole.size()));

    std::vector<tw::MidiMessage> pieces;
    tw::MidiParseState st2;
    tw::MidiMessage out[16];
    for (std::size_t at = 0; at < n; at += piece) {
        const std::size_t len = n - at < piece ? n - at : piece;
        const std::size_t got = tw::parse_midi(bytes + at, len, st2, out, 16);
        check(got <= len);
        pieces.insert(pieces.end(), out, out + got);
    }
    check(pieces.size() == whole.size());

    tw::MidiInbox box;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const tw::MidiMessage& m = whole[i];
        check(same(m, pieces[i]));
        check(m.status >= 0x80 && m.data1 < 0x80 && m.data2 < 0x80);
        const int len = tw::midi_data_length(m.status);
        check(len >= 0);
        check(m.size == (m.status >= 0xF8 ? 1 : 1 + len));
        box.post(m);
    }
    std::vector<tw::MidiEvent> ev;
    box.take(ev);
    check(ev.size() <= tw::MidiInbox::kMaxPending);
    for (std::size_t i = 0; i < ev.size(); ++i) {
        check(ev[i].channel < 16 && ev[i].number < 128 && ev[i].value < 128);
        if (i > 0) check(static_cast<std::int32_t>((ev[i].seq - ev[i - 1].seq) << 1) > 0);
    }
    return 0;
}
