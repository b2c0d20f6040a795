#include "fx/knob_titles.h"

#include <string>

namespace tw {

namespace {
// The number at the start of `text`, read as far as it goes; saturates well
// above the accepted range so a long run of digits cannot overflow.
long read_leading_number(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 1000000) v = 1000000;
    }
    return negative ? -v : v;
}
}  // namespace

std::optional<int> knob_title_value(std::string_view title, std::string_view key) {
    if (key.empty()) return std::nullopt;
    title = title.substr(0, kMaxTitleChars);
    const std::size_t at = title.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    std::string rest(title.substr(0, at));
    rest.append(title.substr(at + key.size()));
    const long v = read_leading_number(rest);
    if (v < 0 || v > 100) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace tw
