// Presets applied to and taken from the main window's chain: the preset
// record the program keeps in memory, the path of the last preset read, and
// the load and save that drive the chain editor's rows. The record's layout,
// reading and writing are in presets/preset_file.h.
//
// Threads: everything here runs on the UI thread (tools call it from main).
#pragma once

#include <string>

#include "presets/preset_file.h"

namespace tw {

class ChainEditor;

// The preset record kept in memory for the whole run (zero-filled at start).
// UI thread.
PresetRecord& preset_record();
// The path of the last preset file read successfully ("" before). UI thread.
const std::string& current_preset_path();
void set_current_preset_path(const std::string& path);

// Reads the file into the in-memory record and applies it to the editor's
// chain (kinds, on/off, every slot's settings): the new chain is built aside
// (instances created, settings applied, files read) while the old one plays,
// then made live in one commit. An unreadable or short file
// changes nothing and returns false, silently. Builds the chain first if the
// editor has not built it yet. UI thread.
bool load_preset(ChainEditor& editor, const std::string& path);
// The same for a record already read from `path` (a pipe can be read only
// once). UI thread.
void load_preset_record(ChainEditor& editor, const PresetRecord& file, const std::string& path);

// Fills the in-memory record from the editor's staging chain: kinds, on/off
// and each slot's parameter record, through one exchange buffer cleared once
// (a slot that writes fewer words keeps the previous slot's remaining words;
// readers ignore them). Version becomes 303. UI thread.
void build_preset_record(ChainEditor& editor);

// build_preset_record, then writes the in-memory record to `path` (temporary
// file + rename). False with `error` set on failure. UI thread.
bool save_preset_file(ChainEditor& editor, const std::string& path, std::string* error = nullptr);

}  // namespace tw
