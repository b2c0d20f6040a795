// The LV2 plugins sound as the program does: lv2apply (the host) over the
// demo guitar against tonewarp-render with the same settings, for every kind
// at its start positions and at a second setting, in mono and stereo, and
// for the chain plugin with three bundled presets.
//
// lv2apply runs one frame per block, so the renders run --block 1; both read
// and write 32-bit float WAV files, so the samples must match bit for bit.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fx/kinds.h"
#include "platform/program_files.h"
#include "plugin_list.h"
#include "presets/preset_file.h"

namespace tw::lv2 {
namespace {

namespace fs = std::filesystem;

constexpr int kExcerptFrames = 24000;  // half a second at 48 kHz

struct Wav {
    int channels = 0;
    int rate = 0;
    std::vector<float> samples;
};

Wav read_wav(const fs::path& p) {
    Wav w;
    SF_INFO info{};
    SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info);
    if (f == nullptr) return w;
    w.channels = info.channels;
    w.rate = info.samplerate;
    w.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(f, w.samples.data(), info.frames);
    sf_close(f);
    return w;
}

void write_wav(const fs::path& p, const Wav& w) {
    SF_INFO info{};
    info.channels = w.channels;
    info.samplerate = w.rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, w.samples.data(), static_cast<sf_count_t>(w.samples.size() / w.channels));
    sf_close(f);
}

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

