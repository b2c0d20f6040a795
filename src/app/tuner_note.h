// The tuner's note model: a frequency and the reference pitch A4 give the
// nearest equal-tempered note, its octave (scientific: A4 = 440 Hz, middle C
// is C4) and the distance from it in cents. Any thread (pure functions).
#pragma once

#include <string>

namespace tw {

struct NoteReading {
    bool has_note = false;  // false: silence, noise or hum ("no note")
    double hz = 0.0;        // measured frequency
    int semitone = 0;       // 0 = C .. 11 = B
    int octave = 0;
    double cents = 0.0;     // -50 .. +50 from the note
    double target_hz = 0.0; // the note's exact frequency at this A4
    std::string name;       // "C", "C#", ... "B"
};

// The note nearest `hz` with A4 at `a4_hz`; no note when hz <= 0. Any thread.
NoteReading note_for(double hz, double a4_hz);

}  // namespace tw
