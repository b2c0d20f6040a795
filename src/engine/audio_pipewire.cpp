#include "engine/audio_pipewire.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/param/latency-utils.h>
#include <spa/utils/json.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxChannels = 2;
// Frames interleaved per pass; a longer quantum is handed on in pieces.
constexpr std::uint32_t kPassFrames = 4096;
// How long listing the devices may wait for the server.
constexpr auto kListWait = std::chrono::seconds(2);
// How long a start waits for the server to show the node, its ports and the
// first cycles.
constexpr auto kStartWait = std::chrono::seconds(3);
// How long a stop waits for a callback in progress to leave the program's code.
constexpr auto kCallbackWait = std::chrono::seconds(2);

int env_int(const char* name, int fallback, int lo, int hi) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::clamp(fallback, lo, hi);
    return std::clamp(std::atoi(v), lo, hi);
}

std::string text(const char* s) { return s == nullptr ? std::string() : std::string(s, strnlen(s, 1024)); }

void init_library() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

struct GraphNode {
    std::uint32_t id = 0;
    std::string name;         // node.name
    std::string description;  // node.description, else node.nick, else node.name
    std::string media_class;
};

struct GraphPort {
    std::uint32_t id = 0;
    std::uint32_t node = 0;
    bool output = false;  // port.direction "out"
    bool monitor = false;
    std::string name;
};

bool captures_from(const GraphNode& n) {
    return n.media_class == "Audio/Source" || n.media_class == "Audio/Source/Virtual" || n.media_class == "Audio/Duplex";
}
bool plays_to(const GraphNode& n) { return n.media_class == "Audio/Sink" || n.media_class == "Audio/Duplex"; }

// The node name in a default.audio.* value, {"name":"tw_null"}; "" when the
// value is not such an object.
std::string name_in_json(const char* value) {
    if (value == nullptr) return {};
    spa_json it[2];
    spa_json_init(&it[0], value, strnlen(value, 4096));
    if (spa_json_enter_object(&it[0], &it[1]) <= 0) return {};
    char key[64];
    while (spa_json_get_string(&it[1], key, sizeof key) > 0) {
        if (std::strcmp(key, "name") == 0) {
            char v[512];
            return spa_json_get_string(&it[1], v, sizeof v) > 0 ? std::string(v) : std::string();
        }
        const char* skip = nullptr;
        if (spa_json_next(&it[1], &skip) <= 0) break;
    }
    return {};
}

