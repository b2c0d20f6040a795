#include "platform/file_dialogs.h"

#include <vector>

namespace tw::platform {

namespace {
std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto pos = s.find(sep, start);
        parts.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos) return parts;
        start = pos + 1;
    }
}
}  // namespace

std::string toolkit_filter(const std::string& filter) {
    if (filter.empty()) return {};
    const std::vector<std::string> parts = split(filter, '|');
    std::string out;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        std::string patterns;
        if (i + 1 < parts.size()) {
            for (const std::string& p : split(parts[i + 1], ';')) {
                if (p.empty()) continue;
                if (!patterns.empty()) patterns += ' ';
                patterns += p;
            }
        }
        if (patterns.empty()) patterns = "*";
        if (!out.empty()) out += ";;";
        out += parts[i] + " (" + patterns + ")";
    }
    return out;
}

}  // namespace tw::platform
