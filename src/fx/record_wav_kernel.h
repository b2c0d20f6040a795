// The Record wav's processing: notes the signal's format and, while
// recording, stores each sample of the buffer (clipped and rounded to 16 bits)
// into memory the window owns, stopping short of its capacity. The buffer
// passes unchanged.
#pragma once

#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"

namespace tw {

// A sample as it is recorded: clipped to +-32000, rounded to the nearest
// integer (ties to even). Any thread.
std::int16_t record_sample(float v);

class RecordWavKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        bool recording = false;
        // The take's memory, which the window owns and replaces only while no
        // buffer can be writing into it; null: nothing is stored.
        std::int16_t* rec_buffer = nullptr;
        std::int32_t rec_capacity = 0;   // 16-bit samples rec_buffer holds
    };

    // Back to the creation state: nothing recorded, no signal seen, the
    // creation format (mono, 48 kHz). UI thread while no run can use the
    // kernel, or audio thread.
    void reset();

    // Notes the block's format, then stores its samples while recording.
    // Audio thread.
    void process(const AudioBlock& block, const Params& p);
    // Notes the block's format and that a block came, storing nothing (a
    // buffer that comes while the window replaces the memory). Audio thread.
    void note_signal(const AudioBlock& block);

    // 16-bit samples recorded so far. Any thread.
    std::int32_t rec_count() const { return rec_count_.load(std::memory_order_relaxed); }
    // The same, ordered after the samples it counts, for a thread that reads
    // them while the take goes on. Any thread.
    std::int32_t rec_count_published() const { return rec_count_.load(std::memory_order_acquire); }
    // Forgets the take. UI thread, while no buffer can be recording.
    void clear_rec_count() { rec_count_.store(0, std::memory_order_relaxed); }

    // 1 once a block has come since the last clear_signal_seen(). Any thread.
    std::int32_t signal_seen() const { return signal_seen_.load(std::memory_order_relaxed); }
    // Starts watching for the next block. UI thread.
    void clear_signal_seen() { signal_seen_.store(0, std::memory_order_relaxed); }

    // The last block's sample rate (0 before the first). Any thread.
    std::int32_t last_rate() const { return last_rate_.load(std::memory_order_relaxed); }
    // The format the take is recorded in: the last block's channels (1, or 2
    // for any other count) and rate; mono 48 kHz before the first. Any thread.
    std::int32_t rec_channels() const { return rec_channels_.load(std::memory_order_relaxed); }
    std::int32_t rec_rate() const { return rec_rate_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int32_t> rec_count_{0};
    std::atomic<std::int32_t> signal_seen_{0};
    std::atomic<std::int32_t> last_rate_{0};
    std::atomic<std::int32_t> rec_channels_{1};
    std::atomic<std::int32_t> rec_rate_{48000};
};

}  // namespace tw
