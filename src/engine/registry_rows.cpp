// One row per effect kind. A kind whose effect is not built yet carries its
// name and the empty kind's entries.
#include "engine/registry_rows.h"

#include "fx/gain_form.h"

namespace tw {

const RegistryRow* registry_rows() {
    static const RegistryRow rows[kRegistryRows] = {
        {kKindEmpty, "--- select ---", kEmptyKindEntries},
        {kKindNoiseGate, "noise gate", kEmptyKindEntries},
        {kKindEQ8, "EQ (8 bands) + Filters", kEmptyKindEntries},
        {kKindCompTortion, "Distortion-Compresor", kEmptyKindEntries},
        {kKindLimiter, "Distortion (Simple)", kEmptyKindEntries},
        {kKindMultiTortion, "Durizezeviro Plus", kEmptyKindEntries},
        {kKindDistortion1, "Distortion (Soft/Hard)", kEmptyKindEntries},
        {kKindReverb, "Reverberator", kEmptyKindEntries},
        {kKindDelay, "Delay", kEmptyKindEntries},
        {kKindFlanger, "Flanger / Chorus", kEmptyKindEntries},
        {kKindWah, "wah", kEmptyKindEntries},
        {kKindReadWav, "Playback wav file", kEmptyKindEntries},
        {kKindRecordWav, "Record wav", kEmptyKindEntries},
        {kKindGain, "Gain", gain_entries()},
    };
    return rows;
}

}  // namespace tw
