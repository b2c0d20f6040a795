#include "platform/headless_services.h"
#include "platform/printable_text.h"

#include <algorithm>

namespace tw::platform {

ManualTimer::ManualTimer(ManualTimerHub* hub) : hub_(hub) {
    if (hub_ != nullptr) hub_->timers_.push_back(this);
}

ManualTimer::~ManualTimer() {
    if (hub_ == nullptr) return;
    auto& t = hub_->timers_;
    t.erase(std::remove(t.begin(), t.end(), this), t.end());
}

void ManualTimer::start(int interval_ms, std::function<void()> on_tick) {
    interval_ms_ = std::max(interval_ms, 1);
    on_tick_ = std::move(on_tick);
    elapsed_ms_ = 0;
    running_ = true;
}

void ManualTimer::stop() { running_ = false; }

void ManualTimer::tick() {
    if (!running_ || !on_tick_) return;
    // A copy: the callback may restart this timer with another callback.
    const std::function<void()> f = on_tick_;
    f();
}

ManualTimerHub::~ManualTimerHub() {
    for (ManualTimer* t : timers_) t->hub_ = nullptr;
}

std::unique_ptr<ManualTimer> ManualTimerHub::make() { return std::make_unique<ManualTimer>(this); }

void ManualTimerHub::advance(std::int64_t ms) {
    if (ms <= 0) return;
    // Timers made or destroyed by a callback: walk a snapshot and skip any
    // that is no longer alive.
    const std::vector<ManualTimer*> snapshot = timers_;
    for (ManualTimer* t : snapshot) {
        if (std::find(timers_.begin(), timers_.end(), t) == timers_.end() || !t->running_) continue;
        t->elapsed_ms_ += ms;
        while (t->running_ && t->elapsed_ms_ >= t->interval_ms_) {
            t->elapsed_ms_ -= t->interval_ms_;
            t->tick();
            if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) break;  // destroyed by its callback
        }
    }
}

std::optional<std::string> ScriptedFileDialogs::answer(const FileDialogRequest& request) {
    requests_.push_back(request);
    if (answers_.empty()) return std::nullopt;
    std::optional<std::string> a = std::move(answers_.front());
    answers_.pop_front();
    return a;
}

std::optional<std::string> ScriptedFileDialogs::open_file(const FileDialogRequest& request) { return answer(request); }
std::optional<std::string> ScriptedFileDialogs::save_file(const FileDialogRequest& request) { return answer(request); }

void RecordingMessageBoxes::record(bool warning, const std::string& text, const std::string& detail, bool question) {
    shown_.push_back({warning, text, detail, question});
    while (shown_.size() > kMaxKept) shown_.pop_front();
    if (echo_ != nullptr) {
        // Messages may quote names from outside (ports, files): printed safe.
        std::fprintf(echo_, "%s%s%s%s\n", warning ? "warning: " : (question ? "question: " : ""),
                     printable_text(text).c_str(), detail.empty() ? "" : " ",
                     detail.empty() ? "" : printable_text("(" + detail + ")").c_str());
        std::fflush(echo_);
    }
}

void RecordingMessageBoxes::message(const std::string& text, const std::string& detail) { record(false, text, detail); }
void RecordingMessageBoxes::warning(const std::string& text, const std::string& detail) { record(true, text, detail); }

bool RecordingMessageBoxes::question(const std::string& text) {
    record(false, text, "", true);
    if (answers_.empty()) return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

}  // namespace tw::platform
