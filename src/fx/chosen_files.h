// What the file-reading kinds (Cabinet IR, Amp model) share about the files
// they offer: the list of a folder's files of one type, the path a preset
// keeps for a chosen file, and the stored text of a path field.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fx/fields.h"

namespace tw {

// Names of the regular files in `folder` whose extension is `ext` (".wav"),
// any case, sorted. UI thread.
std::vector<std::string> files_with_extension(const std::string& folder, const std::string& ext);

// The path a preset keeps for `chosen`: its name alone when it lies directly
// in `folder` (so presets travel with the program folder), else as chosen.
// Any thread.
std::string stored_path_for(const std::string& chosen, const std::string& folder);

// The text of a NUL-terminated path field as a record holds it. Any thread.
std::string rec_get_text(const ParamRecord& r, const FieldDecl& f);

// The text of a path held in a byte array, up to its first NUL. Any thread.
template <std::size_t N>
std::string stored_text(const std::array<std::uint8_t, N>& bytes) {
    std::string s;
    for (std::uint8_t b : bytes) {
        if (b == 0) break;
        s.push_back(static_cast<char>(b));
    }
    return s;
}

// Stores `text` in the byte array, cut to N - 1 bytes and NUL-padded. Any thread.
template <std::size_t N>
void set_stored_text(std::array<std::uint8_t, N>& bytes, const std::string& text) {
    bytes.fill(0);
    for (std::size_t i = 0; i < text.size() && i + 1 < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
}

}  // namespace tw
