// Playback wav file (kind 11): loads a WAV file whole into memory and mixes
// it, looped without end, into the live signal, so the player can play along
// with a backing track. The file is remembered in playback.ini beside the
// program; a fresh installation plays demo1.wav. Presets store nothing.
// The window reads playback.ini and the file and owns the samples; the mixing
// is ReadWavKernel's (read_wav_kernel.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/read_wav_kernel.h"
#include "fx/relayout_guard.h"
#include "fx/backing_track.h"
#include "fx/wav_header.h"
#include "ui/button.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers, playback.ini and the loaded samples, which
// it hands to the kernel through KernelHost::params (pointer and length) and
// releases only after no buffer can still read them.
class TReadWav : public EffectForm, public KernelHost<ReadWavKernel> {
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

    // Mixes the file into the buffer (added to the live signal); a buffer
    // that comes while the samples are being replaced passes unchanged.
    // Audio thread.
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

    // Paths beside the program. Any thread.
    static std::string ini_path();
    static std::string demo_path();

private:
    // Loading steps; `remember` writes the path to playback.ini on success.
    void load_wav_name(bool remember);
    // Hands the kernel no samples and waits until no buffer can still read
    // the old ones.
    void stop_playing();

    BackingTrack track_;
    std::unique_ptr<FileSource> file_;
    RelayoutGuard guard_;
};

// Kind 11: name and entries; stores nothing. Any thread.
KindDecl read_wav_kind();

}  // namespace tw
