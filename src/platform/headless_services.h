// Effect services without a window system, for tests, tools and headless
// runs: a timer hub whose timers tick only when advanced, file dialogs that
// answer from a script (else "cancelled"), message boxes that are recorded
// and may be echoed to a stream.
//
// Threads: UI thread (the thread that drives the effects).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/effect_services.h"

namespace tw::platform {

class ManualTimerHub;

// A timer that fires only when its hub advances the time (or tick() is called).
class ManualTimer : public RepeatingTimer {
public:
    explicit ManualTimer(ManualTimerHub* hub);
    ~ManualTimer() override;
    void start(int interval_ms, std::function<void()> on_tick) override;
    void stop() override;
    bool running() const override { return running_; }
    int interval_ms() const { return interval_ms_; }
    // Runs the callback once now if running.
    void tick();

private:
    friend class ManualTimerHub;
    ManualTimerHub* hub_;
    std::function<void()> on_tick_;
    int interval_ms_ = 0;
    std::int64_t elapsed_ms_ = 0;
    bool running_ = false;
};

// Keeps track of its live timers and advances them together.
class ManualTimerHub {
public:
    ~ManualTimerHub();
    std::unique_ptr<ManualTimer> make();
    // Advances every running timer by `ms` milliseconds, firing each as many
    // times as whole intervals pass. Callbacks may start, stop, create or
    // destroy timers.
    void advance(std::int64_t ms);
    std::size_t live_timers() const { return timers_.size(); }

private:
    friend class ManualTimer;
    std::vector<ManualTimer*> timers_;
};

// Answers open/save dialogs from a queue of scripted answers; an empty queue
// answers "cancelled". Every request is recorded.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<std::string> open_file(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    // The next dialog (open or save) answers `path`; nullopt scripts a cancel.
    void push_answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }
    const std::vector<FileDialogRequest>& requests() const { return requests_; }

private:
    std::optional<std::string> answer(const FileDialogRequest& request);
    std::deque<std::optional<std::string>> answers_;
    std::vector<FileDialogRequest> requests_;
};

// Records message boxes (the latest kMaxKept) and, if given a stream, prints
// each as one line ("warning: " before warnings, "question: " before
// questions). Questions answer from a script, else No.
class RecordingMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        bool warning;
        std::string text;
        std::string detail;
        bool question = false;
    };
    static constexpr std::size_t kMaxKept = 100;

    void message(const std::string& text, const std::string& detail) override;
    void warning(const std::string& text, const std::string& detail) override;
    bool question(const std::string& text) override;
    // The next question answers `yes`.
    void push_answer(bool yes) { answers_.push_back(yes); }
    void echo_to(std::FILE* stream) { echo_ = stream; }
    const std::deque<Shown>& shown() const { return shown_; }
    void clear() { shown_.clear(); }

private:
    void record(bool warning, const std::string& text, const std::string& detail, bool question = false);
    std::deque<Shown> shown_;
    std::deque<bool> answers_;
    std::FILE* echo_ = nullptr;
};

class HeadlessServices : public EffectServices {
public:
    std::unique_ptr<RepeatingTimer> make_timer() override { return timers.make(); }
    FileDialogs& file_dialogs() override { return dialogs; }
    MessageBoxes& message_boxes() override { return messages; }

    ManualTimerHub timers;
    ScriptedFileDialogs dialogs;
    RecordingMessageBoxes messages;
};

// The defaults effect_services() answers with when nothing is installed.
HeadlessServices& default_headless_services();

}  // namespace tw::platform