// One connection to the server on a thread loop of its own, with the nodes,
// ports and default devices its registry has shown. Everything but open()
// and close() runs with the loop locked (lock()), or on the loop's thread.
class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }

    // Connects and reads the registry once through. False when no server
    // answers (nothing stays open then). UI thread.
    bool open(const char* name) {
        init_library();
        loop_ = pw_thread_loop_new(name, nullptr);
        if (loop_ == nullptr) return false;
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        if (context_ == nullptr || pw_thread_loop_start(loop_) != 0) {
            close();
            return false;
        }
        lock();
        core_ = pw_context_connect(context_, pw_properties_new(PW_KEY_APP_NAME, "tonewarp", nullptr), 0);
        if (core_ == nullptr) {
            unlock();
            close();
            return false;
        }
        static const pw_core_events core_events = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.done = &Connection::on_done;
            e.error = &Connection::on_error;
            return e;
        }();
        pw_core_add_listener(core_, &core_listener_, &core_events, this);
        registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registry_events = [] {
            pw_registry_events e{};
            e.version = PW_VERSION_REGISTRY_EVENTS;
            e.global = &Connection::on_global;
            e.global_remove = &Connection::on_global_remove;
            return e;
        }();
        pw_registry_add_listener(registry_, &registry_listener_, &registry_events, this);
        // Twice: the first answer brings the globals (and binds the default
        // metadata), the second the metadata's properties.
        const bool ok = sync() && sync();
        unlock();
        if (!ok) close();
        return ok;
    }

    // UI thread, without the lock.
    void close() {
        if (loop_ != nullptr) {
            lock();
            if (metadata_ != nullptr) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadata_));
            metadata_ = nullptr;
            if (registry_ != nullptr) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
            registry_ = nullptr;
            if (core_ != nullptr) pw_core_disconnect(core_);
            core_ = nullptr;
            unlock();
            pw_thread_loop_stop(loop_);
        }
        if (context_ != nullptr) pw_context_destroy(context_);
        context_ = nullptr;
        if (loop_ != nullptr) pw_thread_loop_destroy(loop_);
        loop_ = nullptr;
    }

    void lock() { pw_thread_loop_lock(loop_); }
    void unlock() { pw_thread_loop_unlock(loop_); }

    // Waits (lock held, released while waiting) until `ready` holds, the
    // server is gone or the time is up. UI thread.
    template <class Ready>
    bool wait_until(Ready ready, Clock::duration limit) {
        const auto deadline = Clock::now() + limit;
        while (!ready()) {
            if (lost.load() || Clock::now() >= deadline) return false;
            unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            lock();
        }
        return true;
    }

    // One round trip to the server: everything it sent before is in. Lock held.
    bool sync() {
        const int seq = pw_core_sync(core_, PW_ID_CORE, 0);
        return wait_until([&] { return done_seq_ >= seq; }, kListWait);
    }

    pw_core* core() const { return core_; }

    const GraphNode* node_named(const std::string& name) const {
        for (const auto& n : nodes) if (n.name == name) return &n;
        return nullptr;
    }
    // The node a device name stands for; "PipeWire: default" is the default
    // source or sink, else the first of its kind. Lock held.
    const GraphNode* node_for(const std::string& shown, bool input) const {
        if (shown == kPipeWireDefault) {
            if (const GraphNode* n = node_named(input ? default_source : default_sink)) return n;
            for (const auto& n : nodes)
                if (input ? captures_from(n) : plays_to(n)) return &n;
            return nullptr;
        }
        for (const auto& n : nodes)
            if ((input ? captures_from(n) : plays_to(n)) && shown_name(n) == shown) return &n;
        return nullptr;
    }
    // The node's audio ports of one direction, in the server's order:
    // monitor ports only when it has no others (a virtual source's capture
    // ports are its monitor ports). Lock held.
    std::vector<const GraphPort*> ports_of(std::uint32_t node, bool output) const {
        std::vector<const GraphPort*> out;
        for (const auto& p : ports)
            if (p.node == node && p.output == output && !p.monitor) out.push_back(&p);
        if (out.empty())
            for (const auto& p : ports)
                if (p.node == node && p.output == output) out.push_back(&p);
        std::sort(out.begin(), out.end(), [](const GraphPort* a, const GraphPort* b) { return a->id < b->id; });
        return out;
    }
    static std::string shown_name(const GraphNode& n) { return kPipeWireLabel + n.description; }

    std::vector<GraphNode> nodes;
    std::vector<GraphPort> ports;
    std::string default_sink;
    std::string default_source;
    std::atomic<bool> lost{false};  // the connection broke (server gone)
    std::atomic<bool>* lost_too = nullptr;  // also raised then, when set

