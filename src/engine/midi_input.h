// MIDI input ports through RtMidi (ALSA sequencer and JACK MIDI): lists the
// sources a foot controller may be plugged into and listens to the chosen
// one. Bytes arrive on RtMidi's own thread; they are parsed there and posted
// to a MidiInbox, never touching the UI's or the audio thread's state.
//
// A port is named by its label: the driver's port name, followed by
// " (JACK)" for JACK MIDI ports.
//
// Threads: everything here on the UI thread; the message callback runs on
// the driver's thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/midi_inbox.h"
#include "engine/midi_parse.h"

class RtMidiIn;

namespace tw {

class MidiInput {
public:
    explicit MidiInput(MidiInbox& inbox);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // The labels of every MIDI source now present (ALSA sequencer first,
    // then JACK), without our own ports. A driver that cannot be reached (no
    // sequencer device, no JACK server) adds nothing. UI thread.
    std::vector<std::string> ports();

    // Listens to the port with this label (closing any other first). False
    // with a sentence in `error` when it is not there or cannot be opened.
    // UI thread.
    bool open(const std::string& label, std::string* error = nullptr);
    // Stops listening (waits for the driver's thread to leave the callback).
    // UI thread.
    void close();
    bool is_open() const { return in_ != nullptr; }
    // The label of the open port ("" when closed). UI thread.
    const std::string& port() const { return port_; }

private:
    struct Lister;
    static void on_message(double stamp, std::vector<unsigned char>* bytes, void* self);

    MidiInbox& inbox_;
    std::unique_ptr<Lister> lister_;
    std::unique_ptr<RtMidiIn> in_;
    std::string port_;
    bool on_jack_ = false;  // in_ is a JACK client
    MidiParseState state_;  // driver thread only, while a port is open
};

}  // namespace tw
