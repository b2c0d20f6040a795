// Sharing one effect chain among threads for an offline render: the slots
// are cut into runs (stage k runs slots splits[k] .. splits[k+1]-1 on every
// chunk), and each run handles the chunks in order, so each slot still sees
// every block in order (the output is the same as on one thread) while the
// runs work on different chunks at the same time.
#pragma once

#include <cstdint>
#include <functional>
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

// Runs a stream of chunks through `steps` steps with `workers` threads.
// Step 0 makes each chunk (reads it), the last one takes it (writes it), the
// ones between work on it. Every step handles the chunks one at a time and in
// the order step 0 made them, so a step's state sees the same sequence as on
// one thread. Different steps run at the same time on different chunks: any
// free thread takes any step that is ready, the latest first (so finished
// work leaves early), which shares the work evenly among the threads however
// unevenly it is cut into steps. At most pool.size() chunks are in flight.
//
// step(k, chunk) does step k; it returns false at the end of the input (step
// 0, no chunk made) or to give up (any other step: every thread stops).
// thread_start() runs first on each worker; stop() is asked between steps and
// ends the run when true. Returns false when a step gave up or stop() ended
// it. Any thread (it blocks until the run has ended).
using StepFn = std::function<bool(int step, Chunk& chunk)>;
bool run_steps(int steps, int workers, std::vector<Chunk>& pool, const StepFn& step,
               const std::function<void()>& thread_start, const std::function<bool()>& stop);

}  // namespace tw::render