private:
    static void on_done(void* data, std::uint32_t id, int seq) {
        auto* c = static_cast<Connection*>(data);
        if (id == PW_ID_CORE) c->done_seq_ = seq;
    }
    static void on_error(void* data, std::uint32_t id, int, int res, const char*) {
        auto* c = static_cast<Connection*>(data);
        // A broken connection; other errors belong to single requests.
        if (id == PW_ID_CORE && (res == -EPIPE || res == -ECONNRESET || res == -ENOTCONN)) {
            c->lost.store(true);
            if (c->lost_too != nullptr) c->lost_too->store(true);
        }
    }
    static void on_global(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                          const spa_dict* props) {
        auto* c = static_cast<Connection*>(data);
        if (type == nullptr || props == nullptr) return;
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            GraphNode n;
            n.id = id;
            n.name = text(spa_dict_lookup(props, PW_KEY_NODE_NAME));
            n.media_class = text(spa_dict_lookup(props, PW_KEY_MEDIA_CLASS));
            n.description = text(spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION));
            if (n.description.empty()) n.description = text(spa_dict_lookup(props, PW_KEY_NODE_NICK));
            if (n.description.empty()) n.description = n.name;
            c->nodes.push_back(std::move(n));
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
            const char* node = spa_dict_lookup(props, PW_KEY_NODE_ID);
            const char* dir = spa_dict_lookup(props, PW_KEY_PORT_DIRECTION);
            if (node == nullptr || dir == nullptr) return;
            GraphPort p;
            p.id = id;
            p.node = static_cast<std::uint32_t>(std::strtoul(node, nullptr, 10));
            p.output = std::strcmp(dir, "out") == 0;
            const char* mon = spa_dict_lookup(props, PW_KEY_PORT_MONITOR);
            p.monitor = mon != nullptr && std::strcmp(mon, "true") == 0;
            p.name = text(spa_dict_lookup(props, PW_KEY_PORT_NAME));
            c->ports.push_back(std::move(p));
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 && c->metadata_ == nullptr) {
            const char* name = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
            if (name == nullptr || std::strcmp(name, "default") != 0) return;
            c->metadata_ = static_cast<pw_metadata*>(
                pw_registry_bind(c->registry_, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
            if (c->metadata_ == nullptr) return;
            static const pw_metadata_events metadata_events = [] {
                pw_metadata_events e{};
                e.version = PW_VERSION_METADATA_EVENTS;
                e.property = &Connection::on_property;
                return e;
            }();
            pw_metadata_add_listener(c->metadata_, &c->metadata_listener_, &metadata_events, c);
        }
    }
    static void on_global_remove(void* data, std::uint32_t id) {
        auto* c = static_cast<Connection*>(data);
        std::erase_if(c->nodes, [id](const GraphNode& n) { return n.id == id; });
        std::erase_if(c->ports, [id](const GraphPort& p) { return p.id == id; });
    }
    static int on_property(void* data, std::uint32_t subject, const char* key, const char*, const char* value) {
        auto* c = static_cast<Connection*>(data);
        if (subject != PW_ID_CORE || key == nullptr) return 0;
        if (std::strcmp(key, "default.audio.sink") == 0) c->default_sink = name_in_json(value);
        if (std::strcmp(key, "default.audio.source") == 0) c->default_source = name_in_json(value);
        return 0;
    }

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    pw_metadata* metadata_ = nullptr;
    spa_hook core_listener_{};
    spa_hook registry_listener_{};
    spa_hook metadata_listener_{};
    int done_seq_ = -1;
};

struct Session;

// What pw_filter_add_port keeps for each of our ports.
struct PortTag {
    Session* session;
    bool input;
    int channel;
};

// The latency PipeWire reports for one port: in quanta, frames and ns.
struct Latency {
    std::atomic<std::uint32_t> milli_quanta{0};
    std::atomic<std::uint32_t> frames{0};
    std::atomic<std::uint64_t> ns{0};
    void clear() {
        milli_quanta.store(0);
        frames.store(0);
        ns.store(0);
    }
    double in_frames(std::uint32_t quantum, std::uint32_t rate) const {
        return milli_quanta.load() / 1000.0 * quantum + frames.load() + static_cast<double>(ns.load()) * rate / 1e9;
    }
};

// One direction of the node: its ports, its links and the device layer's callback.
struct Side {
    bool input = false;
    int channels = 0;
    std::array<void*, kMaxChannels> ports{};  // pw_filter port data (PortTag)
    std::array<Latency, kMaxChannels> latency{};  // as PipeWire reports it
    std::vector<pw_proxy*> links;
    CaptureFn capture = nullptr;
    PlaybackFn playback = nullptr;
    void* user = nullptr;
    std::vector<float> interleaved;
    std::atomic<bool> on{false};  // the process callback runs this side

    static const char* port_name(bool input, int c) {
        static const char* const names[2][kMaxChannels] = {{"output_FL", "output_FR"}, {"input_FL", "input_FR"}};
        return names[input ? 1 : 0][c];
    }

    // PipeWire's data thread. A port without a buffer (not linked) reads
    // as silence and is not written.
    void run(std::uint32_t frames) {
        float* buf[kMaxChannels] = {};
        for (int c = 0; c < channels; ++c) buf[c] = static_cast<float*>(pw_filter_get_dsp_buffer(ports[c], frames));
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t n = std::min(kPassFrames, frames - done);
            float* w = interleaved.data();
            if (input) {
                for (std::uint32_t i = 0; i < n; ++i)
                    for (int c = 0; c < channels; ++c) w[i * channels + c] = buf[c] ? buf[c][done + i] : 0.0f;
                capture(user, w, static_cast<int>(n));
            } else {
                playback(user, w, static_cast<int>(n));
                for (int c = 0; c < channels; ++c) {
                    if (buf[c] == nullptr) continue;
                    for (std::uint32_t i = 0; i < n; ++i) buf[c][done + i] = w[i * channels + c];
                }
            }
            done += n;
        }
    }
};

