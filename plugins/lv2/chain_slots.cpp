#include "chain_slots.h"

#include "fx/kinds.h"

namespace tw::lv2 {

ChainSlots::ChainSlots(const PresetRecord& record) : record_(record) {
    for (int s = 0; s < kChainPluginRows; ++s) {
        Row& r = rows_[static_cast<std::size_t>(s)];
        r.kind = effective_kind(record_, s);
        r.enabled = record_.enabled(s);
        const KindDecl* decl = kind_decl(r.kind);
        if (decl == nullptr || !decl->built() || r.kind == kKindEmpty) continue;
        r.process = decl->entries.process;
        r.instance = decl->entries.create();
    }
    for (int s = 0; s < kChainPluginRows; ++s) {
        const Row& r = rows_[static_cast<std::size_t>(s)];
        if (r.instance == nullptr) continue;
        ParamRecord exchange;
        record_.get_params(s, exchange);
        kind_decl(r.kind)->entries.params(&exchange, r.instance, 1);
    }
}

ChainSlots::~ChainSlots() {
    for (Row& r : rows_) delete r.instance;
}

void ChainSlots::process(std::int32_t frames, std::int32_t rate, std::int32_t channels, float* samples) const {
    for (const Row& r : rows_)
        if (r.enabled == 1 && r.kind != kKindEmpty && r.process != nullptr)
            r.process(frames, rate, channels, samples, r.instance);
}

}  // namespace tw::lv2
