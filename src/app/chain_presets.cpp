#include "app/chain_presets.h"

#include "app/chain_editor.h"
#include "engine/effects.h"

namespace tw {

namespace {
PresetRecord g_record;
std::string g_current_path;
}  // namespace

PresetRecord& preset_record() { return g_record; }
const std::string& current_preset_path() { return g_current_path; }
void set_current_preset_path(const std::string& path) { g_current_path = path; }

bool load_preset(ChainEditor& editor, const std::string& path) {
    PresetRecord file;
    if (!read_preset_record(path, file)) return false;
    load_preset_record(editor, file, path);
    return true;
}

void load_preset_record(ChainEditor& editor, const PresetRecord& file, const std::string& path) {
    ParamRecord exchange;  // all 101 words 0
    g_record = file;
    g_current_path = path;

    if (!editor.built()) editor.fill_kind_lists_and_build_chain();
    // A load inside another closed section keeps the gate as it found it.
    const std::int32_t was_loaded = close_gate_and_wait(chain_loaded);
    ChainTable& staging = editor.staging();
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        const int n = s + 1;
        ChainRow& r = editor.row(n);
        staging.enabled[s] = g_record.enabled(s);
        r.check.set_checked(g_record.enabled(s) == 1);
        r.combo.set_item_index_silent(effective_kind(g_record, s));
        editor.slot_kind_change(n);
    }
    for (int s = 0; s < staging.count && s < kPresetUsedSlots; ++s) {
        g_record.get_params(s, exchange);
        if (staging.params[s] != nullptr) staging.params[s](&exchange, staging.instance[s], 1);
    }
    reopen_gate(chain_loaded, was_loaded == 0 ? 0 : 1);
}

void build_preset_record(ChainEditor& editor) {
    ParamRecord exchange;  // cleared once: a slot keeps what the slots before it left
    const ChainTable& staging = editor.staging();
    for (int s = 0; s < staging.count && s < kPresetSlots; ++s) {
        g_record.set_kind(s, staging.kind[s]);
        g_record.set_enabled(s, staging.enabled[s]);
        if (staging.params[s] != nullptr) staging.params[s](&exchange, staging.instance[s], 0);
        g_record.set_params(s, exchange);
    }
    g_record.set_version(kPresetVersion);
}

bool save_preset_file(ChainEditor& editor, const std::string& path, std::string* error) {
    build_preset_record(editor);
    return write_preset_record(path, g_record, error);
}

}  // namespace tw
