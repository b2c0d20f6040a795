// A MIDI foot controller made of a JACK client: one MIDI output port
// ("tw_pedal:out") whose process callback writes the events queued by the
// test. Events wait in a fixed ring (the test's thread writes, JACK's reads);
// send() returns false when the ring is full.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

class JackMidiSender {
public:
    static constexpr const char* kClient = "tw_pedal";
    // The label under which the program lists this port.
    static std::string label() { return std::string(kClient) + ":out (JACK)"; }

    bool open() {
        client_ = jack_client_open(kClient, JackNoStartServer, nullptr);
        if (client_ == nullptr) return false;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &JackMidiSender::process, this);
        return port_ != nullptr && jack_activate(client_) == 0;
    }
    ~JackMidiSender() { close(); }
    void close() {
        if (client_ == nullptr) return;
        jack_deactivate(client_);
        jack_client_close(client_);
        client_ = nullptr;
    }

    // Queues one event of up to 8 bytes (running status may be used inside).
    bool send(std::vector<std::uint8_t> bytes) {
        const auto w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= kSlots || bytes.empty() || bytes.size() > 8) return false;
        Event& e = ring_[w % kSlots];
        e.size = bytes.size();
        for (std::size_t i = 0; i < bytes.size(); ++i) e.bytes[i] = bytes[i];
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    // Steady-clock ns at which the last event was handed to JACK.
    std::int64_t last_written_ns() const { return written_ns_.load(); }

private:
    static constexpr std::size_t kSlots = 1024;
    struct Event {
        std::array<std::uint8_t, 8> bytes{};
        std::size_t size = 0;
    };
    static int process(jack_nframes_t n, void* arg) {
        auto* self = static_cast<JackMidiSender*>(arg);
        void* buf = jack_port_get_buffer(self->port_, n);
        jack_midi_clear_buffer(buf);
        auto r = self->read_.load(std::memory_order_relaxed);
        const auto w = self->write_.load(std::memory_order_acquire);
        bool wrote = false;
        for (; r != w; ++r) {
            const Event& e = self->ring_[r % kSlots];
            if (jack_midi_event_write(buf, 0, e.bytes.data(), e.size) != 0) break;  // full: next cycle
            wrote = true;
        }
        self->read_.store(r, std::memory_order_release);
        if (wrote)
            self->written_ns_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::array<Event, kSlots> ring_{};
    std::atomic<std::uint64_t> write_{0};
    std::atomic<std::uint64_t> read_{0};
    std::atomic<std::int64_t> written_ns_{0};
};

}  // namespace tw::test
