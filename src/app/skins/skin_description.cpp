#include "app/skins/skin_description.h"

#include <algorithm>
#include <filesystem>

#include "platform/ini_file.h"

namespace tw::skins {

namespace fs = std::filesystem;

namespace {

constexpr const char* kColourKeys[kSkinColours] = {"window", "panel", "text", "disabled_text", "highlight", "edit",
                                                   "border", "led1", "led2", "led3", "led_separator"};
constexpr const char* kPartKeys[kSkinParts] = {"window", "panel", "button", "button_hover", "button_pressed",
                                               "button_disabled", "bar_track", "bar_thumb", "check_off", "check_on",
                                               "combo", "led_lit"};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// "l,t,r,b" (one number stands for all four); each clamped to 0..kMaxMargin.
Margins parse_margins(const std::string& text) {
    int v[4] = {0, 0, 0, 0};
    int n = 0;
    std::size_t i = 0;
    while (i < text.size() && n < 4) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
        if (i >= text.size() || text[i] < '0' || text[i] > '9') break;
        long x = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') x = std::min(x * 10 + (text[i++] - '0'), 100000L);
        v[n++] = static_cast<int>(std::min<long>(x, kMaxMargin));
    }
    if (n == 1) v[1] = v[2] = v[3] = v[0];
    return {v[0], v[1], v[2], v[3]};
}

// A plain file name in the skin's folder that exists as a regular file.
std::string picture_path(const fs::path& folder, const std::string& file) {
    const std::string f = trim(file);
    if (f.empty() || f == "." || f == ".." || f.find_first_of("/\\:") != std::string::npos) return "";
    std::error_code ec;
    const fs::path p = folder / f;
    return fs::is_regular_file(p, ec) ? p.string() : "";
}

}  // namespace

const char* colour_key(SkinColour c) { return kColourKeys[static_cast<std::size_t>(c)]; }
const char* part_key(SkinPart p) { return kPartKeys[static_cast<std::size_t>(p)]; }

std::optional<Rgb> parse_colour(const std::string& text) {
    std::string t = trim(text);
    if (!t.empty() && t[0] == '#') t.erase(0, 1);
    if (t.size() != 6) return std::nullopt;
    int d[6];
    for (int i = 0; i < 6; ++i)
        if ((d[i] = hex_digit(t[static_cast<std::size_t>(i)])) < 0) return std::nullopt;
    return Rgb{static_cast<std::uint8_t>(d[0] * 16 + d[1]), static_cast<std::uint8_t>(d[2] * 16 + d[3]),
               static_cast<std::uint8_t>(d[4] * 16 + d[5])};
}

SkinDescription read_skin_description(const std::string& path) {
    SkinDescription s;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return s;
    const platform::IniFile ini(path);
    s.name = trim(ini.read_string("VERSION", "skinname", ""));
    if (!ini.existed() || s.name.empty()) return SkinDescription{};
    s.loaded = true;
    for (std::size_t i = 0; i < kSkinColours; ++i) s.colours[i] = parse_colour(ini.read_string("COLOURS", kColourKeys[i], ""));
    s.font_family = trim(ini.read_string("FONT", "family", ""));
    if (s.font_family.size() > 64) s.font_family.clear();
    const int size = ini.read_int("FONT", "size", 0);
    s.font_size = size >= 7 && size <= 24 ? size : 0;
    s.scale = std::clamp(ini.read_int("PICTURES", "scale", 1), 1, kMaxScale);
    const fs::path folder = fs::path(path).parent_path();
    for (std::size_t i = 0; i < kSkinParts; ++i) {
        const std::string key = kPartKeys[i];
        s.pictures[i].path = picture_path(folder, ini.read_string("PICTURES", key, ""));
        if (!s.pictures[i].path.empty())
            s.pictures[i].margins = parse_margins(ini.read_string("PICTURES", key + "_margins", "0"));
    }
    return s;
}

}  // namespace tw::skins
