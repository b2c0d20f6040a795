// The dry guitar loop of the built-in demo input: a short riff made by
// plucked-string (Karplus-Strong) synthesis, and its loader.
#pragma once

#include <string>
#include <vector>

namespace tw::audio {

// The riff at `sample_rate` (8000..192000), mono, full scale +-1.0, peaks
// about -6 dBFS, about 8 seconds, loopable. Deterministic. UI thread.
std::vector<float> synthesize_demo_guitar(int sample_rate);

// Reads a WAV (any channel count mixed to mono, at most 60 s kept) and
// resamples it linearly to `sample_rate`. Empty on any failure. UI thread.
std::vector<float> load_loop(const std::string& path, int sample_rate);

}  // namespace tw::audio
