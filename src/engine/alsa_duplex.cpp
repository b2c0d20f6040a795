#include "engine/alsa_duplex.h"

#include <alsa/asoundlib.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>

namespace tw::audio {
namespace {

// Sets one direction up: float interleaved (16-bit integers when the device
// takes no float, `s16` then true), the rate exactly, the period and the
// number of periods as near as the device allows; the stream is started by
// the loop, never by a threshold. "" or why not.
std::string set_up(snd_pcm_t* pcm, unsigned rate, unsigned channels, snd_pcm_uframes_t& period, unsigned& periods,
                   bool& s16) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int e = snd_pcm_hw_params_any(pcm, hw);
    if (e >= 0) e = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    s16 = false;
    if (e >= 0 && snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_FLOAT_LE) < 0 &&
        snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_S16_LE) >= 0)
        s16 = true;
    if (e >= 0) e = snd_pcm_hw_params_set_format(pcm, hw, s16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_FLOAT_LE);
    if (e >= 0) e = snd_pcm_hw_params_set_channels(pcm, hw, channels);
    if (e >= 0) e = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0);
    if (e < 0) return std::string("the device does not offer ") + std::to_string(channels) + " channel(s) at " +
                      std::to_string(rate) + " Hz (" + snd_strerror(e) + ")";
    if ((e = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0 ||
        (e = snd_pcm_hw_params_set_periods_near(pcm, hw, &periods, nullptr)) < 0 || (e = snd_pcm_hw_params(pcm, hw)) < 0)
        return std::string("the buffer sizes were refused (") + snd_strerror(e) + ")";
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t boundary = 0;
    e = snd_pcm_sw_params_current(pcm, sw);
    if (e >= 0) e = snd_pcm_sw_params_get_boundary(sw, &boundary);
    if (e >= 0) e = snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary);
    if (e >= 0) e = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if (e >= 0) e = snd_pcm_sw_params(pcm, sw);
    if (e < 0) return std::string("the device's start settings were refused (") + snd_strerror(e) + ")";
    return {};
}

}  // namespace

