#include "plain_numbers.h"

namespace tw::tools {

bool is_plain_decimal(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i > from;
    };
    if (!digits()) return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    return i == text.size();
}

CLI::Validator plain_decimal() {
    return CLI::Validator(
        [](std::string& s) { return is_plain_decimal(s) ? std::string() : "'" + s + "' is not a decimal number"; },
        "", "DECIMAL");
}

CLI::Validator non_empty_name() {
    return CLI::Validator([](std::string& s) { return s.empty() ? std::string("an empty name is not a folder") : ""; },
                          "", "NOT_EMPTY");
}

}  // namespace tw::tools
