// One row per effect kind. A kind whose effect is not built yet carries its
// name and the empty kind's entries.
#include "engine/registry_rows.h"

#include "fx/CompTortions.h"
#include "fx/distortion1.h"
#include "fx/gain_form.h"
#include "fx/noise_gates.h"

namespace tw {

const RegistryRow* registry_rows() {
    static const RegistryRow rows[kRegistryRows] = {
        {kKindEmpty, "--- select ---", kEmptyKindEntries},
        {kKindNoiseGate, "noise gate", noise_gate_entries()},
        {kKindEQ8, "EQ (8 bands) + Filters", kEmptyKindEntries},
        {kKindCompTortion, "Distortion-Compresor", comptortion_entries()},
        {kKindLimiter, "Distortion (Simple)", kEmptyKindEntries},
        {kKindMultiTortion, "Durizezeviro Plus", kEmptyKindEntries},
        {kKindDistortion1, "Distortion (Soft/Hard)", distortion1_entries()},
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
