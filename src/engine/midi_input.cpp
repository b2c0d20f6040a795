#include "engine/midi_input.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <array>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace tw {

namespace {

// Not "tonewarp": that JACK client name belongs to the audio stream, whose
// ports other programs connect to by name.
constexpr const char* kClientName = "tonewarp-midi";
constexpr const char* kJackSuffix = " (JACK)";

// RtMidi reports warnings (no JACK server, a port gone) through this; the
// lists and the messages of the caller already say what matters.
void quiet_error(RtMidiError::Type, const std::string&, void*) {}
void quiet_jack(const char*) {}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Our own client's ports never count as sources.
bool is_own_port(const std::string& name) {
    return name.rfind(std::string(kClientName) + ":", 0) == 0;
}

// RtMidi prints its start-up warnings (no JACK server ...) on std::cerr
// before an error callback can be set; they are held back while a driver
// is started. UI thread.
class HeldBackErrors {
public:
    HeldBackErrors() : saved_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~HeldBackErrors() { std::cerr.rdbuf(saved_); }
    HeldBackErrors(const HeldBackErrors&) = delete;
    HeldBackErrors& operator=(const HeldBackErrors&) = delete;

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

// The ALSA sequencer needs its device; without it alsa-lib only prints.
bool driver_may_work(RtMidi::Api api) {
    if (api != RtMidi::LINUX_ALSA) return true;
    std::error_code ec;
    return std::filesystem::exists("/dev/snd/seq", ec);
}

std::unique_ptr<RtMidiIn> start_driver(RtMidi::Api api, const std::string& client) {
    if (!driver_may_work(api)) return nullptr;
    const HeldBackErrors held;
    auto in = std::make_unique<RtMidiIn>(api, client);
    in->setErrorCallback(&quiet_error, nullptr);
    return in;
}

// JACK's MIDI sources, read through a short-lived client of our own (the
// name the audio device list uses too). RtMidi's JACK client is not used for
// listing: it has no shutdown notice, and closing it after its server died
// crashes inside libjack. UI thread.
std::vector<std::string> jack_midi_sources() {
    std::vector<std::string> out;
    jack_status_t status{};
    jack_client_t* c = jack_client_open("tonewarp-list", JackNoStartServer, &status);
    if (c == nullptr) return out;
    if (const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
        for (const char** p = ports; *p != nullptr; ++p) out.emplace_back(*p);
        jack_free(ports);
    }
    jack_client_close(c);
    return out;
}

// True while a JACK server takes clients. UI thread.
bool jack_server_answers() {
    jack_status_t status{};
    jack_client_t* c = jack_client_open("tonewarp-check", JackNoStartServer, &status);
    if (c == nullptr) return false;
    jack_client_close(c);
    return true;
}

}  // namespace

// The ALSA sequencer's RtMidiIn is kept for listing, so the sequencer is not
// joined and left at every look; a start that failed is tried again at most
// every few looks.
struct MidiInput::Lister {
    std::unique_ptr<RtMidiIn> alsa;
    int retry_in = 0;
};

MidiInput::MidiInput(MidiInbox& inbox) : inbox_(inbox), lister_(std::make_unique<Lister>()) {
    jack_set_error_function(&quiet_jack);
    jack_set_info_function(&quiet_jack);
}

MidiInput::~MidiInput() { close(); }

std::vector<std::string> MidiInput::ports() {
    std::vector<std::string> out;
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    bool has_alsa = false, has_jack = false;
    for (const auto a : compiled) {
        has_alsa = has_alsa || a == RtMidi::LINUX_ALSA;
        has_jack = has_jack || a == RtMidi::UNIX_JACK;
    }
    Lister& l = *lister_;
    if (has_alsa && !l.alsa && l.retry_in > 0) {
        --l.retry_in;
    } else if (has_alsa && !l.alsa) {
        try {
            l.alsa = start_driver(RtMidi::LINUX_ALSA, std::string(kClientName) + "-list");
        } catch (const RtMidiError&) {
            l.alsa.reset();
        }
        if (!l.alsa) l.retry_in = 10;
    }
    if (l.alsa) {
        try {
            const unsigned n = l.alsa->getPortCount();
            for (unsigned i = 0; i < n; ++i) {
                const std::string name = l.alsa->getPortName(i);
                if (!name.empty() && !is_own_port(name)) out.push_back(name);
            }
        } catch (const RtMidiError&) {
            l.alsa.reset();
        }
    }
    if (has_jack)
        for (const std::string& name : jack_midi_sources())
            if (!is_own_port(name)) out.push_back(name + kJackSuffix);
    return out;
}

bool MidiInput::open(const std::string& label, std::string* error) {
    close();
    const bool jack = ends_with(label, kJackSuffix);
    const std::string name = jack ? label.substr(0, label.size() - std::string(kJackSuffix).size()) : label;
    try {
        auto in = start_driver(jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA, kClientName);
        const unsigned n = in ? in->getPortCount() : 0;
        for (unsigned i = 0; i < n; ++i) {
            if (in->getPortName(i) != name) continue;
            state_ = MidiParseState{};
            // System exclusive, clock and active sensing are never used here.
            in->ignoreTypes(true, true, true);
            in->setCallback(&MidiInput::on_message, this);
            in->openPort(i, "midi_in");
            if (!in->isPortOpen()) break;
            in_ = std::move(in);
            on_jack_ = jack;
            port_ = label;
            return true;
        }
        if (error) *error = "The MIDI input \"" + label + "\" is not there; plug it in or choose another.";
    } catch (const RtMidiError& e) {
        if (error) *error = "The MIDI input \"" + label + "\" cannot be opened (" + e.getMessage() + "); choose another.";
    }
    return false;
}

void MidiInput::close() {
    if (!in_) return;
    if (on_jack_ && !jack_server_answers()) {
        // Its server is gone: libjack crashes when such a client is closed,
        // so it is left as it is (one small allocation per lost server).
        (void)in_.release();
        port_.clear();
        return;
    }
    try {
        in_->cancelCallback();
        in_->closePort();
    } catch (const RtMidiError&) {
    }
    in_.reset();  // joins the driver's thread (ALSA) or leaves JACK
    port_.clear();
}

void MidiInput::on_message(double, std::vector<unsigned char>* bytes, void* self) {
    auto* me = static_cast<MidiInput*>(self);
    if (bytes == nullptr || bytes->empty()) return;
    std::array<MidiMessage, 16> msgs;
    // A long burst is taken in pieces so nothing is dropped for want of room.
    const std::uint8_t* p = bytes->data();
    std::size_t left = bytes->size();
    while (left > 0) {
        const std::size_t chunk = left < 16 ? left : 16;
        const std::size_t got = parse_midi(p, chunk, me->state_, msgs.data(), msgs.size());
        for (std::size_t i = 0; i < got; ++i) me->inbox_.post(msgs[i]);
        p += chunk;
        left -= chunk;
    }
}

}  // namespace tw
