// The effect kinds of the program in kind order, and what is looked up in
// them (names, declarations, the engine's registry).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/effects.h"
#include "fx/kind_decl.h"

namespace tw {

inline constexpr int kKindCount = 14;

// Kinds 0..13, row i = kind i. Any thread.
std::span<const KindDecl> kind_decls();
// The declaration of kind k, or null outside 0..13. Any thread.
const KindDecl* kind_decl(std::int32_t kind);
// The display name of a kind 0..13, or "" for other values. Any thread.
const char* kind_name(std::int32_t kind);
// The kind with this display name, or -1. Any thread.
std::int32_t kind_by_name(const std::string& name);

// Fills the engine's registry with every kind and returns it. UI thread.
EffectRegistry* init_kind_registry();

}  // namespace tw
