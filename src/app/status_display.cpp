#include "app/status_display.h"

#include <cstdio>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "engine/effects.h"

namespace tw {

std::int32_t round_half_even(double v) {
    if (std::isnan(v)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    // std::nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it; fix the rule here rather than rely on that.
    double r = std::floor(v);
    const double frac = v - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (r <= lo) return std::numeric_limits<std::int32_t>::min();
    if (r >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::int32_t cpu_meter_position(float load) { return round_half_even(100.0 * static_cast<double>(load)); }

std::int32_t level_meter_position(float level) {
    const double l = static_cast<double>(level);
    if (!(l > 0.0)) return 0;  // also NaN
    return round_half_even(10.0 * std::sqrt(100.0 * l / 32000.0));
}

std::string latency_caption(float latency_ms) {
    return "Latency " + std::to_string(round_half_even(static_cast<double>(latency_ms))) + " ms";
}

LedMeter::LedMeter(std::string name, ui::Rect bounds, int min, int max, int colour2_from, int colour3_from)
    : name_(std::move(name)),
      bounds_(bounds),
      min_(std::min(min, max)),
      max_(std::max(min, max)),
      position_(std::min(min, max)),
      colour2_from_(colour2_from),
      colour3_from_(colour3_from) {}

void LedMeter::set_position(int p) {
    p = std::clamp(p, min_, max_);
    if (p == position_) return;
    position_ = p;
    notify_view();
}

void LedMeter::set_colour3_from(int v) {
    if (v == colour3_from_) return;
    colour3_from_ = v;
    notify_view();
}

int LedMeter::segments_for(int value) const {
    if (max_ == min_) return value >= max_ ? kLedSegments : 0;
    const double s = static_cast<double>(kLedSegments) * (static_cast<double>(value) - min_) / (max_ - min_);
    return std::clamp(round_half_even(s), 0, kLedSegments);
}

LedZone LedMeter::zone(int segment) const {
    if (segment < segments_for(colour2_from_)) return LedZone::Colour1;
    if (segment < segments_for(colour3_from_)) return LedZone::Colour2;
    return LedZone::Colour3;
}

namespace {
// Meter row layout in the main window: label at the left, bar beside it.
constexpr int kMeterLeft = 440;
constexpr int kMeterWidth = 230;
constexpr int kMeterHeight = 12;
constexpr int kLabelLeft = 385;
constexpr int kFirstMeterTop = 282;
constexpr int kMeterPitch = 18;

ui::Rect meter_at(int row) { return {kMeterLeft, kFirstMeterTop + kMeterPitch * row, kMeterWidth, kMeterHeight}; }
ui::Rect label_at(int row) { return {kLabelLeft, kFirstMeterTop + kMeterPitch * row - 2, 54, 16}; }
}  // namespace

StatusDisplay::StatusDisplay(StatusSources sources)
    : ProgressBar_inlevel("ProgressBar_inlevel", meter_at(0), 0, 100, 75, 90),
      ProgressBar_outlevel("ProgressBar_outlevel", meter_at(1), 0, 100, 75, 90),
      ProgressBar_CPU("ProgressBar_CPU", meter_at(2), 0, 100, 75, 90),
      ProgressBar_Latency("ProgressBar_Latency", meter_at(3), 0, 50, 7, 35),
      Label_inlevel("Label_inlevel", label_at(0), "INPUT"),
      Label_outlevel("Label_outlevel", label_at(1), "OUTPUT"),
      Label_CPU("Label_CPU", label_at(2), "CPU %"),
      Label_Latency("Label_Latency", label_at(3), "Latency"),
      Label_delay("Label_delay", {kMeterLeft, kFirstMeterTop + kMeterPitch * 4, kMeterWidth, 16}, " 1994"),
      sources_(std::move(sources)) {}

std::string slot_loads_text(const Chain& chain, int rows) {
    const ChainTable live = chain.snapshot();
    std::string text = "slots";
    bool any = false;
    for (int s = 0; s < rows && s < live.count; ++s) {
        const ChainSlot& slot = live.slot[s];
        if (slot.enabled != 1 || slot.kind == kEmptyKind) continue;
        char item[32];
        std::snprintf(item, sizeof item, " %d:%.1f%%", s + 1, 100.0 * static_cast<double>(chain.slot_load(s)));
        text += item;
        any = true;
    }
    return any ? text : text + " -";
}

void StatusDisplay::Timer1Timer() {
    const float load = sources_.cpu_load ? sources_.cpu_load() : 0.0f;
    ProgressBar_CPU.set_position(cpu_meter_position(load));
    ProgressBar_inlevel.set_position(level_meter_position(sources_.input_level ? sources_.input_level() : 0.0f));
    ProgressBar_outlevel.set_position(level_meter_position(sources_.output_level ? sources_.output_level() : 0.0f));
    const float latency = sources_.latency_step ? sources_.latency_step() : 0.0f;
    Label_delay.set_caption(latency_caption(latency));
    ProgressBar_Latency.set_position(round_half_even(static_cast<double>(latency)));
    if (sources_.slot_loads) sources_.slot_loads();
}

}  // namespace tw
