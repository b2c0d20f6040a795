// Preset files: one fixed 13188-byte little-endian record holding, for each
// of the main window's 16 rows, its effect kind, its on/off state and its
// effect's parameter record (words 0..72 of it).
//
// Layout: bytes 0-1 reserved, 2-3 int16 format version (303), 4 kind[32],
// 132 enabled[32], 260 parameter area: 32 slots of 101 words (404 bytes).
// Only slots 0..15 are used. Applying a record to the chain and building one
// from it is the app's job (app/chain_presets.h).
//
// Threads: everything here runs on the UI thread (tools call it from main).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/effect_types.h"

namespace tw {

inline constexpr int kPresetRecordBytes = 13188;
inline constexpr int kPresetVersion = 303;
inline constexpr int kPresetSlots = 32;
inline constexpr int kPresetUsedSlots = 16;
inline constexpr int kPresetStoredWords = 73;   // words of a parameter record a preset keeps
inline constexpr int kPresetOffVersion = 2;
inline constexpr int kPresetOffKind = 4;
inline constexpr int kPresetOffEnabled = 132;
inline constexpr int kPresetOffParams = 260;

struct PresetRecord {
    std::array<std::uint8_t, kPresetRecordBytes> bytes{};

    // Field access (little-endian, byte by byte). Slot s = 0..31; other
    // values read 0 and write nothing. Any thread.
    std::int16_t version() const;
    void set_version(std::int16_t v);
    std::int32_t kind(int s) const;
    void set_kind(int s, std::int32_t k);
    std::int32_t enabled(int s) const;
    void set_enabled(int s, std::int32_t e);
    // Word w (0..100) of slot s's parameter area.
    std::int32_t param_word(int s, int w) const;
    void set_param_word(int s, int w, std::int32_t v);
    // Copies words 0..72 of slot s into / out of a parameter record.
    void get_params(int s, ParamRecord& out) const;
    void set_params(int s, const ParamRecord& in);
};
static_assert(sizeof(PresetRecord) == kPresetRecordBytes);

// The kind number a version-302-or-older file means by `old_kind` (values
// outside 0..13 are returned unchanged). Any thread.
std::int32_t convert_old_kind(std::int32_t old_kind);

// The kind a loaded slot gets: the stored kind after the old-numbering
// conversion (for versions below 303); a kind the program does not have
// (outside 0 .. kKindCount - 1) becomes the empty kind 0, as the kind lists
// hold only those. Any thread.
std::int32_t effective_kind(const PresetRecord& rec, int s);

// Preset files carry no magic number, so this is a plausibility check for
// tools: a format version of 0..303 and every used slot's stored kind (after
// conversion) one the program has. False with the reason in `why`. Any thread.
bool looks_like_preset(const PresetRecord& rec, std::string* why = nullptr);

// Reads the first 13188 bytes of a file. False (and `error` set, if given)
// when the file cannot be opened or is shorter; `out` is then untouched.
// Extra bytes after the record are ignored. UI thread.
bool read_preset_record(const std::string& path, PresetRecord& out, std::string* error = nullptr);
// Writes the record to `path` through a temporary file in the same folder
// that is renamed into place, so a failure never leaves a half-written file
// (a link replaces the file it points to; a device or pipe is written into).
// False with `error` set to a sentence on failure. UI thread.
bool write_preset_record(const std::string& path, const PresetRecord& rec, std::string* error = nullptr);

}  // namespace tw
