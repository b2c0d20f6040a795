// The help pages shipped in the program folder's html/ and the places that
// open them: the twelve entries of the HELP menu, the presets list's
// "Download From Internet" item, the two link labels and the messages that
// point at the presets page.
//
// Threads: any (pure functions over the program folder).
#pragma once

#include <array>
#include <string>

namespace tw {

struct HelpEntry {
    const char* caption;  // the menu entry's text
    const char* page;     // a file in html/, optionally with "#fragment"
};

inline constexpr int kHelpMenuEntries = 12;
const std::array<HelpEntry, kHelpMenuEntries>& help_menu_entries();

// Pages of the other places that open help.
inline constexpr const char* kPresetsPage = "presets.html";
inline constexpr const char* kMorePresetsPage = "presets.html#more-presets";
inline constexpr const char* kLinkLabel1Page = "recording.html#play-along";
inline constexpr const char* kLinkLabel2Page = "index.html#links";

// The file of `page` (fragment dropped) in the program folder's html/.
std::string help_page_file(const std::string& page);
// Its file:// address, with the fragment, characters outside the URL's
// unreserved set percent-encoded.
std::string help_page_url(const std::string& page);
// A file:// address of an absolute path, percent-encoded.
std::string file_url(const std::string& absolute_path);

}  // namespace tw
