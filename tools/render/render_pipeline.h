// Splitting one effect chain across threads for an offline render: stage k
// runs slots splits[k] .. splits[k+1]-1 on every chunk, and chunks pass from
// stage to stage through bounded channels, so each slot still sees every
// block in order (the output is the same as on one thread) while the stages
// work on different chunks at the same time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace tw::render {

// Stage boundaries (stages + 1 slot indexes, 0 first, slots last, never
// decreasing) that share `cost` (one figure per slot) as evenly as possible.
// `head` and `tail` are costs the first and the last stage carry besides
// their slots (reading and writing the files). Any thread.
std::vector<std::int32_t> choose_splits(const std::vector<double>& cost, int stages, double head = 0.0,
                                        double tail = 0.0);

// One chunk of interleaved frames on its way through the stages.
struct Chunk {
    std::vector<float> samples;
    std::int64_t frames = 0;
    std::int32_t done_slots = 0;  // slots below this index have run on it already
};

// A blocking hand-over between two stages (or back to the reader). pop()
// waits for a chunk; it returns nullptr once the channel is closed and empty.
// Any thread.
class ChunkChannel {
public:
    void push(Chunk* c) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return;
            queue_.push_back(c);
        }
        ready_.notify_one();
    }
    Chunk* pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return nullptr;
        Chunk* c = queue_.front();
        queue_.pop_front();
        return c;
    }
    // What was pushed before is still popped; later pushes are dropped.
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }
    // Closes and forgets what waits, so that every pop returns at once.
    void abort() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            queue_.clear();
        }
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Chunk*> queue_;
    bool closed_ = false;
};

}  // namespace tw::render
