// The status display of the main window, without a toolkit: the four LED bar
// meters (input, output, CPU %, latency), the latency text and the 100 ms
// tick that fills them. The Qt front end draws the meters from the models
// below and runs tick() from its timer.
//
// Threads: everything here runs on the UI thread. The tick reads cpu_load and
// the device layer's levels, which the audio thread writes (relaxed atomics).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/chain.h"
#include "ui/control.h"
#include "ui/text_controls.h"

namespace tw {

// Number of LED segments of every bar meter.
inline constexpr int kLedSegments = 30;

// Nearest integer, halves to even; NaN gives 0 and values beyond the int32
// range are clamped. Any thread.
std::int32_t round_half_even(double v);

// CPU meter position: 100 x load, rounded (the meter clamps it to 0..100). Any thread.
std::int32_t cpu_meter_position(float load);
// Level meter position on the square-root scale: 10 x sqrt(100 x level / 32000),
// rounded, so 32000 reads 100, 3200 reads 32 and 320 reads 10. A negative or
// NaN level reads 0. Any thread.
std::int32_t level_meter_position(float level);
// Each running slot's share of the buffer time in the last run of `chain`,
// as "slots 1:3.2% 5:10.4%" (row numbers, one decimal); "slots -" when no
// slot runs. Any thread.
std::string slot_loads_text(const Chain& chain, int rows);

// The latency text: "Latency " + the rounded latency + " ms". Any thread.
std::string latency_caption(float latency_ms);

// Which colour a lit segment takes.
enum class LedZone { Colour1, Colour2, Colour3 };

// An LED bar meter: horizontal, filling to the right, 30 segments. A position
// lights round(30 x (position - min) / (max - min)) segments from the left; a
// segment takes colour 1 below the colour-2 start, colour 2 from there up to
// the colour-3 start and colour 3 from there on (the starts are converted to
// segments the same way). UI thread.
class LedMeter {
public:
    LedMeter(std::string name, ui::Rect bounds, int min, int max, int colour2_from, int colour3_from);
    LedMeter(const LedMeter&) = delete;
    LedMeter& operator=(const LedMeter&) = delete;

    const std::string& name() const { return name_; }
    const ui::Rect& bounds() const { return bounds_; }
    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    int colour2_from() const { return colour2_from_; }
    int colour3_from() const { return colour3_from_; }

    // Clamps p into [min, max]. UI thread.
    void set_position(int p);
    // Moves the start of colour 3 (the latency meter follows the threshold). UI thread.
    void set_colour3_from(int v);

    // Segments that a value covers: round(30 x (value - min) / (max - min)),
    // within 0..30. UI thread.
    int segments_for(int value) const;
    // Lit segments for the current position. UI thread.
    int lit_segments() const { return segments_for(position_); }
    // The zone of segment i (0 = leftmost). UI thread.
    LedZone zone(int segment) const;

    // Set by the front end: called whenever the meter's shown state changes.
    std::function<void()> on_view_update;

private:
    void notify_view() {
        if (on_view_update) on_view_update();
    }
    std::string name_;
    ui::Rect bounds_;
    int min_, max_;
    int position_;
    int colour2_from_, colour3_from_;
};

// Where the tick gets its readings. Each may be empty (reads 0).
struct StatusSources {
    std::function<float()> cpu_load;      // the chain's last run / buffer time
    std::function<float()> input_level;   // peak on the 16-bit scale
    std::function<float()> output_level;
    // Measures the latency (and runs the latency guard) and returns it in ms.
    std::function<float()> latency_step;
    // The chain's part of the tick: per-slot CPU figures, freeing a replaced
    // chain whose tail has played.
    std::function<void()> slot_loads;
};

class StatusDisplay {
public:
    // Meter placement; the front end may move them (set_bounds is not needed:
    // the models only carry the design position). UI thread.
    explicit StatusDisplay(StatusSources sources = {});

    LedMeter ProgressBar_inlevel;   // "INPUT", 0..100, colour 2 from 75, colour 3 from 90
    LedMeter ProgressBar_outlevel;  // "OUTPUT"
    LedMeter ProgressBar_CPU;       // "CPU %"
    LedMeter ProgressBar_Latency;   // "Latency", 0..50, colour 2 from 7, colour 3 from the threshold
    ui::Label Label_inlevel;
    ui::Label Label_outlevel;
    ui::Label Label_CPU;
    ui::Label Label_Latency;
    ui::Label Label_delay;          // "Latency N ms"

    // The tick of Timer1 (every 100 ms): CPU meter, input and output meters,
    // the latency step, the latency text and meter. UI thread.
    void Timer1Timer();
    // The latency threshold changed: the latency meter's colour 3 starts there. UI thread.
    void set_latency_threshold(int ms) { ProgressBar_Latency.set_colour3_from(ms); }

    // Interval of Timer1 in ms.
    static constexpr int kTimerInterval = 100;

    void set_sources(StatusSources s) { sources_ = std::move(s); }

private:
    StatusSources sources_;
};

}  // namespace tw
