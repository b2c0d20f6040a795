// The registration of every effect kind: one line per kind.
#include "fx/kinds.h"

#include <array>

#include "fx/CompTortions.h"
#include "fx/MultiTortions.h"
#include "fx/delays.h"
#include "fx/distortion1.h"
#include "fx/eq8.h"
#include "fx/flangers.h"
#include "fx/gain_form.h"
#include "fx/limiter_form.h"
#include "fx/noise_gates.h"
#include "fx/read_wav.h"
#include "fx/record_wavs.h"
#include "fx/reverb.h"
#include "fx/wahs.h"

namespace tw {

namespace {

const std::array<KindDecl, kKindCount>& table() {
    static const std::array<KindDecl, kKindCount> kinds = {
        unbuilt_kind(kKindEmpty, "--- select ---", true),
        noise_gate_kind(),
        eq8_kind(),
        comptortion_kind(),
        limiter_kind(),
        multitortion_kind(),
        distortion1_kind(),
        reverb_kind(),
        delay_kind(),
        flanger_kind(),
        wah_kind(),
        read_wav_kind(),
        record_wav_kind(),
        gain_kind(),
    };
    return kinds;
}

}  // namespace

std::span<const KindDecl> kind_decls() { return table(); }

const KindDecl* kind_decl(std::int32_t kind) {
    if (kind < 0 || kind >= kKindCount) return nullptr;
    return &table()[static_cast<std::size_t>(kind)];
}

const char* kind_name(std::int32_t kind) {
    const KindDecl* d = kind_decl(kind);
    return d != nullptr ? d->name : "";
}

std::int32_t kind_by_name(const std::string& name) {
    for (const KindDecl& d : table())
        if (name == d.name) return d.kind;
    return -1;
}

EffectRegistry* init_kind_registry() {
    static const std::array<RegistryRow, kKindCount> rows = [] {
        std::array<RegistryRow, kKindCount> r{};
        for (int k = 0; k < kKindCount; ++k) r[k] = RegistryRow{table()[k].kind, table()[k].name, table()[k].entries};
        return r;
    }();
    return init_registry(rows.data(), kKindCount);
}

}  // namespace tw
