// Fuzz target: any bytes as the JSON form of a preset (tonewarp-preset build).
// Parsing must refuse or succeed without crashing; a record that builds must
// come back unchanged through its own JSON form.
#include <cstdint>
#include <cstdio>
#include <string>

#include "presets/preset_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    nlohmann::json j;
    std::string why;
    if (!tw::parse_preset_json(text, j, &why)) return 0;
    tw::PresetRecord rec;
    if (!tw::preset_from_json(j, rec, &why)) return 0;
    (void)tw::preset_to_text(rec);
    tw::PresetRecord again;
    if (!tw::preset_from_json(tw::preset_to_json(rec), again, &why)) {
        std::fprintf(stderr, "a built record's JSON form was refused: %s\n", why.c_str());
        __builtin_trap();
    }
    if (again.bytes != rec.bytes) __builtin_trap();
    return 0;
}
