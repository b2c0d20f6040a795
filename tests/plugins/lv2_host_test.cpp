// A small lilv host: every plugin of the bundle instantiated with a URID
// map, a worker and a maximum block length, run in blocks of 1, 37, 512 and
// 2048 frames, each control port changed, state saved and restored into a
// second instance, the chain loaded from a file through patch:Set, with
// every heap allocation on the calling thread counted while run() and the
// worker's responses (which run on the audio thread) execute.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "plugin_list.h"

namespace {
thread_local bool counting = false;
std::atomic<long> allocations{0};
void note_allocation() {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void* operator new(std::size_t n) {
    note_allocation();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    note_allocation();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t n) {
    note_allocation();
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t a, std::size_t b) {
    note_allocation();
    return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, std::size_t n) {
    note_allocation();
    return __libc_realloc(p, n);
}
#endif

namespace tw::lv2 {
namespace {

constexpr std::uint32_t kMaxBlock = 2048;
constexpr double kRate = 48000;

// The host's URID map (main thread only: the plugins map at instantiation).
struct UridMap {
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->id(uri); }};
    LV2_URID_Unmap unmap{this, [](LV2_URID_Unmap_Handle h, LV2_URID u) {
                             auto* m = static_cast<UridMap*>(h);
                             return u >= 1 && u <= m->uris.size() ? m->uris[u - 1].c_str() : nullptr;
                         }};
    LV2_URID id(const char* uri) {
        auto [it, added] = ids.emplace(uri, 0);
        if (added) {
            uris.emplace_back(uri);
            it->second = static_cast<LV2_URID>(uris.size());
        }
        return it->second;
    }
};

// A worker that queues jobs in fixed rings (no allocation on schedule or
// respond) and runs them when the test says, between blocks.
struct Worker {
    static constexpr std::size_t kSlots = 256, kBytes = 2048;
    struct Ring {
        std::array<std::array<std::uint8_t, kBytes>, kSlots> data{};
        std::array<std::uint32_t, kSlots> size{};
        std::size_t count = 0;
        bool push(std::uint32_t n, const void* p) {
            if (count == kSlots || n > kBytes) return false;
            std::memcpy(data[count].data(), p, n);
            size[count++] = n;
            return true;
        }
    };
    Ring jobs, responses;
    const LV2_Worker_Interface* iface = nullptr;
    LV2_Handle handle = nullptr;
    LV2_Worker_Schedule schedule{this, [](LV2_Worker_Schedule_Handle h, std::uint32_t n, const void* p) {
                                     return static_cast<Worker*>(h)->jobs.push(n, p) ? LV2_WORKER_SUCCESS
                                                                                     : LV2_WORKER_ERR_NO_SPACE;
                                 }};
    // Runs the queued jobs (off the audio thread), then their responses (on
    // it, counted), until nothing is left.
    long drain() {
        long counted = 0;
        while (jobs.count > 0) {
            Ring now = jobs;
            jobs.count = 0;
            for (std::size_t i = 0; i < now.count; ++i)
                iface->work(
                    handle,
                    [](LV2_Worker_Respond_Handle h, std::uint32_t n, const void* p) {
                        return static_cast<Worker*>(h)->responses.push(n, p) ? LV2_WORKER_SUCCESS
                                                                             : LV2_WORKER_ERR_NO_SPACE;
                    },
                    this, now.size[i], now.data[i].data());
            const long before = allocations.load();
            counting = true;
            for (std::size_t i = 0; i < responses.count; ++i)
                iface->work_response(handle, responses.size[i], responses.data[i].data());
            counting = false;
            responses.count = 0;
            counted += allocations.load() - before;
        }
        return counted;
    }
};

struct Ports {
    std::vector<std::vector<float>> audio;
    std::vector<float> control;
    alignas(8) std::array<std::uint8_t, 4096> atom_in{};
    alignas(8) std::array<std::uint8_t, 4096> atom_out{};
};

// The chain record's literal in a saved state's text.
std::string record_of(const std::string& text) {
    const std::size_t key = text.find(kChainRecordKey);
    if (key == std::string::npos) return "";
    std::size_t open = text.find('"', key);
    if (open == std::string::npos) return "";
    // A long literal may be written in triple quotes.
    const std::string quote = text.compare(open, 3, "\"\"\"") == 0 ? "\"\"\"" : "\"";
    open += quote.size();
    const std::size_t close = text.find(quote, open);
    return close == std::string::npos ? "" : text.substr(open, close - open);
}

class Lv2Host : public ::testing::Test {
protected:
    void SetUp() override {
        world_ = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world_, nullptr, (std::string(TW_LV2_BUNDLE) + "/").c_str());
        lilv_world_load_bundle(world_, bundle);
        lilv_node_free(bundle);
        max_block_ = kMaxBlock;
        options_ = {
            LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, urids_.id(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
                               urids_.id(LV2_ATOM__Int), &max_block_},
            LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    }
    void TearDown() override { lilv_world_free(world_); }

    struct Running {
        const LilvPlugin* plugin = nullptr;
        LilvInstance* instance = nullptr;
        Worker worker;
        Ports ports;
        long instantiate_allocations = 0;
        ~Running() {
            if (instance != nullptr) {
                lilv_instance_deactivate(instance);
                lilv_instance_free(instance);
            }
        }
    };

    std::unique_ptr<Running> start(const PluginInfo& info, const LilvState* state = nullptr) {
        auto r = std::make_unique<Running>();
        LilvNode* uri = lilv_new_uri(world_, info.uri.c_str());
        r->plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
        lilv_node_free(uri);
        if (r->plugin == nullptr) return nullptr;
        LV2_Feature map{LV2_URID__map, &urids_.map};
        LV2_Feature unmap{LV2_URID__unmap, &urids_.unmap};
        LV2_Feature sched{LV2_WORKER__schedule, &r->worker.schedule};
        LV2_Feature opts{LV2_OPTIONS__options, options_.data()};
        const LV2_Feature* features[] = {&map, &unmap, &sched, &opts, nullptr};
        const long before = allocations.load();
        counting = true;
        r->instance = lilv_plugin_instantiate(r->plugin, kRate, features);
        counting = false;
        // The counter sees the plugin's own allocations (its operator new and
        // malloc are this program's).
        r->instantiate_allocations = allocations.load() - before;
        if (r->instance == nullptr) return nullptr;
        r->worker.handle = lilv_instance_get_handle(r->instance);
        r->worker.iface = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(r->instance, LV2_WORKER__interface));
        const std::uint32_t n = lilv_plugin_get_num_ports(r->plugin);
        std::vector<float> mins(n), maxs(n), defs(n);
        lilv_plugin_get_port_ranges_float(r->plugin, mins.data(), maxs.data(), defs.data());
        r->ports.control = defs;
        LilvNode* audio = lilv_new_uri(world_, LV2_CORE__AudioPort);
        LilvNode* atom = lilv_new_uri(world_, LV2_ATOM__AtomPort);
        LilvNode* input = lilv_new_uri(world_, LV2_CORE__InputPort);
        for (std::uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(r->plugin, i);
            void* data = &r->ports.control[i];
            if (lilv_port_is_a(r->plugin, port, audio)) {
                r->ports.audio.emplace_back(kMaxBlock, 0.0f);
                data = r->ports.audio.back().data();
            } else if (lilv_port_is_a(r->plugin, port, atom)) {
                const bool in = lilv_port_is_a(r->plugin, port, input);
                auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(in ? r->ports.atom_in.data() : r->ports.atom_out.data());
                seq->atom.type = urids_.id(LV2_ATOM__Sequence);
                seq->atom.size = in ? sizeof(LV2_Atom_Sequence_Body) : 4096 - sizeof(LV2_Atom);
                data = seq;
            }
            lilv_instance_connect_port(r->instance, i, data);
        }
        // The audio buffers are never resized from here on.
        std::uint32_t a = 0;
        for (std::uint32_t i = 0; i < n; ++i)
            if (lilv_port_is_a(r->plugin, lilv_plugin_get_port_by_index(r->plugin, i), audio))
                lilv_instance_connect_port(r->instance, i, r->ports.audio[a++].data());
        lilv_node_free(audio);
        lilv_node_free(atom);
        lilv_node_free(input);
        if (state != nullptr) lilv_state_restore(state, r->instance, set_port, r.get(), 0, features);
        lilv_instance_activate(r->instance);
        return r;
    }

    static void set_port(const char* symbol, void* user, const void* value, std::uint32_t size, std::uint32_t) {
        auto* r = static_cast<Running*>(user);
        const std::uint32_t n = lilv_plugin_get_num_ports(r->plugin);
        for (std::uint32_t i = 0; i < n; ++i) {
            const LilvNode* s = lilv_port_get_symbol(r->plugin, lilv_plugin_get_port_by_index(r->plugin, i));
            if (size == sizeof(float) && std::strcmp(lilv_node_as_string(s), symbol) == 0)
                std::memcpy(&r->ports.control[i], value, sizeof(float));
        }
    }
    static const void* get_port(const char* symbol, void* user, std::uint32_t* size, std::uint32_t* type) {
        auto* r = static_cast<Running*>(user);
        const std::uint32_t n = lilv_plugin_get_num_ports(r->plugin);
        for (std::uint32_t i = 0; i < n; ++i) {
            const LilvPort* p = lilv_plugin_get_port_by_index(r->plugin, i);
            if (std::strcmp(lilv_node_as_string(lilv_port_get_symbol(r->plugin, p)), symbol) == 0) {
                *size = sizeof(float);
                *type = float_type_;
                return &r->ports.control[i];
            }
        }
        *size = 0;
        *type = 0;
        return nullptr;
    }

    // Fills the inputs with a plucked tone, runs one block with allocations
    // counted, and returns how many there were; the outputs must be finite.
    long run_block(Running& r, std::uint32_t frames) {
        for (auto& ch : r.ports.audio)
            for (std::uint32_t f = 0; f < frames; ++f)
                ch[f] = 0.4f * std::sin(static_cast<float>(phase_ + f) * 0.0523f) * std::exp(-1e-4f * float(phase_ + f));
        phase_ += frames;
        auto* out = reinterpret_cast<LV2_Atom_Sequence*>(r.ports.atom_out.data());
        out->atom.size = 4096 - sizeof(LV2_Atom);
        const long before = allocations.load();
        counting = true;
        lilv_instance_run(r.instance, frames);
        counting = false;
        const long made = allocations.load() - before;
        for (const auto& ch : r.ports.audio)
            for (std::uint32_t f = 0; f < frames; ++f) EXPECT_TRUE(std::isfinite(ch[f]));
        return made + r.worker.drain();
    }

    std::string state_text(Running& r) {
        LilvState* s = lilv_state_new_from_instance(r.plugin, r.instance, &urids_.map, nullptr, nullptr, nullptr,
                                                    nullptr, get_port, &r, 0, nullptr);
        if (s == nullptr) return "";
        char* text = lilv_state_to_string(world_, &urids_.map, &urids_.unmap, s, "urn:tonewarp:test", nullptr);
        std::string out = text != nullptr ? text : "";
        lilv_free(text);
        lilv_state_free(s);
        return out;
    }

    LilvWorld* world_ = nullptr;
    UridMap urids_;
    std::int32_t max_block_ = 0;
    std::vector<LV2_Options_Option> options_;
    std::uint32_t phase_ = 0;
    static inline LV2_URID float_type_ = 0;
};

TEST_F(Lv2Host, EveryPluginRunsAnyBlockChangesEachPortAndRestoresItsState) {
    float_type_ = urids_.id(LV2_ATOM__Float);
    int plugins = 0;
    for (const PluginInfo& info : plugin_list()) {
        SCOPED_TRACE(info.uri);
        auto r = start(info);
        ASSERT_NE(r, nullptr) << "cannot instantiate";
        ASSERT_NE(r->worker.iface, nullptr);
        EXPECT_GT(r->instantiate_allocations, 0);
        for (const std::uint32_t n : {1u, 37u, 512u, 2048u, 1u, 37u}) EXPECT_EQ(run_block(*r, n), 0) << n << " frames";
        // Each control port to its far end and back, a block after each.
        const std::uint32_t ports = lilv_plugin_get_num_ports(r->plugin);
        std::vector<float> mins(ports), maxs(ports), defs(ports);
        lilv_plugin_get_port_ranges_float(r->plugin, mins.data(), maxs.data(), defs.data());
        int changed = 0;
        for (std::uint32_t i = 0; i < ports; ++i) {
            if (std::isnan(defs[i])) continue;
            const LilvPort* p = lilv_plugin_get_port_by_index(r->plugin, i);
            LilvNode* control = lilv_new_uri(world_, LV2_CORE__ControlPort);
            const bool is_control = lilv_port_is_a(r->plugin, p, control);
            lilv_node_free(control);
            if (!is_control || std::strcmp(lilv_node_as_string(lilv_port_get_symbol(r->plugin, p)), kProgramSymbol) == 0)
                continue;
            r->ports.control[i] = defs[i] == maxs[i] ? mins[i] : maxs[i];
            EXPECT_EQ(run_block(*r, 37), 0) << "after changing " << lilv_node_as_string(lilv_port_get_symbol(r->plugin, p));
            ++changed;
        }
        if (info.kind != kChainKind) {
            EXPECT_GT(changed, 0);
        }
        // State into a second instance: it saves the same state back.
        const std::string saved = state_text(*r);
        ASSERT_FALSE(saved.empty());
        LilvState* state = lilv_state_new_from_string(world_, &urids_.map, saved.c_str());
        ASSERT_NE(state, nullptr);
        auto second = start(info, state);
        lilv_state_free(state);
        ASSERT_NE(second, nullptr);
        for (const std::uint32_t n : {1u, 512u}) EXPECT_EQ(run_block(*second, n), 0);
        EXPECT_EQ(state_text(*second), saved);
        ++plugins;
    }
    EXPECT_EQ(plugins, static_cast<int>(plugin_list().size()));
}

TEST_F(Lv2Host, ChainLoadsAPresetFileThroughPatchSetAndTheBundledPresets) {
    float_type_ = urids_.id(LV2_ATOM__Float);
    const PluginInfo* chain = nullptr;
    for (const PluginInfo& info : plugin_list())
        if (info.kind == kChainKind && info.channels == 2) chain = &info;
    ASSERT_NE(chain, nullptr);
    auto r = start(*chain);
    ASSERT_NE(r, nullptr);
    const std::string empty = state_text(*r);
    // patch:Set of the preset parameter to the bundle's F9 file.
    const std::string path = std::string(TW_LV2_BUNDLE) + "/presets/F9.pre";
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &urids_.map);
    lv2_atom_forge_set_buffer(&forge, r->ports.atom_in.data(), r->ports.atom_in.size());
    LV2_Atom_Forge_Frame seq, obj;
    lv2_atom_forge_sequence_head(&forge, &seq, 0);
    lv2_atom_forge_frame_time(&forge, 0);
    lv2_atom_forge_object(&forge, &obj, 0, urids_.id(LV2_PATCH__Set));
    lv2_atom_forge_key(&forge, urids_.id(LV2_PATCH__property));
    lv2_atom_forge_urid(&forge, urids_.id(kPresetParameter));
    lv2_atom_forge_key(&forge, urids_.id(LV2_PATCH__value));
    lv2_atom_forge_path(&forge, path.c_str(), static_cast<std::uint32_t>(path.size()));
    lv2_atom_forge_pop(&forge, &obj);
    lv2_atom_forge_pop(&forge, &seq);
    EXPECT_EQ(run_block(*r, 64), 0);
    auto* in = reinterpret_cast<LV2_Atom_Sequence*>(r->ports.atom_in.data());
    in->atom.size = sizeof(LV2_Atom_Sequence_Body);
    const std::string from_file = record_of(state_text(*r));
    EXPECT_GT(from_file.size(), 13188u * 4 / 3);
    EXPECT_NE(from_file, record_of(empty));
    // The bundled preset F9 through the program port gives the same record.
    auto second = start(*chain);
    ASSERT_NE(second, nullptr);
    for (std::uint32_t i = 0; i < second->ports.control.size(); ++i) {
        const LilvPort* p = lilv_plugin_get_port_by_index(second->plugin, i);
        if (std::strcmp(lilv_node_as_string(lilv_port_get_symbol(second->plugin, p)), kProgramSymbol) == 0)
            second->ports.control[i] = 9;
    }
    EXPECT_EQ(run_block(*second, 64), 0);
    EXPECT_EQ(record_of(state_text(*second)), from_file);
    // The same chain makes the same sound from here on.
    for (const std::uint32_t n : {1u, 37u, 512u}) {
        EXPECT_EQ(run_block(*r, n), 0);
        phase_ -= n;
        EXPECT_EQ(run_block(*second, n), 0);
        for (std::size_t c = 0; c < r->ports.audio.size(); ++c)
            for (std::uint32_t f = 0; f < n; ++f) ASSERT_EQ(r->ports.audio[c][f], second->ports.audio[c][f]);
    }
}

}  // namespace
}  // namespace tw::lv2
