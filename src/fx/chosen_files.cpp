#include "fx/chosen_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace tw {

std::vector<std::string> files_with_extension(const std::string& folder, const std::string& ext) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto& p = it->path();
        std::string e = p.extension().string();
        std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (e == ext && it->is_regular_file(ec)) names.push_back(p.filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string stored_path_for(const std::string& chosen, const std::string& folder) {
    const std::string prefix = folder + "/";
    if (chosen.rfind(prefix, 0) == 0 && chosen.find('/', prefix.size()) == std::string::npos) return chosen.substr(prefix.size());
    return chosen;
}

std::string rec_get_text(const ParamRecord& r, const FieldDecl& f) {
    std::string s;
    for (int i = 0; i < f.count - 1; ++i) {
        const auto b = static_cast<char>(rec_get_u8(r, f.element_offset(i)));
        if (b == 0) break;
        s.push_back(b);
    }
    return s;
}

}  // namespace tw
