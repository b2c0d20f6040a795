// The phone remote's model: the connections, each paired or not, the
// messages they send turned into the actions a mouse, a key or a foot
// switch would take, and the state the page draws. It only drives the
// window's models (the same handlers a click runs, found the way MIDI learn
// finds its controls); the audio thread sees the result through the usual
// commits and parameter sets, never the remote itself.
//
// Sent to the phone (JSON text):
//   {"type":"hello","paired":false}                      on connect
//   {"type":"paired"}                                    the code was right
//   {"type":"error","message":"..."}                     a refusal (the connection stays)
//   {"type":"state",...}                                 presets, keys, rows, the open row's controls
//   {"type":"meters",...}                                input, output, CPU, xruns, the tuner
//
// Threads: UI thread only. The transport calls it from the thread that runs
// the window's models; times are a steady clock in milliseconds.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/remote/remote_message.h"
#include "app/remote/remote_pairing.h"

namespace tw {
class MainForm;
}

namespace tw::remote {

// Readings the meters show; the front end fills them from the device layer.
struct Readings {
    float input_level = 0;   // peak on the 16-bit scale
    float output_level = 0;
    float cpu_load = 0;      // chain time / buffer time
    std::uint64_t xruns = 0;
};

class Hub {
public:
    // At most this many connections at once; more are refused.
    static constexpr int kMaxConnections = 16;

    // `code` empty: a random pairing code. UI thread.
    Hub(MainForm& form, std::function<Readings()> readings, std::string code = {});
    ~Hub();
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;

    const std::string& pairing_code() const { return pairing_.code(); }

    // A new connection: its id (> 0) and the greeting in `first`, or 0 when
    // kMaxConnections are open (then `first` is the refusal). UI thread.
    int connect(std::string& first);
    // The connection is gone. UI thread.
    void disconnect(int id);
    int connections() const { return static_cast<int>(sessions_.size()); }

    // One text message of connection `id` at `now_ms`: what to send back
    // (an error, "paired", or the state after an action). UI thread.
    std::vector<std::string> receive(int id, std::string_view text, std::int64_t now_ms);

    // The state for `id` when it differs from what was last taken for it
    // ("" when unchanged or not paired). UI thread.
    std::string take_state(int id);
    // The meters and the tuner now, for every paired connection. UI thread.
    std::string meters();
    bool paired(int id) const;

    // The state as the page draws it for a connection showing `open_row`'s
    // controls (0: none). UI thread.
    std::string state_json(int open_row) const;

    // A line for the user after each action ("remote: F3 -> F3 Crunch.pre");
    // may be empty. UI thread.
    std::function<void(const std::string&)> on_action;

private:
    struct Session {
        bool paired = false;
        int open_row = 0;
        RateCap rate;
        std::string last_state;
    };
    std::string act(Session& s, const Message& m, std::int64_t now_ms);
    void note(const std::string& line) {
        if (on_action) on_action(line);
    }

    MainForm& form_;
    std::function<Readings()> readings_;
    Pairing pairing_;
    std::map<int, Session> sessions_;
    int next_id_ = 1;
    bool opened_tuner_ = false;
};

}  // namespace tw::remote
