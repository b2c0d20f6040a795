#include "app/help_pages.h"

#include <cctype>
#include <filesystem>

#include "app/program_folder.h"

namespace tw {

const std::array<HelpEntry, kHelpMenuEntries>& help_menu_entries() {
    static const std::array<HelpEntry, kHelpMenuEntries> entries = {{
        {"Tonewarp 3 help (contents)", "index.html"},
        {"Getting started: your first sound", "getting_started.html"},
        {"Presets and the keys F1 .. F12", "presets.html"},
        {"Connecting a guitar, choosing devices (JACK, PipeWire, ALSA)", "devices.html"},
        {"Recording yourself and playing along with backing tracks", "recording.html"},
        {"Getting a good guitar sound: every effect explained", "effects.html"},
        {"Distortions compared: which one for which style", "effects.html#distortions"},
        {"Delay, flanger, chorus and reverb", "effects.html#time"},
        {"Skins: changing the look", "skins.html"},
        {"Latency: less delay between string and speaker", "devices.html#latency"},
        {"FAQ", "faq.html"},
        {"Troubleshooting: no sound, crackles, devices missing", "faq.html#troubleshooting"},
    }};
    return entries;
}

std::string help_page_file(const std::string& page) {
    return program_path("html/" + page.substr(0, page.find('#')));
}

std::string file_url(const std::string& absolute_path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char ch : absolute_path) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

std::string help_page_url(const std::string& page) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(help_page_file(page), ec);
    std::string url = file_url(ec ? help_page_file(page) : p.lexically_normal().string());
    const std::size_t hash = page.find('#');
    if (hash != std::string::npos) url += page.substr(hash);
    return url;
}

}  // namespace tw
