// Texts of values in their units for the bars' tooltips: a gain factor with
// its level in dB, a time in milliseconds, a frequency in Hz.
//
// Threads: UI thread (pure functions).
#pragma once

#include <string>

namespace tw {

// "2.40 × (+7.6 dB)"; a factor of 0 or less reads "0.00 × (silent)".
std::string gain_text(double factor);
// "350 ms" (one decimal below 10 ms).
std::string ms_text(double ms);
// "1200 Hz", "2.5 kHz" from 10 kHz on.
std::string hz_text(double hz);
// Samples at the design rate of 48000 Hz as milliseconds.
std::string samples_ms_text(double samples);
// The corner of a one-pole smoother y = g*y + (1-g)*x at 48000 Hz, as
// hz_text gives it; "" unless 0 < g < 1.
std::string one_pole_corner_text(double g);
// A colour bar read through colour_curve: its smoother's corner, as
// one_pole_corner_text gives it.
std::string colour_corner_text(int position);
// A bar read through gain_curve: its factor as gain_text gives it ("" where
// the curve gives none). For the many volume bars.
std::string volume_text(int position);

}  // namespace tw
