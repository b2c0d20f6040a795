#include "host_features.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/program_files.h"
#include "plugin_list.h"

namespace tw::lv2 {

HostFeatures read_host_features(const LV2_Feature* const* features) {
    HostFeatures h;
    const LV2_Options_Option* options = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        const char* uri = features[i]->URI;
        if (std::strcmp(uri, LV2_URID__map) == 0) h.map = static_cast<LV2_URID_Map*>(features[i]->data);
        else if (std::strcmp(uri, LV2_WORKER__schedule) == 0)
            h.schedule = static_cast<LV2_Worker_Schedule*>(features[i]->data);
        else if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
    if (h.map == nullptr) return h;
    auto map = [&](const char* uri) { return h.map->map(h.map->handle, uri); };
    h.atom_object = map(LV2_ATOM__Object);
    h.atom_blank = map(LV2_ATOM__Blank);
    h.atom_chunk = map(LV2_ATOM__Chunk);
    h.atom_path = map(LV2_ATOM__Path);
    h.atom_sequence = map(LV2_ATOM__Sequence);
    h.atom_urid = map(LV2_ATOM__URID);
    h.atom_int = map(LV2_ATOM__Int);
    h.patch_set = map(LV2_PATCH__Set);
    h.patch_get = map(LV2_PATCH__Get);
    h.patch_property = map(LV2_PATCH__property);
    h.patch_value = map(LV2_PATCH__value);
    h.preset_parameter = map(kPresetParameter);
    h.chain_record = map(kChainRecordKey);
    h.kind_record = map(kKindRecordKey);
    const LV2_URID max_len = map(LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID nominal_len = map(LV2_BUF_SIZE__nominalBlockLength);
    for (const LV2_Options_Option* o = options; o != nullptr && o->key != 0; ++o) {
        if ((o->key == max_len || o->key == nominal_len) && o->type == h.atom_int && o->size == sizeof(std::int32_t)) {
            const std::int32_t v = *static_cast<const std::int32_t*>(o->value);
            // The maximum wins over the nominal length whichever comes first.
            if (v > 0 && (o->key == max_len || h.max_block == kDefaultMaxBlock))
                h.max_block = static_cast<std::uint32_t>(v) < kLargestMaxBlock ? static_cast<std::uint32_t>(v)
                                                                                : kLargestMaxBlock;
        }
    }
    return h;
}

void use_program_folder() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::string dir;
        if (const char* home = std::getenv("TONEWARP_HOME"); home != nullptr && *home != '\0') dir = home;
        else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0')
            dir = std::string(xdg) + "/tonewarp";
        else if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0')
            dir = std::string(h) + "/.local/share/tonewarp";
        if (!dir.empty()) platform::set_program_folder(dir);
    });
}

}  // namespace tw::lv2