std::string AlsaDuplex::open(const Request& r, CaptureFn capture, void* capture_user, PlaybackFn playback,
                             void* playback_user, int& period_out) {
    close();
    const char* name = r.pcm.c_str();
    int e = snd_pcm_open(&cap_, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (e < 0) {
        cap_ = nullptr;
        return std::string("The input of ALSA \"") + name + "\" could not be opened: " + snd_strerror(e) + ".";
    }
    e = snd_pcm_open(&play_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (e < 0) {
        play_ = nullptr;
        snd_pcm_close(cap_);
        cap_ = nullptr;
        return std::string("The output of ALSA \"") + name + "\" could not be opened: " + snd_strerror(e) + ".";
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(std::clamp(r.period, 16, 8192));
    unsigned periods = static_cast<unsigned>(std::clamp(r.periods, 2, 16));
    snd_pcm_uframes_t play_period = period;
    unsigned play_periods = periods;
    std::string why = set_up(cap_, static_cast<unsigned>(r.sample_rate), static_cast<unsigned>(r.in_channels), period,
                             periods, in_s16_);
    if (why.empty())
        why = set_up(play_, static_cast<unsigned>(r.sample_rate), static_cast<unsigned>(r.out_channels), play_period,
                     play_periods, out_s16_);
    if (why.empty() && play_period != period) why = "input and output were given different periods";
    if (!why.empty()) {
        snd_pcm_close(cap_);
        snd_pcm_close(play_);
        cap_ = play_ = nullptr;
        return std::string("ALSA \"") + name + "\": " + why + ".";
    }
    snd_pcm_nonblock(play_, 0);  // writes wait for room; reads wait in snd_pcm_wait
    capture_ = capture;
    playback_ = playback;
    capture_user_ = capture_user;
    playback_user_ = playback_user;
    rate_ = r.sample_rate;
    in_ch_ = r.in_channels;
    out_ch_ = r.out_channels;
    period_ = static_cast<int>(period);
    periods_ = static_cast<int>(play_periods);
    in_.assign(static_cast<std::size_t>(period_ * in_ch_), 0.0f);
    out_.assign(static_cast<std::size_t>(period_ * out_ch_), 0.0f);
    silence_.assign(static_cast<std::size_t>(period_ * out_ch_), 0.0f);
    in16_.assign(in_s16_ ? in_.size() : 0, 0);
    out16_.assign(out_s16_ ? silence_.size() : 0, 0);
    quit_.store(false);
    lost_.store(false);
    if (!restart()) {
        snd_pcm_close(cap_);
        snd_pcm_close(play_);
        cap_ = play_ = nullptr;
        return std::string("ALSA \"") + name + "\" could not be started.";
    }
    period_out = period_;
    thread_ = std::thread([this] { run(); });
    return {};
}

void AlsaDuplex::close() {
    if (thread_.joinable()) {
        quit_.store(true);
        thread_.join();
    }
    // A device that failed under the loop is left unclosed: when the sound
    // server behind alsa-lib's pulse plugin has gone, closing waits for the
    // plugin's own thread, which can wait forever on the lost connection.
    if (!lost_.load(std::memory_order_relaxed)) {
        if (cap_) snd_pcm_close(cap_);
        if (play_) snd_pcm_close(play_);
    }
    cap_ = play_ = nullptr;
}

bool AlsaDuplex::restart() {
    snd_pcm_drop(cap_);
    snd_pcm_drop(play_);
    if (snd_pcm_prepare(cap_) < 0 || snd_pcm_prepare(play_) < 0) return false;
    // A full buffer of silence: the first input takes a period to arrive, so
    // the output then still holds periods-1 periods, its margin against a
    // late input from then on.
    for (int k = 0; k < periods_; ++k)
        if (snd_pcm_writei(play_, out_s16_ ? static_cast<const void*>(out16_.data()) : silence_.data(),
                           static_cast<snd_pcm_uframes_t>(period_)) != period_)
            return false;
    return snd_pcm_start(play_) >= 0 && snd_pcm_start(cap_) >= 0;
}

void AlsaDuplex::run() {
    sched_param p{};
    p.sched_priority = std::max(1, sched_get_priority_max(SCHED_FIFO) - 10);
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);  // best effort
    const auto period = static_cast<snd_pcm_uframes_t>(period_);
    snd_pcm_uframes_t have = 0;
    while (!quit_.load(std::memory_order_relaxed)) {
        // Wait at most 100 ms at a time, so close() is never held up.
        const int w = snd_pcm_wait(cap_, 100);
        if (w == 0) continue;
        const std::size_t at = have * static_cast<std::size_t>(in_ch_);
        snd_pcm_sframes_t n = w < 0 ? w
                                    : snd_pcm_readi(cap_, in_s16_ ? static_cast<void*>(in16_.data() + at)
                                                                  : static_cast<void*>(in_.data() + at),
                                                    period - have);
        if (n == -EAGAIN) continue;
        if (n < 0) {
            if (n == -EPIPE || n == -ESTRPIPE) xruns_.fetch_add(1, std::memory_order_relaxed);
            if ((n == -EPIPE || n == -ESTRPIPE) && restart()) {
                have = 0;
                continue;
            }
            lost_.store(true, std::memory_order_relaxed);
            return;
        }
        have += static_cast<snd_pcm_uframes_t>(n);
        if (have < period) continue;
        have = 0;
        if (in_s16_)
            for (std::size_t i = 0; i < in_.size(); ++i) in_[i] = static_cast<float>(in16_[i]) * (1.0f / 32768.0f);
        capture_(capture_user_, in_.data(), period_);
        playback_(playback_user_, out_.data(), period_);
        // A 16-bit device: dither and the clip as the very last step.
        if (out_s16_)
            for (std::size_t i = 0; i < out_.size(); ++i) out16_[i] = dither_.to_int16(out_[i]);
        // Blocking: an input that came early waits here for room.
        const snd_pcm_sframes_t m = snd_pcm_writei(
            play_, out_s16_ ? static_cast<const void*>(out16_.data()) : static_cast<const void*>(out_.data()), period);
        if (m == -EPIPE) {
            xruns_.fetch_add(1, std::memory_order_relaxed);
            if (!restart()) {
                lost_.store(true, std::memory_order_relaxed);
                return;
            }
        } else if (m < 0 && m != -EAGAIN) {
            lost_.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

}  // namespace tw::audio
