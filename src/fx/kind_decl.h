// One effect kind as the program knows it: number, display name, the three
// registry entries and the declared fields of its parameter record.
#pragma once

#include <span>

#include "engine/effect_types.h"
#include "engine/kind_entries.h"
#include "fx/effect_form.h"
#include "fx/fields.h"

namespace tw {

struct KindDecl {
    EffectKind kind = kKindEmpty;
    const char* name = "";
    KindEntries entries = kEmptyKindEntries;
    std::span<const FieldDecl> fields;   // empty for kinds whose record is not described
    bool stores_nothing = false;         // kinds whose presets keep no settings (0, 11, 12)
    // The value element `element` of field `field` has in a live instance of
    // this kind (as get_parameters stores it); null when the kind is not built.
    double (*field_value)(Instance instance, int field, int element) = nullptr;

    bool built() const { return entries.create != kEmptyKindEntries.create; }
};

namespace kind_detail {
template <const auto& Table>
struct TableInfo {
    using Binding = std::remove_cvref_t<decltype(Table[0])>;
    using Form = typename Binding::form_type;
    static constexpr auto decls = declarations_of(Table);
    static double value(Instance inst, int field, int element) {
        return Table[field].value(*static_cast<const Form*>(inst), element);
    }
};
}  // namespace kind_detail

// The declaration of a built kind whose effect class and stored fields are
// given by its field table. Any thread.
template <const auto& Table>
constexpr KindDecl declare_kind(EffectKind kind, const char* name) {
    using Info = kind_detail::TableInfo<Table>;
    return KindDecl{kind, name, FormEntries<typename Info::Form>::entries(), std::span<const FieldDecl>(Info::decls),
                    false, &Info::value};
}

// The declaration of a built kind that stores nothing in presets (its
// get_parameters and put_parameters leave the record alone). Any thread.
template <class Form>
constexpr KindDecl declare_kind_storing_nothing(EffectKind kind, const char* name) {
    return KindDecl{kind, name, FormEntries<Form>::entries(), {}, true, nullptr};
}

// A kind that is listed but not built yet (its slot does nothing).
constexpr KindDecl unbuilt_kind(EffectKind kind, const char* name, bool stores_nothing = false) {
    return KindDecl{kind, name, kEmptyKindEntries, {}, stores_nothing, nullptr};
}

}  // namespace tw
