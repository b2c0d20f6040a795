// A repeating window timer for effects (e.g. a 100 ms signal watch). The
// front end gives a real one; tests and tools get one they tick by hand.
#pragma once

#include <functional>

namespace tw::platform {

class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;

    // Starts (or restarts) ticking every `interval_ms` milliseconds (values
    // below 1 are taken as 1); `on_tick` replaces any earlier callback and
    // runs on the UI thread. UI thread.
    virtual void start(int interval_ms, std::function<void()> on_tick) = 0;
    // Stops ticking; no callback runs after this returns. UI thread.
    virtual void stop() = 0;
    // True between start() and stop(). UI thread.
    virtual bool running() const = 0;
};

}  // namespace tw::platform
