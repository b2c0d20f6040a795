// The effect kinds of the program in kind order, and what is looked up in
// them (names, declarations, the engine's registry).
#pragma once

#include <cstdint>
#include <iterator>
#include <span>
#include <string>

#include "engine/effects.h"
#include "fx/kind_decl.h"

namespace tw {

// Each kind's declaration (name, entries, stored fields), made in its unit.
KindDecl empty_kind();
KindDecl noise_gate_kind();
KindDecl eq8_kind();
KindDecl comptortion_kind();
KindDecl limiter_kind();
KindDecl multitortion_kind();
KindDecl distortion1_kind();
KindDecl reverb_kind();
KindDecl delay_kind();
KindDecl flanger_kind();
KindDecl wah_kind();
KindDecl read_wav_kind();
KindDecl record_wav_kind();
KindDecl gain_kind();
KindDecl cabinet_kind();
KindDecl amp_model_kind();

// The registration of every kind: one line per kind, entry k = kind k.
inline constexpr KindDecl (*const kKindRegistrations[])() = {
    empty_kind,
    noise_gate_kind,
    eq8_kind,
    comptortion_kind,
    limiter_kind,
    multitortion_kind,
    distortion1_kind,
    reverb_kind,
    delay_kind,
    flanger_kind,
    wah_kind,
    read_wav_kind,
    record_wav_kind,
    gain_kind,
    cabinet_kind,
    amp_model_kind,
};

// How many kinds there are (kind numbers 0 .. kKindCount - 1).
inline constexpr int kKindCount = static_cast<int>(std::size(kKindRegistrations));
static_assert(kKindCount <= kMaxKinds, "the registry holds at most kMaxKinds kinds");

// Kinds 0 .. kKindCount - 1, row i = kind i. Any thread.
std::span<const KindDecl> kind_decls();
// The declaration of kind k, or null outside the kinds. Any thread.
const KindDecl* kind_decl(std::int32_t kind);
// The display name of a kind, or "" for other values. Any thread.
const char* kind_name(std::int32_t kind);
// The kind with this display name, or -1. Any thread.
std::int32_t kind_by_name(const std::string& name);

// Fills the engine's registry with every kind and returns it. UI thread.
EffectRegistry* init_kind_registry();

}  // namespace tw
