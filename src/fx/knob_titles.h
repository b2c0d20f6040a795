// The knob page's title messages: a key such as "gain =" followed by the
// knob's new position as a whole number.
#pragma once

#include <optional>
#include <string_view>

namespace tw {

// Titles are held as texts of at most this many characters.
inline constexpr std::size_t kMaxTitleChars = 255;

// The value `title` carries for `key`: the title (cut to 255 characters) is
// searched for the key; if found, the key's characters are removed at that
// place and the remaining text is read as a whole number: an optional sign,
// then the digits before the first other character (none gives 0). Only
// 0..100 is accepted; otherwise, or without the key, nullopt. Any thread.
std::optional<int> knob_title_value(std::string_view title, std::string_view key);

}  // namespace tw
