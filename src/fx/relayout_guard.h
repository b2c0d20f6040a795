// A guard for re-laying an effect's processing state (indices, windows ...)
// from the UI thread while the audio thread may be inside a buffer. The
// audio side tries to enter without ever waiting: a buffer that finds the
// state being re-laid passes unprocessed. The UI side waits until no buffer
// is in progress, closes the guard, re-lays, then opens it again.
//
// One 32-bit word: kIdle, kRelaying (UI) or kProcessing (audio). Entering
// takes it with acquire, leaving hands it back with release, so whatever
// one side wrote inside is seen by the other after its next entry.
#pragma once

#include <atomic>
#include <cstdint>

namespace tw {

class RelayoutGuard {
public:
    static constexpr std::int32_t kIdle = 0;
    static constexpr std::int32_t kRelaying = 1;
    static constexpr std::int32_t kProcessing = 2;

    // Enters for one buffer: true if the state may be used; false (without
    // waiting) while it is being re-laid, and the buffer passes unprocessed.
    // A true return must be paired with leave_processing(). Audio thread; no
    // allocation, lock or system call.
    bool try_enter_processing() noexcept {
        std::int32_t expected = kIdle;
        return word_.compare_exchange_strong(expected, kProcessing, std::memory_order_acquire,
                                             std::memory_order_relaxed);
    }
    // Ends the buffer. Audio thread.
    void leave_processing() noexcept { word_.store(kIdle, std::memory_order_release); }

    // Waits until no buffer is in progress, then closes the guard: from
    // here on buffers pass unprocessed. Waiting yields, then sleeps briefly
    // (a buffer lasts milliseconds). UI thread.
    void begin_relayout();
    // Opens the guard again. UI thread.
    void end_relayout() noexcept { word_.store(kIdle, std::memory_order_release); }

    // Runs `relay` between begin_relayout() and end_relayout(). UI thread.
    template <class F>
    void relayout(F&& relay) {
        begin_relayout();
        relay();
        end_relayout();
    }

    // The current state, for checks and tests. Any thread.
    std::int32_t load(std::memory_order order = std::memory_order_seq_cst) const noexcept { return word_.load(order); }
    // Forces a state; only for tests that stand in for one side. Any thread.
    void store(std::int32_t state, std::memory_order order = std::memory_order_seq_cst) noexcept {
        word_.store(state, order);
    }

private:
    std::atomic<std::int32_t> word_{kIdle};
};

// Holds the guard for one buffer on the audio thread: `if (!scope) return;`
// skips the buffer; the destructor leaves. Audio thread.
class ProcessingScope {
public:
    explicit ProcessingScope(RelayoutGuard& guard) noexcept : guard_(guard), entered_(guard.try_enter_processing()) {}
    ~ProcessingScope() {
        if (entered_) guard_.leave_processing();
    }
    ProcessingScope(const ProcessingScope&) = delete;
    ProcessingScope& operator=(const ProcessingScope&) = delete;
    explicit operator bool() const noexcept { return entered_; }

private:
    RelayoutGuard& guard_;
    bool entered_;
};

}  // namespace tw
