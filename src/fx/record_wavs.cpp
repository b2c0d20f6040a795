#include "fx/record_wavs.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "engine/le_bytes.h"
#include "platform/atomic_write.h"
#include "platform/effect_services.h"
#include "platform/write_at.h"

namespace tw {

namespace {

constexpr const char* kMemoryItems[8] = {
    "Allocate 200 KB (1 sec on 48 kHz stereo)", "Allocate 2MB  (10 sec on 48 kHz stereo)",
    "Allocate 4 MB (20 sec on 48 kHz stereo)",  "Allocate 8 MB (40 sec on 48 kHz stereo)",
    "Allocate 12 MB (1 min on 48 kHz stereo)",  "Allocate 24 MB (2 min on 48 kHz stereo)",
    "Allocate 50 MB (4 min on 48 kHz stereo)",  "Allocate 72 MB (6 min on 48 kHz stereo)",
};
constexpr const char* kOutOfMemory = "Error: out of memory, use smaller buffer or add RAM to your PC!";
constexpr const char* kCannotOpen = "Error! Can NOT open Out wav";
constexpr const char* kCannotRewrite = "Error! Can NOT Rewrite Out wav";

platform::MessageBoxes& boxes() { return platform::effect_services().message_boxes(); }

// Writes as much of `size` bytes as the file takes; returns the bytes written.
std::size_t write_some(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string khz(std::int32_t rate) {
    std::ostringstream s;
    s << rate / 1000.0;
    return s.str();
}

}  // namespace

TRecord_wav_form::TRecord_wav_form()
    : EffectForm(ui::FormModel("TRecord_wav_form", "Record wav", 371, 191)),
      Button_Save("Button_Save", {8, 8, 112, 28}, "Start Recording"),
      Button_Pause("Button_Pause", {128, 8, 112, 28}, "Pause"),
      Button_Stop_and_Save("Button_Stop_and_Save", {248, 8, 115, 28}, "Stop and Save"),
      Gauge1("Gauge1", {8, 48, 355, 20}, 0, 100, 0),
      ComboBox_Memory("ComboBox_Memory", {8, 80, 355, 24}),
      Label1("Label1", {8, 116, 355, 20}, "no signals") {
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Button_Save, &Button_Pause, &Button_Stop_and_Save,
                                                              &Gauge1, &ComboBox_Memory, &Label1})
        form().add(*c);
    for (const char* item : kMemoryItems) ComboBox_Memory.add_item(item);
    ComboBox_Memory.set_item_index_silent(0);
    Button_Pause.set_enabled(false);
    Button_Stop_and_Save.set_enabled(false);
    Button_Save.on_click = [this] { Button_SaveClick(); };
    Button_Pause.on_click = [this] { Button_PauseClick(); };
    Button_Stop_and_Save.on_click = [this] { Button_Stop_and_SaveClick(); };
    ComboBox_Memory.on_change = [this] { ComboBox_MemoryChange(); };

    // FormCreate: 960000 bytes (5 s of 48 kHz stereo), whatever the list shows.
    params.rec_capacity = kCreationBytes / 2;
    memory_ = SampleMemory::allocate(std::int64_t{rec_bytes} + kSpareBytes);
    if (memory_) {
        params.rec_buffer = memory_.data();
    } else {
        rec_bytes = 0;
        boxes().message(kOutOfMemory, "");
    }
    publish();
    Timer1 = platform::effect_services().make_timer();
    Timer1->start(kTimerMs, [this] { Timer1Timer(); });
}

TRecord_wav_form::~TRecord_wav_form() {
    Timer1->stop();
    params.rec_buffer = nullptr;
    halt_recording();
    stream_.discard();
    memory_.reset();
}

WaveFormatEx TRecord_wav_form::rec_format() const {
    WaveFormatEx f;
    const std::uint32_t ch = static_cast<std::uint32_t>(kernel().rec_channels());
    const std::uint32_t rate = static_cast<std::uint32_t>(kernel().rec_rate());
    f.nChannels = static_cast<std::uint16_t>(ch);
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * 2 * ch;
    f.nBlockAlign = static_cast<std::uint16_t>(2 * ch);
    return f;
}

void TRecord_wav_form::halt_recording() {
    params.recording = false;
    publish();
    // After this, a buffer that was recording has ended, and every later one
    // enters the guard after it reopened and so reads recording = false.
    guard_.relayout([] {});
}

