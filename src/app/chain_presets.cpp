#include "app/chain_presets.h"

#include "app/chain_editor.h"
#include "engine/effects.h"
#include "fx/kind_ids.h"

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
    // The next chain is built aside while the current one plays on: a new
    // instance per row (files read, settings applied), then one commit.
    ChainTable next = editor.staging();
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        next.slot[s] = editor.make_slot(effective_kind(g_record, s));
        next.slot[s].enabled = g_record.enabled(s);
    }
    for (int s = 0; s < next.count && s < kPresetUsedSlots; ++s) {
        g_record.get_params(s, exchange);
        if (next.slot[s].params != nullptr) next.slot[s].params(&exchange, next.slot[s].instance, 1);
    }
    editor.replace_chain(next);
}

void build_preset_record(ChainEditor& editor) {
    ParamRecord exchange;  // cleared once: a slot keeps what the slots before it left
    const ChainTable& staging = editor.staging();
    for (int s = 0; s < staging.count && s < kPresetSlots; ++s) {
        g_record.set_kind(s, staging.slot[s].kind);
        g_record.set_enabled(s, staging.slot[s].enabled);
        if (staging.slot[s].params != nullptr) staging.slot[s].params(&exchange, staging.slot[s].instance, 0);
        g_record.set_params(s, exchange);
    }
    g_record.set_version(kPresetVersion);
}

bool save_preset_file(ChainEditor& editor, const std::string& path, std::string* error) {
    build_preset_record(editor);
    return write_preset_record(path, g_record, error);
}

}  // namespace tw
