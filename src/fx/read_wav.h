// Playback wav file (kind 11): loads a WAV file whole into memory and mixes
// it, looped without end, into the live signal, so the player can play along
// with a backing track. The file is remembered in playback.ini beside the
// program; a fresh installation plays demo1.wav. Presets store nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "fx/relayout_guard.h"
#include "fx/sample_memory.h"
#include "fx/wav_header.h"
#include "ui/button.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TReadWav : public EffectForm {
public:
    // Builds the window and runs FormCreate (which may already load a file).
    // UI thread.
    TReadWav();
    // FormDestroy: stops the mixing, waits until no buffer can still read
    // the samples, then releases them. UI thread.
    ~TReadWav() override;

    // Controls (designer names).
    ui::Button spSkinButton1;
    ui::ScrollBar spSkinScrollBar1;
    ui::Memo spSkinMemo1;

    // Handlers. UI thread.
    void spSkinButton1Click();
    void spSkinScrollBar1Change();

    // Mixes the file into the buffer (added to the live signal). Audio thread.
    void Read_wav_file(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* buffer) {
        Read_wav_file(frames, sample_rate, channels, buffer);
    }

    // Opens `path` for reading and reads its header into `header`, leaving
    // the file open for the sample data; -1 (having told the user why) or 0.
    // UI thread.
    int LoadFile(const std::string& path);
    // Loads the file named in playback.ini (at creation), creating
    // playback.ini for demo1.wav if it is missing. UI thread.
    void SaveFilePlayBack();

    // The kind stores nothing in presets. UI thread.
    void get_parameters(ParamRecord&) {}
    void put_parameters(const ParamRecord&) {}

    // Path of the file to play.
    std::string wav_name;
    // The last header read (format block, sizes). UI thread.
    WavHeader header;

    // Shared with the audio thread.
    std::atomic<float> play_gain{1.0f};
    std::atomic<std::int32_t> ready{0};   // 1: the samples may be played

    // Read by the audio thread only while ready = 1; changed by the UI thread
    // only while ready = 0 and after no buffer can still be using them.
    std::int32_t play_pos = 0;
    std::int32_t frame_count = 0;
    std::int32_t file_channels = 0;
    const std::int16_t* samples = nullptr;

    // Paths beside the program. Any thread.
    static std::string ini_path();
    static std::string demo_path();

private:
    // Loading steps; `remember` writes the path to playback.ini on success.
    void load_wav_name(bool remember);
    // Clears ready and waits until no buffer can still read the old samples.
    void stop_playing();

    SampleMemory memory_;
    std::unique_ptr<FileSource> file_;
    RelayoutGuard guard_;
};

// Kind 11: name and entries; stores nothing. Any thread.
KindDecl read_wav_kind();

}  // namespace tw
