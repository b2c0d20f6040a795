// libFuzzer target for the phone remote's message parser: any bytes give
// either a message whose fields are within their ranges or a refusal with a
// sentence, and the refusal can be sent back as JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/remote/remote_message.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tw::remote;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Parsed p = parse_message(text);
    if (!p.ok) {
        check(!p.error.empty() && p.error.back() == '.');
        // The refusal is valid JSON even when it quotes bad bytes.
        const auto j = nlohmann::json::parse(error_json(p.error), nullptr, false);
        check(!j.is_discarded() && j["type"] == "error");
        return 0;
    }
    check(size <= kMaxMessageBytes);
    const Message& m = p.message;
    switch (m.action) {
        case Action::Pair: check(!m.code.empty() && m.code.size() <= 16); break;
        case Action::Key: check(m.number >= 1 && m.number <= 12); break;
        case Action::Preset: check(m.number >= 0 && m.number <= kMaxPresetIndex); break;
        case Action::Row: check(m.number >= 1 && m.number <= 16); break;
        case Action::Open: check(m.number >= 0 && m.number <= 16); break;
        case Action::Set:
            check(m.number >= 1 && m.number <= 16 && !m.control.empty() && m.control.size() <= 128);
            check(m.is_switch || (m.value >= -1000000 && m.value <= 1000000));
            break;
    }
    return 0;
}