// The node both directions share, on its own connection.
struct Session {
    Connection conn;
    pw_filter* filter = nullptr;
    spa_hook filter_listener{};
    Side capture;
    Side playback;
    std::atomic<bool> lost{false};
    std::atomic<bool> in_callback{false};  // a process callback is inside the program's code
    std::atomic<std::uint32_t> quantum{0};
    std::atomic<std::uint32_t> rate{0};
    std::atomic<std::uint64_t> cycles{0};
    bool closing = false;  // under the loop's lock: we destroy the node ourselves

    Session() { capture.input = true; }

    // PipeWire's data thread: no allocation, no lock, no I/O. The flags are
    // sequentially consistent: a stop either sees the callback inside, or
    // the callback sees the side switched off and stays out.
    static void on_process(void* data, spa_io_position* position) {
        auto* s = static_cast<Session*>(data);
        std::uint32_t frames = 0;
        if (position != nullptr) {
            frames = static_cast<std::uint32_t>(position->clock.duration);
            s->quantum.store(frames, std::memory_order_relaxed);
            s->rate.store(position->clock.rate.denom, std::memory_order_relaxed);
        }
        s->cycles.fetch_add(1, std::memory_order_relaxed);
        if (frames == 0) return;
        s->in_callback.store(true);
        if (s->capture.on.load()) s->capture.run(frames);
        if (s->playback.on.load()) s->playback.run(frames);
        s->in_callback.store(false);
    }
    // The loop's thread.
    // The node falling back to unconnected, unless we close it, is a server gone.
    static void on_state(void* data, pw_filter_state old, pw_filter_state state, const char*) {
        auto* s = static_cast<Session*>(data);
        if (state == PW_FILTER_STATE_ERROR ||
            (state == PW_FILTER_STATE_UNCONNECTED && old != PW_FILTER_STATE_UNCONNECTED && !s->closing))
            s->lost.store(true);
    }
    // The loop's thread: the latency PipeWire reports for one of our ports
    // (upstream for an input port, downstream for an output port).
    static void on_param(void* data, void* port_data, std::uint32_t id, const spa_pod* param) {
        auto* s = static_cast<Session*>(data);
        if (port_data == nullptr || id != SPA_PARAM_Latency || param == nullptr) return;
        const auto* tag = static_cast<const PortTag*>(port_data);
        spa_latency_info info{};
        if (spa_latency_parse(param, &info) < 0) return;
        const bool upstream = info.direction == SPA_DIRECTION_OUTPUT;
        if (upstream != tag->input || tag->channel < 0 || tag->channel >= kMaxChannels) return;
        Side& side = tag->input ? s->capture : s->playback;
        Latency& l = side.latency[static_cast<std::size_t>(tag->channel)];
        l.milli_quanta.store(static_cast<std::uint32_t>(std::clamp(info.max_quantum, 0.0f, 1e6f) * 1000.0f));
        l.frames.store(std::min<std::uint32_t>(info.max_rate, 10000000u));
        l.ns.store(std::min<std::uint64_t>(info.max_ns, 100000000000ull));
    }

