// One multiband bank as its per-sample loop (multiband_kernel.h) holds it:
// coefficients, settings and memories in lanes of four doubles, and the
// block buffers of a pass. A bank keeps one of these for its whole life, so
// its memories live here only.
#pragma once

namespace tw::multiband {

inline constexpr int kBands = 16;
inline constexpr int kLanes = 4;
inline constexpr int kVectors = kBands / kLanes;
inline constexpr int kBlock = 32;
inline constexpr double kFoldEnd = 16000.0;   // a folded band reaches 0 here

typedef double D4 __attribute__((vector_size(32)));
typedef float F4 __attribute__((vector_size(16)));

// A bank in lanes: doubles holding 32-bit values (the sum excepted). The
// coefficients and settings are written before each pass; the memories
// carry over from one pass to the next.
struct Work {
    D4 a0[kVectors], a1[kVectors], a2[kVectors];   // first filters
    D4 y1[kVectors], y2[kVectors];
    double x1, x2;                                 // every band sees the same input
    D4 c0[kVectors], c1[kVectors], c2[kVectors];   // second stage
    D4 p1[kVectors], p2[kVectors], q1[kVectors], q2[kVectors];
    D4 live2[kVectors];                            // 1 where a band has a second stage, else 0
    D4 thr[kVectors], gain[kVectors];
    D4 out[kVectors], out2[kVectors];              // the last sample's band signals
    double fold_level, k;
    double acc;
    // Block buffers: band signals of the block after rows 0 and 1, which hold
    // the two samples before it (the second stage's input memories).
    D4 band[kBlock + 2][kVectors];
    // The first filters' outputs of the block after rows 0 and 1, which hold
    // the two outputs before it.
    D4 raw[kBlock + 2][kVectors];
    D4 band2[kBlock][kVectors];
};

// Flags of a pass: which stages run.
inline constexpr int kFold = 1, kClip = 2, kFilter2 = 4;

}  // namespace tw::multiband
