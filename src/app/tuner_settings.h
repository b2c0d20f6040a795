// What the tuner remembers between runs: the reference pitch A4, kept in
// face.ini as section "Tuner", key "A4" (415..466 Hz, default 440).
#pragma once

namespace tw {

struct TunerSettings {
    static constexpr const char* kSection = "Tuner";
    static constexpr const char* kKeyA4 = "A4";
    static constexpr int kMinA4 = 415;
    static constexpr int kMaxA4 = 466;
    static constexpr int kDefaultA4 = 440;
    int a4_hz = kDefaultA4;
};

}  // namespace tw
