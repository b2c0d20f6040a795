// A zero-latency partitioned convolver for one channel's impulse response.
//
// The first 64 taps are applied directly (sample by sample), the rest by
// uniform partitioned FFT levels whose partition size grows with the
// distance from the head: 64-tap partitions from tap 64, 256 from 512, 1024
// from 2048, 4096 from 8192 (a level of size P starts at least 2P taps in).
// The input is collected in 64-sample ticks. The 64 level runs whole at each
// tick; a larger level's work for one input block (forward FFT, the spectra's
// products, inverse FFT) is spread over the P/64 ticks of the next block, so
// its result is in the output accumulator before the first sample it feeds.
// The output is therefore exactly the linear convolution, sample-aligned, at
// any host block size and any sequence of sizes.
//
// The FFTs are FFTW3's single-precision real transforms (fftwf_): the fastest
// real FFT packaged in Debian on this machine class, with plans made once
// when the IR is set and executed on new arrays without allocating.
//
// Threads: set_ir (plans, allocation) on the UI thread only (FFTW's planner
// is not thread-safe); process and reset on the audio thread, or on the UI
// thread while no run can use the object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tw::dsp {

// The transformed taps of one IR channel and the plans that use them: made
// on the UI thread, read (never written) by any number of convolvers.
class ConvolverIr {
public:
    static constexpr int kHead = 64;          // taps applied directly
    static constexpr int kTick = 64;          // input samples per tick
    static constexpr int kMaxPartition = 4096;

    // Transforms `taps` (any length, 0 gives silence). UI thread.
    explicit ConvolverIr(std::span<const float> taps);
    ~ConvolverIr();
    ConvolverIr(const ConvolverIr&) = delete;
    ConvolverIr& operator=(const ConvolverIr&) = delete;

    // Taps in total. Any thread.
    std::size_t length() const { return length_; }

    struct Level;
    const float* head_reversed() const { return head_rev_; }
    const std::vector<std::unique_ptr<Level>>& levels() const { return levels_; }

private:
    std::size_t length_ = 0;
    float* head_rev_ = nullptr;   // head taps, last first (kHead, zero-padded)
    std::vector<std::unique_ptr<Level>> levels_;
};

// One channel's running convolution with a ConvolverIr. All memory is taken
// in the constructor; process never allocates.
class PartitionedConvolver {
public:
    // State for `ir`, which must outlive this object. UI thread.
    explicit PartitionedConvolver(const ConvolverIr& ir);
    ~PartitionedConvolver();
    PartitionedConvolver(const PartitionedConvolver&) = delete;
    PartitionedConvolver& operator=(const PartitionedConvolver&) = delete;

    // Back to silence (no input seen). Audio thread, or UI thread while no
    // run can use the object.
    void reset();

    // Convolves n samples read at in[i * stride] and writes the result to
    // out[i * stride] (in == out is allowed). Audio thread.
    void process(const float* in, float* out, std::int32_t n, std::int32_t stride);

private:
    struct LevelState;
    void tick();

    const ConvolverIr& ir_;
    static constexpr int kRing = 8192;       // input history (two of the largest blocks)
    static constexpr int kAcc = 16384;       // output accumulator, time-indexed
    float* lin_ = nullptr;                   // last tick's and this tick's input, for the head
    float* ring_ = nullptr;                  // input history
    float* acc_ = nullptr;                   // the levels' output ahead of time
    std::vector<std::unique_ptr<LevelState>> levels_;
    std::int32_t fill_ = 0;                  // samples of this tick collected
    std::uint64_t time_ = 0;                 // samples processed
    std::uint64_t ticks_ = 0;
};

}  // namespace tw::dsp
