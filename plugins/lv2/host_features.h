// What an LV2 host offers a Tonewarp plugin at instantiation: the URID map,
// the worker, the block length. All optional: a host that gives none (such
// as lv2apply) gets the settings applied at activation only.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>

namespace tw::lv2 {

// Frames run at once when the host names no maximum (longer blocks are run
// in pieces of this length).
inline constexpr std::uint32_t kDefaultMaxBlock = 4096;
inline constexpr std::uint32_t kLargestMaxBlock = 1u << 16;

struct HostFeatures {
    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* schedule = nullptr;
    std::uint32_t max_block = kDefaultMaxBlock;
    // URIDs (0 without a map).
    LV2_URID atom_object = 0, atom_blank = 0, atom_chunk = 0, atom_path = 0, atom_sequence = 0, atom_urid = 0, atom_int = 0;
    LV2_URID patch_set = 0, patch_get = 0, patch_property = 0, patch_value = 0;
    LV2_URID preset_parameter = 0, chain_record = 0, kind_record = 0;
};

// Reads the features the host passed. Instantiation thread.
HostFeatures read_host_features(const LV2_Feature* const* features);

// Where the program's per-user folder is for effects that read or keep
// files of their own (TONEWARP_HOME, else $XDG_DATA_HOME/tonewarp, else
// ~/.local/share/tonewarp); set once per process. Instantiation thread.
void use_program_folder();

}  // namespace tw::lv2
