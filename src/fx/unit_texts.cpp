#include "fx/unit_texts.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "fx/curves.h"

namespace tw {

std::string gain_text(double factor) {
    char buf[64];
    if (!(factor > 0.0) || !std::isfinite(factor)) {
        std::snprintf(buf, sizeof buf, "0.00 \u00d7 (silent)");
    } else {
        const double db = 20.0 * std::log10(factor);
        std::snprintf(buf, sizeof buf, "%.2f \u00d7 (%+.1f dB)", factor, std::fabs(db) < 0.05 ? 0.0 : db);
    }
    return buf;
}

std::string ms_text(double ms) {
    char buf[32];
    if (!std::isfinite(ms)) return "";
    std::snprintf(buf, sizeof buf, std::fabs(ms) < 10.0 ? "%.1f ms" : "%.0f ms", ms);
    return buf;
}

std::string hz_text(double hz) {
    char buf[32];
    if (!std::isfinite(hz)) return "";
    if (hz >= 10000.0) std::snprintf(buf, sizeof buf, "%.1f kHz", hz / 1000.0);
    else std::snprintf(buf, sizeof buf, "%.0f Hz", hz);
    return buf;
}

std::string samples_ms_text(double samples) { return ms_text(samples * 1000.0 / 48000.0); }

std::string one_pole_corner_text(double g) {
    if (!(g > 0.0 && g < 1.0)) return "";
    return hz_text(-std::log(g) * 48000.0 / (2.0 * std::numbers::pi));
}

std::string colour_corner_text(int position) {
    return one_pole_corner_text(colour_curve(static_cast<float>(position)));
}

std::string volume_text(int position) {
    const auto g = gain_curve(static_cast<float>(position));
    return g ? gain_text(*g) : std::string();
}

}  // namespace tw
