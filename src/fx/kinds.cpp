// The kind table, built from the registrations in fx/kinds.h.
#include "fx/kinds.h"

#include <array>

namespace tw {

namespace {

const std::array<KindDecl, kKindCount>& table() {
    static const std::array<KindDecl, kKindCount> kinds = [] {
        std::array<KindDecl, kKindCount> t{};
        for (int k = 0; k < kKindCount; ++k) t[k] = kKindRegistrations[k]();
        return t;
    }();
    return kinds;
}

}  // namespace

KindDecl empty_kind() { return unbuilt_kind(kKindEmpty, "--- select ---", true); }

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
