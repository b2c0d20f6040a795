// Stopping a tool cleanly on SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM,
// SIGUSR1 and SIGUSR2, even while it waits in a blocking open() or read()
// (a FIFO nobody writes, a slow device).
//
// No signal handler runs: the signals are blocked in every thread and the
// main thread takes them with sigtimedwait(), so nothing happens inside a
// handler and the work threads never see EINTR. The work runs on its own
// thread; a stop signal sets a flag it looks at between blocks. Work that
// does not end soon after (it is stuck in a blocking call) is abandoned: the
// temporary files of unfinished writes are removed and the process ends with
// exit code 1. Because SIGPIPE stays blocked, writing into a closed pipe
// fails with EPIPE instead of killing the tool. A signal the tool was started
// ignoring (nohup's SIGHUP) stays ignored.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tw::tools {

// Blocks the stop signals in the calling thread. Call it first in main(),
// before any thread starts, so that every thread inherits the mask. Main
// thread.
void block_stop_signals();

// The stop signal that arrived (SIGINT, ...), 0 while none has. Any thread.
int stop_signal();
inline bool stop_requested() { return stop_signal() != 0; }

// "SIGINT", "SIGPIPE", ...; "signal N" for others. Any thread.
std::string signal_name(int sig);

// Waits until `deadline` or a stop signal, whichever comes first; true when
// a stop signal has come (now or before). Main thread.
bool wait_for_stop_until(std::chrono::steady_clock::time_point deadline);

// Runs `job` on its own thread and returns when it has ended. A stop signal
// meanwhile makes stop_requested() true; if the job has not ended `grace`
// after that, `tool` + ": stopped by SIGxxx " + `stuck_note` is printed, the
// temporary files of unfinished writes are removed and the process ends
// with exit code 1. What the job throws is thrown again here. Main thread.
void run_stoppable(const std::function<void()>& job, const std::string& tool, const std::string& stuck_note,
                   std::chrono::milliseconds grace = std::chrono::milliseconds(500));

}  // namespace tw::tools
