// A backend the tests drive by hand: devices, buffer sizes and open results
// are set by the test, and the test itself plays the audio threads by calling
// feed() (a captured buffer) and pull() (an output callback).
#pragma once

#include <string>
#include <vector>

#include "app/dialogs.h"
#include "engine/audio_backend.h"

namespace tw::test {

class FakeBackend : public audio::AudioBackend {
public:
    std::vector<audio::BackendDevice> devs;
    int min_frames = 256;
    int granted_frames = 0;  // 0 = grant what is asked
    std::string capture_error, playback_error;

    std::vector<audio::StreamRequest> capture_requests, playback_requests;
    std::vector<std::string> min_frames_queries;
    int capture_stops = 0, playback_stops = 0;
    bool capturing = false, playing = false;
    bool lost = false;  // the sound system closed a stream

    bool stream_lost() const override { return lost; }
    // What the "sound system" reports holding of each running stream, in ms.
    double capture_ms = 0.0, playback_ms = 0.0;
    double capture_latency_ms() const override { return capturing ? capture_ms : 0.0; }
    // Capture and playback in one callback (as the JACK backend runs them).
    bool duplex = false;
    bool one_cycle_duplex() const override { return duplex; }
    double playback_latency_ms() const override { return playing ? playback_ms : 0.0; }

    std::vector<audio::BackendDevice> devices() override { return devs; }
    int min_buffer_frames(const std::string& name, int, int) override {
        min_frames_queries.push_back(name);
        return min_frames;
    }
    std::string start_capture(const audio::StreamRequest& r, int& frames, audio::CaptureFn fn, void* user) override {
        capture_requests.push_back(r);
        if (!capture_error.empty()) return capture_error;
        frames = granted_frames ? granted_frames : r.frames;
        cfn_ = fn;
        cuser_ = user;
        capturing = true;
        return {};
    }
    void stop_capture() override {
        ++capture_stops;
        capturing = false;
    }
    std::string start_playback(const audio::StreamRequest& r, int& frames, audio::PlaybackFn fn, void* user) override {
        playback_requests.push_back(r);
        if (!playback_error.empty()) return playback_error;
        frames = granted_frames ? granted_frames : r.frames;
        pfn_ = fn;
        puser_ = user;
        playing = true;
        return {};
    }
    void stop_playback() override {
        ++playback_stops;
        playing = false;
    }

    // One captured buffer, interleaved, full scale +-1. Only while capturing.
    void feed(const std::vector<float>& in, int frames) {
        if (capturing) cfn_(cuser_, in.data(), frames);
    }
    // One output callback of `frames` frames of `channels`.
    std::vector<float> pull(int frames, int channels) {
        std::vector<float> out(static_cast<std::size_t>(frames * channels), 99.0f);
        if (playing) pfn_(puser_, out.data(), frames);
        return out;
    }

    // The same into the caller's buffer (allocates nothing).
    void pull_into(float* out, int frames) {
        if (playing) pfn_(puser_, out, frames);
    }

    static audio::BackendDevice input(std::string name) { return {std::move(name), 2, 0, false}; }
    static audio::BackendDevice output(std::string name, bool alternative = false) {
        return {std::move(name), 0, 2, alternative};
    }

private:
    audio::CaptureFn cfn_ = nullptr;
    void* cuser_ = nullptr;
    audio::PlaybackFn pfn_ = nullptr;
    void* puser_ = nullptr;
};

// Records every message and the end of the program.
class RecordingDialogs : public Dialogs {
public:
    std::vector<std::string> messages, details, questions, urls;
    std::vector<bool> answers;  // the next questions' answers, in order; then No
    bool url_opens = true;
    int end_calls = 0;
    int end_code = -1;
    void message(const std::string& text, const std::string& detail) override {
        messages.push_back(text);
        details.push_back(detail);
    }
    void warning(const std::string& text, const std::string& detail) override { message(text, detail); }
    bool question(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.erase(answers.begin());
        return yes;
    }
    void end_program(int code) override {
        ++end_calls;
        end_code = code;
    }
    bool open_url(const std::string& url) override {
        urls.push_back(url);
        return url_opens;
    }
};

}  // namespace tw::test
