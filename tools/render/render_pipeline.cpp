#include "render_pipeline.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace tw::render {

std::vector<std::int32_t> choose_splits(const std::vector<double>& cost, int stages, double head, double tail) {
    const auto slots = static_cast<std::int32_t>(cost.size());
    stages = std::max(stages, 1);
    // prefix[i]: work done once slots 0 .. i-1 have run (the head included).
    std::vector<double> prefix(cost.size() + 1, std::max(head, 0.0));
    for (std::size_t i = 0; i < cost.size(); ++i)
        prefix[i + 1] = prefix[i] + (std::isfinite(cost[i]) ? std::max(cost[i], 0.0) : 0.0);
    const double total = prefix.back() + std::max(tail, 0.0);
    std::vector<std::int32_t> splits(static_cast<std::size_t>(stages) + 1, slots);
    splits[0] = 0;
    std::int32_t at = 0;
    for (int k = 1; k < stages; ++k) {
        const double target = total * k / stages;
        // The boundary whose work before it is nearest the target.
        while (at < slots && std::fabs(prefix[at + 1] - target) <= std::fabs(prefix[at] - target)) ++at;
        splits[static_cast<std::size_t>(k)] = at;
    }
    return splits;
}

namespace {

// The shared state of run_steps, guarded by one mutex.
class StepBoard {
public:
    StepBoard(int steps, std::vector<Chunk>& pool)
        : steps_(steps), pool_(pool), next_step_(pool.size(), 0), seq_(pool.size(), 0),
          next_seq_(static_cast<std::size_t>(steps), 0), busy_(static_cast<std::size_t>(steps), false) {}

    // Waits for a ready step and claims it: the step and its chunk's index,
    // or step -1 once the run is over.
    std::pair<int, std::size_t> claim(const std::function<bool()>& stop) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (!over_ && stop()) {
                over_ = failed_ = true;
                changed_.notify_all();
            }
            if (over_) return {-1, 0};
            for (int k = steps_ - 1; k >= 0; --k) {
                if (busy_[static_cast<std::size_t>(k)]) continue;
                const std::size_t c = ready_chunk(k);
                if (c == kNone) continue;
                busy_[static_cast<std::size_t>(k)] = true;
                return {k, c};
            }
            // Nothing ready: wake up when a step ends, and look at stop()
            // now and then.
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    // Step k ended on chunk c: `ok` false gives up the run (or, for step 0,
    // ends the input).
    void finish(int k, std::size_t c, bool ok) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto ku = static_cast<std::size_t>(k);
            busy_[ku] = false;
            if (k == 0 && !ok) {
                input_over_ = true;
                next_step_[c] = 0;  // back to the free chunks
            } else if (!ok) {
                over_ = failed_ = true;
            } else {
                if (k == 0) seq_[c] = next_seq_[0];
                ++next_seq_[ku];
                next_step_[c] = k + 1 == steps_ ? 0 : k + 1;
            }
            if (input_over_ && next_seq_[static_cast<std::size_t>(steps_ - 1)] == next_seq_[0]) over_ = true;
        }
        changed_.notify_all();
    }

    bool failed() const { return failed_; }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The chunk step k may take now, or kNone. Step 0 takes a free chunk
    // (next step 0); step k > 0 the chunk next in order, once it waits for k.
    std::size_t ready_chunk(int k) const {
        if (k == 0 && input_over_) return kNone;
        for (std::size_t c = 0; c < pool_.size(); ++c) {
            if (next_step_[c] != k) continue;
            if (k == 0 || seq_[c] == next_seq_[static_cast<std::size_t>(k)]) return c;
        }
        return kNone;
    }

    const int steps_;
    std::vector<Chunk>& pool_;
    std::vector<int> next_step_;         // per chunk: the step it waits for or is in (0: free or being read)
    std::vector<std::int64_t> seq_;      // per chunk: its place in the input's order
    std::vector<std::int64_t> next_seq_; // per step: the place of the chunk it takes next
    std::vector<bool> busy_;             // per step: a thread runs it
    bool input_over_ = false;
    bool over_ = false;
    bool failed_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

bool run_steps(int steps, int workers, std::vector<Chunk>& pool, const StepFn& step,
               const std::function<void()>& thread_start, const std::function<bool()>& stop) {
    if (steps < 1 || pool.empty()) return false;
    StepBoard board(steps, pool);
    auto work = [&] {
        thread_start();
        for (;;) {
            const auto [k, c] = board.claim(stop);
            if (k < 0) return;
            board.finish(k, c, step(k, pool[c]));
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < std::max(workers, 1); ++i) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();
    return !board.failed();
}

}  // namespace tw::render