void TRecord_wav_form::Record_wav(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels,
                                  float* samples) {
    const AudioBlock block{frames, sample_rate, channels, samples};
    // The set is read inside the guard, so its memory stays in place for the
    // whole buffer; outside it the format is still noted.
    ProcessingScope scope(guard_);
    if (!scope) {
        kernel().note_signal(block);
        return;
    }
    run_kernel(block);
}

void TRecord_wav_form::Button_SaveClick() { start_recording(); }

void TRecord_wav_form::start_recording() {
    ComboBox_Memory.set_enabled(false);
    // Pressed again while recording: the take restarts, after the buffer
    // under way has finished adding to the old count.
    halt_recording();
    kernel().clear_rec_count();
    if (params.rec_buffer == nullptr) {
        boxes().message("Error: memory for wav recording buffer was not allocated", "");
        return;
    }
    params.recording = true;
    publish();
    // The take also goes to disk as it is recorded, so a crash keeps it.
    stream_.start(
        recordings_folder(), params.rec_buffer, [this] { return kernel().rec_count_published(); },
        [this] {
            return TakeFormat{static_cast<std::uint16_t>(kernel().rec_channels()),
                              static_cast<std::uint32_t>(kernel().rec_rate())};
        });
    Button_Save.set_enabled(false);
    Button_Pause.set_enabled(true);
    Button_Pause.set_caption("Pause");
    Button_Stop_and_Save.set_enabled(true);
}

void TRecord_wav_form::Button_PauseClick() {
    if (params.recording) {
        params.recording = false;
        publish();
        Button_Pause.set_caption("Continue");
    } else {
        params.recording = params.rec_buffer != nullptr;
        publish();
        Button_Pause.set_caption("Pause");
    }
}

bool TRecord_wav_form::InitFile(int fd, const WaveFormatEx& f) {
    std::vector<std::uint8_t> h(12 + 8 + f.file_size() + 8, 0);
    std::uint8_t* p = h.data();
    std::memcpy(p, "RIFF    WAVEfmt ", 16);
    store_le32(p + 16, f.file_size());
    std::uint8_t block[18] = {};
    store_le16(block, f.wFormatTag);
    store_le16(block + 2, f.nChannels);
    store_le32(block + 4, f.nSamplesPerSec);
    store_le32(block + 8, f.nAvgBytesPerSec);
    store_le16(block + 12, f.nBlockAlign);
    store_le16(block + 14, f.wBitsPerSample);
    store_le16(block + 16, f.cbSize);
    std::memcpy(p + 20, block, std::min<std::size_t>(f.file_size(), sizeof block));
    std::memcpy(p + 20 + f.file_size(), "data    ", 8);
    return write_some(fd, h.data(), h.size()) == h.size();
}

bool TRecord_wav_form::UpdateFile(int fd, const WaveFormatEx& f, std::uint32_t data_bytes) {
    std::uint8_t riff[4], data[4];
    store_le32(riff, data_bytes + f.file_size() + 20);
    store_le32(data, data_bytes);
    return platform::write_all_at(fd, 4, riff, 4) &&
           platform::write_all_at(fd, static_cast<off_t>(f.file_size() + 24), data, 4);
}

