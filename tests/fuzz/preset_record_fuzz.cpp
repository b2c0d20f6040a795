// Fuzz target: any bytes as a preset file. The record is read and loaded into
// a chain editor as the program loads a preset, a short buffer runs through
// the loaded chain (its output must stay finite), and the record is listed as
// text. (That its JSON form builds back is checked over random records by the
// preset JSON unit tests; here it would cost most of the time.)
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "engine/effects.h"
#include "presets/preset_file.h"
#include "presets/preset_json.h"

namespace {

const std::string& scratch_path() {
    static const std::string p = "/dev/shm/tw_fuzz_record_" + std::to_string(::getpid()) + ".pre";
    return p;
}

tw::ChainEditor& editor() {
    static tw::ChainEditor* e = [] {
        auto* made = new tw::ChainEditor();
        made->fill_kind_lists_and_build_chain();
        tw::chain_active.store(1);
        return made;
    }();
    return *e;
}

void run_chain(int channels) {
    float buf[2 * 64];
    const int frames = 64;
    for (int i = 0; i < frames * channels; ++i) buf[i] = 12000.0f * std::sin(0.05f * static_cast<float>(i));
    tw::process_chain(frames, 48000, channels, buf);
    for (int i = 0; i < frames * channels; ++i)
        if (!std::isfinite(buf[i])) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(scratch_path().c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);

    tw::PresetRecord rec;
    if (!tw::read_preset_record(scratch_path(), rec)) return 0;
    if (!tw::load_preset(editor(), scratch_path())) __builtin_trap();  // read once, must load
    run_chain(2);
    run_chain(1);

    (void)tw::preset_to_text(rec);
    return 0;
}