    // Switches a side off and returns once no callback can be inside it. UI thread.
    void switch_off(Side& side) {
        side.on.store(false);
        const auto deadline = Clock::now() + kCallbackWait;
        while (in_callback.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    bool gone() const { return lost.load() || conn.lost.load(); }
};

// Removes our links of one side (the ports stay for the node's life). Lock held.
void unlink(Side& side) {
    for (pw_proxy* l : side.links) pw_proxy_destroy(l);
    side.links.clear();
    for (auto& l : side.latency) l.clear();
}

// Closes the node and its connection, whatever state the server is in. UI thread.
void close_session(std::unique_ptr<Session>& s) {
    if (!s) return;
    s->switch_off(s->capture);
    s->switch_off(s->playback);
    s->conn.lock();
    unlink(s->capture);
    unlink(s->playback);
    s->closing = true;
    if (s->filter != nullptr) pw_filter_destroy(s->filter);
    s->filter = nullptr;
    s->conn.unlock();
    s->conn.close();
    s.reset();
}

class PipeWireBackend final : public AudioBackend {
public:
    ~PipeWireBackend() override { close_session(session_); }

    std::vector<BackendDevice> devices() override {
        std::vector<BackendDevice> out;
        Connection c;
        if (!c.open("tonewarp-list")) return out;
        c.lock();
        int inputs = 0, outputs = 0;
        for (const auto& n : c.nodes) {
            // Inputs are left out while the node's capture reads silence
            // (see the header): only sinks are offered.
            const bool in = false, play = plays_to(n);
            if (!in && !play) continue;
            BackendDevice d{Connection::shown_name(n), 0, 0, false};
            // A node whose ports are not shown yet counts as stereo.
            if (in) d.input_channels = std::max<int>(1, static_cast<int>(c.ports_of(n.id, true).size()));
            if (play) d.output_channels = std::max<int>(1, static_cast<int>(c.ports_of(n.id, false).size()));
            if (in && c.ports_of(n.id, true).empty()) d.input_channels = 2;
            if (play && c.ports_of(n.id, false).empty()) d.output_channels = 2;
            inputs += in ? 1 : 0;
            outputs += play ? 1 : 0;
            if (std::none_of(out.begin(), out.end(), [&](const BackendDevice& o) { return o.name == d.name; }))
                out.push_back(std::move(d));
        }
        c.unlock();
        if (inputs > 0 || outputs > 0)
            out.insert(out.begin(), BackendDevice{kPipeWireDefault, inputs > 0 ? 2 : 0, outputs > 0 ? 2 : 0, false});
        return out;
    }

    int min_buffer_frames(const std::string&, int, int) override { return env_int("TONEWARP_PW_QUANTUM", 256, 64, 1024); }

    std::string start_capture(const StreamRequest& r, int& frames_out, CaptureFn fn, void* user) override {
        stop_capture();
        return start(true, r, frames_out, fn, nullptr, user);
    }
    void stop_capture() override { stop(true); }

    std::string start_playback(const StreamRequest& r, int& frames_out, PlaybackFn fn, void* user) override {
        stop_playback();
        return start(false, r, frames_out, nullptr, fn, user);
    }
    void stop_playback() override { stop(false); }

    bool stream_lost() const override { return open_failed_lost_ || (session_ && session_->gone()); }
    bool one_cycle_duplex() const override { return true; }

    int graph_frames() const override {
        return session_ && !session_->gone() ? static_cast<int>(session_->quantum.load(std::memory_order_relaxed)) : 0;
    }
    int graph_rate() const override {
        return session_ && !session_->gone() ? static_cast<int>(session_->rate.load(std::memory_order_relaxed)) : 0;
    }
    // UI thread (reads only atomics of the session the UI thread owns).
    double capture_latency_ms() const override { return latency_ms(true); }
    double playback_latency_ms() const override { return latency_ms(false); }

private:
    double latency_ms(bool input) const {
        if (!session_ || session_->gone()) return 0.0;
        const Side& side = input ? session_->capture : session_->playback;
        if (!side.on.load()) return 0.0;
        const std::uint32_t quantum = session_->quantum.load(std::memory_order_relaxed);
        const std::uint32_t rate = session_->rate.load(std::memory_order_relaxed);
        double most = 0.0;
        for (int c = 0; c < side.channels; ++c)
            most = std::max(most, side.latency[static_cast<std::size_t>(c)].in_frames(quantum, rate));
        return rate > 0 ? 1000.0 * most / rate : 0.0;
    }

    static std::string server_stopped(const std::string& shown) {
        return "The PipeWire server stopped while " + shown + " was being opened. Start it again and press START.";
    }

    // Opens the connection and the node, with no port yet. UI thread.
    std::string open_session(const StreamRequest& r, int quantum) {
        auto s = std::make_unique<Session>();
        s->conn.lost_too = &s->lost;
        if (!s->conn.open("tonewarp-pw")) {
            open_failed_lost_ = true;
            return "The PipeWire server does not answer; " + r.device_name +
                   " cannot be opened. Start PipeWire (and its session manager) and press START again.";
        }
        const std::string latency = std::to_string(quantum) + "/" + std::to_string(r.sample_rate);
        const std::string rate = "1/" + std::to_string(r.sample_rate);
        s->conn.lock();
        pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Duplex",
                                                 PW_KEY_MEDIA_ROLE, "DSP", PW_KEY_NODE_NAME, "tonewarp",
                                                 PW_KEY_NODE_DESCRIPTION, "Tonewarp", PW_KEY_NODE_LATENCY,
                                                 latency.c_str(), PW_KEY_NODE_RATE, rate.c_str(),
                                                 PW_KEY_NODE_WANT_DRIVER, "true",
                                                 nullptr);
        s->filter = pw_filter_new(s->conn.core(), "tonewarp", props);
        std::string err;
        if (s->filter == nullptr) {
            err = "PipeWire would not make a node for " + r.device_name + ".";
        } else {
            static const pw_filter_events events = [] {
                pw_filter_events e{};
                e.version = PW_VERSION_FILTER_EVENTS;
                e.state_changed = &Session::on_state;
                e.param_changed = &Session::on_param;
                e.process = &Session::on_process;
                return e;
            }();
            pw_filter_add_listener(s->filter, &s->filter_listener, &events, s.get());
            Session* raw = s.get();
            // Both directions' ports from the start: the graph sets a node's
            // ports up for its cycles when it connects.
            for (Side* side : {&s->capture, &s->playback})
                for (int ch = 0; ch < kMaxChannels && err.empty(); ++ch) {
                    pw_properties* port_props =
                        pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME,
                                          Side::port_name(side->input, ch), PW_KEY_AUDIO_CHANNEL, ch == 0 ? "FL" : "FR",
                                          nullptr);
                    void* p = pw_filter_add_port(s->filter, side->input ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT,
                                                 PW_FILTER_PORT_FLAG_MAP_BUFFERS, sizeof(PortTag), port_props, nullptr, 0);
                    if (p == nullptr) {
                        err = "PipeWire refused the port " + std::string(Side::port_name(side->input, ch)) + ".";
                        break;
                    }
                    *static_cast<PortTag*>(p) = PortTag{s.get(), side->input, ch};
                    side->ports[static_cast<std::size_t>(ch)] = p;
                }
            if (!err.empty())
                ;  // said above
            else if (pw_filter_connect(s->filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) < 0)
                err = "PipeWire would not start the node for " + r.device_name + ".";
            else if (!s->conn.wait_until([raw] { return pw_filter_get_node_id(raw->filter) != SPA_ID_INVALID; },
                                         kStartWait))
                err = s->gone() ? server_stopped(r.device_name)
                                : "PipeWire did not show the node for " + r.device_name + " in time. Press START again.";
        }
        s->conn.unlock();
        if (!err.empty()) {
            open_failed_lost_ = s->gone();
            close_session(s);
            return err;
        }
        session_ = std::move(s);
        return {};
    }