int run(const std::string& command) {
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class Lv2Sound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("tw_lv2_sound_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        // A private program folder both sides use (effects that keep files
        // read the same ones): the backing track the WAV playback kind plays.
        home_ = (dir_ / "home").string();
        fs::create_directories(home_);
        std::error_code ec;
        fs::copy_file(fs::path(TW_PROGRAM_FOLDER) / "demo1.wav", fs::path(home_) / "demo1.wav", ec);
        platform::set_program_folder(home_);
        const Wav demo = read_wav(TW_DEMO_GUITAR);
        ASSERT_GT(demo.samples.size(), 0u) << "the demo guitar " TW_DEMO_GUITAR " is missing";
        // A mono excerpt (the first channel) and a stereo one whose right
        // channel differs (delayed and softer), both as float WAV.
        Wav mono{1, demo.rate, {}};
        Wav stereo{2, demo.rate, {}};
        const auto frames = std::min<std::size_t>(kExcerptFrames, demo.samples.size() / demo.channels);
        for (std::size_t f = 0; f < frames; ++f) {
            const float x = demo.samples[f * demo.channels];
            mono.samples.push_back(x);
            stereo.samples.push_back(x);
            stereo.samples.push_back(f >= 300 ? 0.7f * demo.samples[(f - 300) * demo.channels] : 0.0f);
        }
        write_wav(dir_ / "in1.wav", mono);
        write_wav(dir_ / "in2.wav", stereo);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Renders `preset` and runs `uri` with `controls` over the excerpt with
    // `channels`; expects the same samples.
    static void expect_same(const std::string& tag, const PresetRecord& preset, const std::string& uri, int channels,
                            const std::vector<std::pair<std::string, float>>& controls) {
        SCOPED_TRACE(tag);
        const fs::path in = dir_ / ("in" + std::to_string(channels) + ".wav");
        const fs::path pre = dir_ / (tag + ".pre");
        const fs::path from_render = dir_ / (tag + "-render.wav");
        const fs::path from_plugin = dir_ / (tag + "-lv2.wav");
        std::string why;
        ASSERT_TRUE(write_preset_record(pre.string(), preset, &why)) << why;
        ASSERT_EQ(run(TW_RENDER_EXE " --block 1 --threads 1 --home " + shell_quoted(home_) + " --preset " + shell_quoted(pre) + " " +
                      shell_quoted(in) + " " + shell_quoted(from_render)),
                  0);
        std::string apply = std::string("LV2_PATH=") + TW_LV2_PATH + " TONEWARP_HOME=" + shell_quoted(home_) +
                            " lv2apply -i " + shell_quoted(in) + " -o " + shell_quoted(from_plugin);
        for (const auto& [symbol, value] : controls) apply += " -c " + symbol + " " + std::to_string(value);
        ASSERT_EQ(run(apply + " " + uri), 0) << apply;
        const Wav a = read_wav(from_render);
        const Wav b = read_wav(from_plugin);
        ASSERT_EQ(a.channels, channels);
        ASSERT_EQ(b.channels, channels);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        std::size_t differ = 0, first = 0;
        double largest = 0;
        for (std::size_t i = 0; i < a.samples.size(); ++i)
            if (std::memcmp(&a.samples[i], &b.samples[i], sizeof(float)) != 0) {
                if (differ++ == 0) first = i;
                largest = std::max(largest, std::fabs(double(a.samples[i]) - b.samples[i]));
            }
        EXPECT_EQ(differ, 0u) << "first at sample " << first << ", largest difference " << largest;
        std::error_code ec;
        fs::remove(from_render, ec);
        fs::remove(from_plugin, ec);
    }

    static fs::path dir_;
    static std::string home_;
};
fs::path Lv2Sound::dir_;
std::string Lv2Sound::home_;

// A setting other than the start: each bar two thirds along its range (or
// one step from its start), each box flipped, each choice the next item.
// Only controls the preset record stores are moved: the renderer gets the
// settings through a preset.
float second_value(const ControlPort& p) {
    switch (p.control) {
        case PortControl::Bar: {
            const int v = p.min + (p.max - p.min) * 2 / 3;
            return static_cast<float>(v != p.start ? v : (v < p.max ? v + 1 : v - 1));
        }
        case PortControl::Check: return p.start != 0 ? 0.0f : 1.0f;
        case PortControl::Choice:
        case PortControl::List: return static_cast<float>(p.start + 1 <= p.max ? p.start + 1 : 0);
    }
    return 0;
}

// Whether the kind's preset record stores the control (a field of its name,
// an element of a row of controls, or a value its handler sets). Only those
// reach tonewarp-render.
bool stored_in_preset(const KindDecl& decl, const std::string& symbol) {
    for (const FieldDecl& f : decl.fields) {
        if (f.count == 1 && symbol == f.name) return true;
        if (f.mirrors != nullptr && symbol == f.mirrors) return true;
        for (int i = 0; f.count > 1 && i < f.count; ++i)
            if (symbol == f.name + std::to_string(f.index_base + i)) return true;
    }
    return false;
}

TEST_F(Lv2Sound, EveryKindAtItsStartAndASecondSetting) {
    int kinds = 0;
    for (const PluginInfo& info : plugin_list()) {
        if (info.kind == kChainKind) continue;
        const KindDecl* decl = kind_decl(info.kind);
        for (int setting = 0; setting < 2; ++setting) {
            // A kind that stores nothing in presets cannot carry a second
            // setting to the renderer.
            if (setting == 1 && decl->stores_nothing) continue;
            std::unique_ptr<EffectInstance> inst(decl->entries.create());
            std::vector<ControlPort> ports = control_ports(*effect_form(inst.get()));
            std::vector<std::pair<std::string, float>> controls;
            int moved = 0;
            for (const ControlPort& p : ports) {
                const bool second = setting == 1 && stored_in_preset(*decl, p.symbol);
                moved += second ? 1 : 0;
                const float v = second ? second_value(p) : static_cast<float>(p.start);
                apply_port(p, v);
                controls.emplace_back(p.symbol, v);
            }
            if (setting == 1) EXPECT_GT(moved, 0) << info.slug << ": no control of its window is stored in presets";
            PresetRecord preset;
            preset.set_version(kPresetVersion);
            preset.set_kind(0, info.kind);
            preset.set_enabled(0, 1);
            ParamRecord r;
            decl->entries.params(&r, inst.get(), 0);
            preset.set_params(0, r);
            expect_same(info.slug + (setting == 0 ? "-start" : "-second"), preset, info.uri, info.channels, controls);
        }
        ++kinds;
    }
    int built = 0;
    for (const KindDecl& d : kind_decls()) built += d.kind != kKindEmpty && d.built() ? 1 : 0;
    EXPECT_EQ(kinds, 2 * built);
}

TEST_F(Lv2Sound, ChainWithBundledPresets) {
    for (const int n : {3, 4, 9}) {
        PresetRecord preset;
        std::string why;
        fs::path file;
        for (const auto& e : fs::directory_iterator(TW_BUILT_PRESETS)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("F" + std::to_string(n) + " ", 0) == 0) file = e.path();
        }
        ASSERT_FALSE(file.empty()) << "no bundled preset F" << n;
        ASSERT_TRUE(read_preset_record(file.string(), preset, &why)) << why;
        for (const PluginInfo& info : plugin_list())
            if (info.kind == kChainKind)
                expect_same(info.slug + "-F" + std::to_string(n), preset, info.uri, info.channels,
                            {{kProgramSymbol, static_cast<float>(n)}});
    }
}

}  // namespace
}  // namespace tw::lv2
