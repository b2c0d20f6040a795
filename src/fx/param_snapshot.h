// Hands a kernel's parameters from the UI thread to the audio thread as whole
// snapshots: the audio thread always reads one complete set, never a set that
// is half old and half new, and neither side waits, locks or allocates.
//
// A triple buffer. Three copies of P: one the writer fills, one the reader
// uses, and one in the middle, exchanged through one atomic byte that also
// says whether the middle copy is newer than the reader's.
//   write():  fill the writer's copy, then exchange it with the middle one
//             (acq_rel: the copy's bytes are released with the exchange).
//   read():   if the middle copy is fresh, exchange it with the reader's own
//             (acq_rel: acquires the bytes the writer released); then use it.
// Each copy is touched by one side at a time: the writer owns its index, the
// reader owns its index, and only the exchange moves a copy between them.
// Several writes between two reads leave the newest one; a read without a
// write keeps the last set.
//
// Threads: write() and writer_copy() on one thread (the UI thread), read() on
// one other thread (the audio thread).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <type_traits>

namespace tw {

template <class P>
class ParamSnapshot {
    static_assert(std::is_trivially_copyable_v<P>, "parameters cross threads as plain bytes");

public:
    explicit ParamSnapshot(const P& initial = P{}) { copies_.fill(initial); }
    ParamSnapshot(const ParamSnapshot&) = delete;
    ParamSnapshot& operator=(const ParamSnapshot&) = delete;

    // Publishes `p` as the newest set. Writer thread.
    void write(const P& p) {
        copies_[writer_] = p;
        const std::uint8_t old = middle_.exchange(static_cast<std::uint8_t>(writer_ | kFresh), std::memory_order_acq_rel);
        writer_ = old & kIndex;
    }

    // The newest complete set; the reference stays valid (and unchanged)
    // until the next read(). Reader thread.
    const P& read() {
        if ((middle_.load(std::memory_order_relaxed) & kFresh) != 0) {
            const std::uint8_t old = middle_.exchange(reader_, std::memory_order_acq_rel);
            reader_ = old & kIndex;
        }
        return copies_[reader_];
    }

private:
    static constexpr std::uint8_t kIndex = 3;
    static constexpr std::uint8_t kFresh = 4;

    std::array<P, 3> copies_{};
    std::uint8_t writer_ = 0;   // writer thread only
    std::uint8_t reader_ = 1;   // reader thread only
    std::atomic<std::uint8_t> middle_{2};
};

}  // namespace tw
