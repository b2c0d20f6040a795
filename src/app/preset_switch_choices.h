// The choices the main window offers for how a preset change sounds: the
// crossfade between the old and the new chain, and how long the old chain's
// delay and reverb tails ring on (ChainEditor::switch_fade_ms and
// spill_over_ms, kept in face.ini).
#pragma once

#include <array>
#include <string>

namespace tw {

inline constexpr std::array<int, 6> kCrossfadeChoicesMs = {0, 10, 20, 50, 100, 200};
inline constexpr std::array<int, 5> kSpillOverChoicesMs = {0, 1000, 2000, 5000, 10000};

// "Instant" for 0, else "20 ms". Any thread.
inline std::string crossfade_caption(int ms) { return ms == 0 ? "Instant" : std::to_string(ms) + " ms"; }
// "Off" for 0, else "2 s" (whole seconds) or "1500 ms". Any thread.
inline std::string spill_over_caption(int ms) {
    if (ms == 0) return "Off";
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace tw
