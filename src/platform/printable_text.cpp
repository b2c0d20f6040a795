#include "platform/printable_text.h"

#include <cstdint>

namespace tw::platform {

namespace {

// Length of the valid UTF-8 sequence starting at s[i] (1..4), or 0.
std::size_t utf8_length(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    // C1 controls (U+0080..U+009F) can act as escapes on some terminals.
    if (cp >= 0x80 && cp <= 0x9F) return 0;
    return n;
}

}  // namespace

std::string printable_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_length(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (n == 0 || (n == 1 && ((c < 0x20 && c != '\t') || c == 0x7F))) {
            out.push_back('?');
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace tw::platform
