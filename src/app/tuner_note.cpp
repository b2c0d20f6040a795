#include "app/tuner_note.h"

#include <cmath>

namespace tw {

NoteReading note_for(double hz, double a4_hz) {
    NoteReading r;
    if (!(hz > 0.0) || !(a4_hz > 0.0) || !std::isfinite(hz)) return r;
    static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    // MIDI numbering: A4 = 69, C4 = 60.
    const double midi = 69.0 + 12.0 * std::log2(hz / a4_hz);
    const long nearest = std::lround(midi);
    r.has_note = true;
    r.hz = hz;
    r.cents = (midi - static_cast<double>(nearest)) * 100.0;
    r.semitone = static_cast<int>(((nearest % 12) + 12) % 12);
    r.octave = static_cast<int>((nearest - r.semitone) / 12) - 1;
    r.target_hz = a4_hz * std::pow(2.0, (static_cast<double>(nearest) - 69.0) / 12.0);
    r.name = kNames[r.semitone];
    return r;
}

}  // namespace tw