bool TRecord_wav_form::save_take(const std::string& path, bool& complete) {
    complete = false;
    platform::AtomicFile file;
    std::string why;
    if (!file.open(path, &why)) {
        boxes().warning(kCannotOpen, why + ". Choose another file name or folder; the take is kept.");
        return false;
    }
    const WaveFormatEx f = rec_format();
    if (!InitFile(file.fd(), f)) {
        boxes().warning(kCannotRewrite, "Could not write to " + path + ". The take is kept; try another place.");
        return false;
    }
    // The samples, little-endian, in pieces.
    const std::int32_t count = kernel().rec_count();
    const std::int16_t* take = memory_.data();
    std::vector<std::uint8_t> chunk(64 * 1024);
    std::size_t written = 0;
    complete = true;
    for (std::int32_t i = 0; i < count && complete;) {
        const std::int32_t n = std::min<std::int32_t>(count - i, static_cast<std::int32_t>(chunk.size() / 2));
        for (std::int32_t k = 0; k < n; ++k) store_le16(&chunk[2 * k], static_cast<std::uint16_t>(take[i + k]));
        const std::size_t want = static_cast<std::size_t>(n) * 2;
        const std::size_t got = write_some(file.fd(), chunk.data(), want);
        written += got;
        complete = got == want;
        i += n;
    }
    if (!complete) {
        // A short write (a full disk) must not replace an earlier file of that
        // name with a truncated take: the temporary file is dropped and the
        // whole take stays in memory, to be saved again elsewhere.
        if (!file.direct()) file.discard();
        boxes().message("Error during recording into wav file, may be there is no enough free space on hard disk",
                        file.direct() ? "The device took only part of the take; the whole take is kept, so it can "
                                        "be saved again elsewhere."
                                      : "Nothing was saved and any earlier file of that name is untouched; the "
                                        "whole take is kept, so it can be saved again after freeing some space "
                                        "or in another place.");
        return false;
    }
    if (!UpdateFile(file.fd(), f, static_cast<std::uint32_t>(written)) || !file.commit(&why)) {
        boxes().warning(kCannotRewrite, (why.empty() ? "Could not finish " + path : why) +
                                            ". The take is kept and any earlier file is untouched.");
        return false;
    }
    return true;
}

void TRecord_wav_form::Button_Stop_and_SaveClick() {
    halt_recording();
    auto chosen = platform::effect_services().file_dialogs().save_file({"Save wav file", "wav files|*.wav", {}});
    if (!chosen) return;   // the samples are kept; Pause or Stop and Save again
    stop_and_save_to(*chosen);
}

bool TRecord_wav_form::stop_and_save_to(const std::string& path) {
    halt_recording();
    bool complete = false;
    if (!save_take(path, complete) || !complete) return false;
    stream_.discard();
    kernel().clear_rec_count();
    Button_Save.set_enabled(true);
    Button_Pause.set_enabled(false);
    Button_Pause.set_caption("Pause");
    Button_Stop_and_Save.set_enabled(false);
    ComboBox_Memory.set_enabled(true);
    return true;
}

void TRecord_wav_form::ComboBox_MemoryChange() {
    const int i = ComboBox_Memory.item_index();
    const std::int32_t bytes = (i >= 0 && i < 8) ? kRecordMemoryBytes[i] : rec_bytes;
    bool ok = true;
    // Recording is off here (the list is disabled while recording); the wait
    // covers a buffer that is still finishing. The kernel has no memory while
    // it is replaced.
    params.rec_buffer = nullptr;
    halt_recording();
    stream_.discard();   // it reads the memory about to go
    guard_.relayout([&] {
        memory_.reset();
        rec_bytes = bytes;
        params.rec_capacity = bytes / 2;
        memory_ = SampleMemory::allocate(std::int64_t{bytes} + kSpareBytes);
        if (memory_) {
            params.rec_buffer = memory_.data();
        } else {
            rec_bytes = 0;
            ok = false;
        }
        publish();
    });
    if (!ok) boxes().message(kOutOfMemory, "");
}

void TRecord_wav_form::Timer1Timer() {
    const std::int32_t cap = params.rec_capacity;
    const double filled = cap > 0 ? static_cast<double>(kernel().rec_count()) / cap * 100.0 : 0.0;
    Gauge1.set_progress(static_cast<int>(std::nearbyint(filled)));
    if (timer_phase == 0) kernel().clear_signal_seen();
    if (timer_phase == 1) {
        if (kernel().signal_seen() == 1) {
            Label1.set_caption(std::string("Signals detected : ") +
                               (kernel().rec_channels() == 1 ? "mono  " : "stereo  ") + khz(kernel().last_rate()) +
                               " kHz");
            if (!Button_Save.enabled()) Button_Save.set_enabled(true);
        } else {
            params.recording = false;
            publish();
            Label1.set_caption("no signals");
            Button_Save.set_enabled(false);
            Button_Pause.set_enabled(false);
            // A take already in memory can still be saved: the audio stopping
            // must not cost the player what was recorded.
            Button_Stop_and_Save.set_enabled(kernel().rec_count() > 0);
        }
    }
    timer_phase = 1 - timer_phase;
}

KindDecl record_wav_kind() { return declare_kind_storing_nothing<TRecord_wav_form>(kKindRecordWav, "Record wav"); }

}  // namespace tw
