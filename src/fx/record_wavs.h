// Record wav (kind 12): records the signal passing its place in the chain
// into memory (a size the user picks) and writes it on "Stop and Save" as a
// 16-bit PCM WAV file. The signal passes unchanged. A 100 ms timer watches
// whether the chain runs and shows the signal's format. Presets store nothing.
// The window owns the memory, the timer and the saving; the storing is
// RecordWavKernel's (record_wav_kernel.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/record_wav_kernel.h"
#include "fx/relayout_guard.h"
#include "fx/sample_memory.h"
#include "fx/take_stream.h"
#include "platform/repeating_timer.h"
#include "ui/button.h"
#include "ui/combo_box.h"
#include "ui/text_controls.h"

namespace tw {

// The format block written to the file (WAVEFORMATEX).
struct WaveFormatEx {
    std::uint16_t wFormatTag = 1;
    std::uint16_t nChannels = 1;
    std::uint32_t nSamplesPerSec = 48000;
    std::uint32_t nAvgBytesPerSec = 96000;
    std::uint16_t nBlockAlign = 2;
    std::uint16_t wBitsPerSample = 16;
    std::uint16_t cbSize = 0;

    // Bytes of the block in the file: 16 for PCM, else cbSize + 18.
    std::uint32_t file_size() const { return wFormatTag == 1 ? 16u : cbSize + 18u; }
};

// The window: controls, handlers, the timer, the take's memory (handed to the
// kernel through KernelHost::params and replaced only while no buffer can be
// writing into it) and Stop and Save.
class TRecord_wav_form : public EffectForm, public KernelHost<RecordWavKernel> {
public:
    static constexpr std::int32_t kCreationBytes = 960000;
    static constexpr std::int64_t kSpareBytes = 100;
    static constexpr int kTimerMs = 100;

    // Builds the window and runs FormCreate: allocates the recording memory
    // and starts the timer. UI thread.
    TRecord_wav_form();
    // FormDestroy: stops the timer and the recording, waits until no buffer
    // can still write, releases the memory. UI thread.
    ~TRecord_wav_form() override;

    // Controls (designer names).
    ui::Button Button_Save;
    ui::Button Button_Pause;
    ui::Button Button_Stop_and_Save;
    ui::Gauge Gauge1;
    ui::ComboBox ComboBox_Memory;
    ui::Label Label1;
    std::unique_ptr<platform::RepeatingTimer> Timer1;

    // Handlers. UI thread.
    void Button_SaveClick();
    void Button_PauseClick();
    void Button_Stop_and_SaveClick();
    void ComboBox_MemoryChange();
    void Timer1Timer();

    // What "Start Recording" does: a new take from the next buffer on. UI thread.
    void start_recording();
    // What "Stop and Save" does once a file is chosen: stops, writes the take
    // to `path` and, when the whole take is in place, empties the memory and
    // resets the buttons (true); otherwise the take is kept and the reason
    // shown (false). UI thread.
    bool stop_and_save_to(const std::string& path);

    // Notes the signal's format and, while recording, stores the buffer's
    // samples; the buffer is never changed. A buffer that comes while the
    // memory is being replaced is only noted. Audio thread.
    void Record_wav(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        Record_wav(frames, sample_rate, channels, samples);
    }

    // The header with placeholder sizes (four spaces), written at the
    // file's current position; false if it could not all be written. UI thread.
    static bool InitFile(int fd, const WaveFormatEx& format);
    // Fills in the two size fields for `data_bytes` of samples. UI thread.
    static bool UpdateFile(int fd, const WaveFormatEx& format, std::uint32_t data_bytes);

    // The stores-nothing parameter entries. UI thread.
    void get_parameters(ParamRecord&) {}
    void put_parameters(const ParamRecord&) {}

    // The format of the last processing call (the creation format before
    // the first). Any thread.
    WaveFormatEx rec_format() const;

    // The size of the take's memory in bytes (0 when it could not be had).
    // UI thread.
    std::int32_t rec_bytes = kCreationBytes;

    std::int32_t timer_phase = 0;   // UI thread

private:
    // Hands the kernel recording = false and waits until a buffer already
    // under way has ended.
    void halt_recording();
    // Writes the take to `path`; true when the file is complete and in place
    // (`complete` false: a short write left a shorter, valid file).
    bool save_take(const std::string& path, bool& complete);

    SampleMemory memory_;
    RelayoutGuard guard_;
    // The take on disk while it is recorded (declared after memory_, so it
    // stops before the memory it reads goes).
    TakeStream stream_;

public:
    // The hidden file the take streams into ("" when none). UI thread.
    const TakeStream& take_stream() const { return stream_; }
};

// The buffer sizes ComboBox_Memory offers, in bytes.
inline constexpr std::int32_t kRecordMemoryBytes[8] = {200000,  2000000,  4000000,  8000000,
                                                      12000000, 24000000, 50000000, 72000000};

// Kind 12: name and entries; stores nothing. Any thread.
KindDecl record_wav_kind();

}  // namespace tw