    // Undoes a half-started side; the whole node goes when no side is left. UI thread.
    std::string fail(Side& side, const std::string& shown, const std::string& why) {
        const bool gone = session_->gone();
        session_->conn.lock();
        unlink(side);
        session_->conn.unlock();
        if (!session_->capture.on.load() && !session_->playback.on.load()) close_session(session_);
        open_failed_lost_ = gone;
        return gone ? server_stopped(shown) : why;
    }

    std::string start(bool input, const StreamRequest& r, int& frames_out, CaptureFn cfn, PlaybackFn pfn, void* user) {
        open_failed_lost_ = false;
        const std::string what = input ? "input" : "output";
        const std::string& shown = r.device_name;
        if (shown.rfind(kPipeWireLabel, 0) != 0) return "The " + what + " device \"" + shown + "\" is not a PipeWire device.";
        if (session_ && session_->gone()) {
            open_failed_lost_ = true;
            return server_stopped(shown);
        }
        const int quantum = env_int("TONEWARP_PW_QUANTUM", r.frames, 64, 1024);
        if (!session_) {
            std::string err = open_session(r, quantum);
            if (!err.empty()) return err;
        }
        Session& s = *session_;
        Side& side = input ? s.capture : s.playback;
        side.channels = r.channels == 1 ? 1 : 2;
        side.capture = cfn;
        side.playback = pfn;
        side.user = user;
        side.interleaved.assign(static_cast<std::size_t>(kPassFrames) * static_cast<std::size_t>(side.channels), 0.0f);

        Connection& c = s.conn;
        c.lock();
        const GraphNode* target = c.node_for(shown, input);
        if (target == nullptr) {
            c.unlock();
            return fail(side, shown, "The " + what + " device \"" + shown + "\" is no longer there.");
        }
        const std::uint32_t target_id = target->id;
        // Our ports and the device's, once the registry shows them.
        const std::uint32_t own = pw_filter_get_node_id(s.filter);
        std::vector<std::uint32_t> ours, theirs;
        const bool shown_ports = c.wait_until(
            [&] {
                ours.clear();
                for (int ch = 0; ch < side.channels; ++ch)
                    for (const auto& p : c.ports)
                        if (p.node == own && p.output != input && p.name == Side::port_name(input, ch)) ours.push_back(p.id);
                theirs.clear();
                for (const GraphPort* p : c.ports_of(target_id, input)) theirs.push_back(p->id);
                return static_cast<int>(ours.size()) == side.channels && static_cast<int>(theirs.size()) >= side.channels;
            },
            kStartWait);
        if (!shown_ports) {
            c.unlock();
            if (static_cast<int>(ours.size()) == side.channels && !theirs.empty() && !s.gone())
                return fail(side, shown,
                            shown + " has " + std::to_string(theirs.size()) + " " + what + " channel(s); " +
                                std::to_string(side.channels) + " are needed. Choose Mono or another device.");
            return fail(side, shown, "PipeWire did not show the ports of " + shown + " in time. Press START again.");
        }
        // Channel by channel; a mono output feeds every channel of the device.
        const std::size_t links = (!input && side.channels == 1) ? theirs.size() : static_cast<std::size_t>(side.channels);
        for (std::size_t i = 0; i < links; ++i) {
            const std::uint32_t mine = ours[std::min(i, ours.size() - 1)];
            const std::string out_node = std::to_string(input ? target_id : own);
            const std::string in_node = std::to_string(input ? own : target_id);
            const std::string out_port = std::to_string(input ? theirs[i] : mine);
            const std::string in_port = std::to_string(input ? mine : theirs[i]);
            pw_properties* props =
                pw_properties_new(PW_KEY_LINK_OUTPUT_NODE, out_node.c_str(), PW_KEY_LINK_OUTPUT_PORT, out_port.c_str(),
                                  PW_KEY_LINK_INPUT_NODE, in_node.c_str(), PW_KEY_LINK_INPUT_PORT, in_port.c_str(),
                                  PW_KEY_OBJECT_LINGER, "false", nullptr);
            auto* link = static_cast<pw_proxy*>(pw_core_create_object(c.core(), "link-factory", PW_TYPE_INTERFACE_Link,
                                                                      PW_VERSION_LINK, &props->dict, 0));
            pw_properties_free(props);
            if (link == nullptr) {
                c.unlock();
                return fail(side, shown, "PipeWire could not link the node to " + shown + ".");
            }
            side.links.push_back(link);
        }
        // A few cycles, so the graph's rate and quantum are known.
        const std::uint64_t cycles = s.cycles.load();
        const bool running = c.sync() && c.wait_until([&] { return s.cycles.load() >= cycles + 2; }, kStartWait);
        c.unlock();
        if (!running)
            return fail(side, shown, "The PipeWire graph does not run the node for " + shown + ". Press START again.");
        const auto graph_rate = static_cast<int>(s.rate.load());
        if (graph_rate != r.sample_rate)
            return fail(side, shown,
                        "The PipeWire graph runs at " + std::to_string(graph_rate) + " Hz; " +
                            std::to_string(r.sample_rate) + " Hz cannot be used with it. Choose " +
                            std::to_string(graph_rate) + " Hz.");
        frames_out = static_cast<int>(s.quantum.load());
        side.on.store(true);
        return {};
    }

    void stop(bool input) {
        if (!session_) return;
        Side& side = input ? session_->capture : session_->playback;
        session_->switch_off(side);
        Side& other = input ? session_->playback : session_->capture;
        if (!other.on.load()) {
            close_session(session_);
        } else {
            session_->conn.lock();
            unlink(side);
            session_->conn.unlock();
        }
    }

    std::unique_ptr<Session> session_;
    bool open_failed_lost_ = false;  // the last start failed because the server had gone
};

}  // namespace

std::unique_ptr<AudioBackend> make_pipewire_backend() { return std::make_unique<PipeWireBackend>(); }

}  // namespace tw::audio
