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

}  // namespace

// One RtMidiIn per driver kept for listing, so JACK is not joined and left
// again at every look. A driver that failed to start is tried again at most
// every few looks.
struct MidiInput::Lister {
    struct Driver {
        RtMidi::Api api;
        std::unique_ptr<RtMidiIn> in;
        int retry_in = 0;
    };
    std::array<Driver, 2> drivers{Driver{RtMidi::LINUX_ALSA, nullptr, 0}, Driver{RtMidi::UNIX_JACK, nullptr, 0}};
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
    for (auto& d : lister_->drivers) {
        bool has = false;
        for (const auto a : compiled) has = has || a == d.api;
        if (!has) continue;
        if (!d.in) {
            if (d.retry_in > 0) {
                --d.retry_in;
                continue;
            }
            try {
                d.in = start_driver(d.api, std::string(kClientName) + "-list");
            } catch (const RtMidiError&) {
                d.in.reset();
            }
            if (!d.in) {
                d.retry_in = 10;
                continue;
            }
        }
        try {
            const unsigned n = d.in->getPortCount();
            for (unsigned i = 0; i < n; ++i) {
                const std::string name = d.in->getPortName(i);
                if (name.empty() || is_own_port(name)) continue;
                out.push_back(d.api == RtMidi::UNIX_JACK ? name + kJackSuffix : name);
            }
        } catch (const RtMidiError&) {
            d.in.reset();
        }
    }
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
