// What a phone may send to the remote: one JSON object per WebSocket text
// message, checked here before anything acts on it.
//
//   {"type":"pair","code":"123456"}                       the pairing code
//   {"type":"key","key":3}                                F3 (1..12), as the key does
//   {"type":"preset","index":4}                           item 4 of the presets list (0 = the first file)
//   {"type":"row","row":2,"on":false}                     row 2's on/off switch
//   {"type":"open","row":2}                               show row 2's controls (0: none)
//   {"type":"set","row":2,"control":"ScrollBar_Gain_Mono","value":40}
//                                                         a bar's position, or true/false for a check box
//
// Anything else (not JSON, too long, nested, an unknown type, a field
// missing, of the wrong type or out of its range) is refused with a sentence
// for the phone. Whether a row has the named control and which positions the
// bar takes is checked by the hub, which knows the chain.
//
// Threads: any thread (no state).
#pragma once

#include <string>
#include <string_view>

namespace tw::remote {

// The longest message taken; longer ones are refused unread.
inline constexpr std::size_t kMaxMessageBytes = 4096;
// Objects and arrays nested deeper than this are refused before parsing.
inline constexpr int kMaxNesting = 4;

enum class Action { Pair, Key, Preset, Row, Open, Set };

struct Message {
    Action action = Action::Pair;
    std::string code;      // Pair
    int number = 0;        // Key: 1..12; Preset: list index; Row/Open/Set: row 0..16
    bool on = false;       // Row; Set on a check box
    std::string control;   // Set: the designer name
    bool is_switch = false;  // Set: the value was true/false (else `value` holds a position)
    long value = 0;        // Set on a bar
};

struct Parsed {
    bool ok = false;
    Message message;
    std::string error;     // when !ok: what was wrong, as a sentence
};

// The largest preset list index accepted.
inline constexpr int kMaxPresetIndex = 100000;

// Checks and reads one message. Any thread.
Parsed parse_message(std::string_view text);

// The refusal sent back: {"type":"error","message":text}, any bytes in
// `text` that are not UTF-8 replaced. Any thread.
std::string error_json(const std::string& text);

}  // namespace tw::remote
