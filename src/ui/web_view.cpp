#include "ui/web_view.h"

#include <cstddef>
#include <string_view>

namespace tw::ui {

namespace {
// V of "<element>.setPos(0,V,1)" (the ';' already split off), or -1.
int statement_value(std::string_view st, std::string_view element) {
    if (st.substr(0, element.size()) != element) return -1;
    st.remove_prefix(element.size());
    constexpr std::string_view head = ".setPos(0,";
    constexpr std::string_view tail = ",1)";
    if (st.substr(0, head.size()) != head) return -1;
    st.remove_prefix(head.size());
    if (st.size() <= tail.size() || st.substr(st.size() - tail.size()) != tail) return -1;
    st.remove_suffix(tail.size());
    if (st.empty() || st.size() > 3) return -1;
    int v = 0;
    for (char c : st) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v <= 100 ? v : -1;
}
}  // namespace

std::vector<int> knob_positions_of_address(const std::string& address, const std::vector<std::string>& elements) {
    std::vector<int> out(elements.size(), -1);
    const std::size_t q = address.find('?');
    if (q == std::string::npos) return out;
    std::string_view rest = std::string_view(address).substr(q + 1);
    // Only complete statements (ended by ';') count.
    for (std::size_t end = rest.find(';'); end != std::string_view::npos; end = rest.find(';')) {
        const std::string_view st = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const int v = statement_value(st, elements[i]);
            if (v >= 0) out[i] = v;
        }
    }
    return out;
}

}  // namespace tw::ui
