// Distortion-Compressor (kind 3): each channel loses its low band (input minus
// a one-pole low-pass); what is left goes through a look-ahead gain computer
// whose gain follows the mean magnitude of a short window centred on each
// sample. Strong settings flatten the signal into distortion.
#pragma once

#include <cstdint>

#include "fx/comptortion_kernel.h"
#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// CompTortionKernel's, fed through KernelHost::params.
class TCompTortion_form : public EffectForm, public KernelHost<CompTortionKernel> {
public:
    static constexpr std::int32_t kMaxWinLen = CompTortionKernel::kMaxWinLen;

    // Builds the window's controls and sets the creation values. UI thread.
    TCompTortion_form();

    // Controls (designer names). Left column: Drive, Sharp, Distortion,
    // Color; right column: Crunch, Softness, Level.
    ui::Label Label_Drive;
    ui::ScrollBar ScrollBar_Drive;
    ui::Label Label_Sharp;
    ui::ScrollBar ScrollBar_Sharp;
    ui::Label Label_Distortion;
    ui::ScrollBar ScrollBar_Distortion;
    ui::Label Label_Color;
    ui::ScrollBar ScrollBar_Color;
    ui::Label Label_Popravka;
    ui::ScrollBar ScrollBar_Popravka;
    ui::Label Label_Softness2;
    ui::ScrollBar ScrollBar_Softness2;
    ui::Label Label_Level;
    ui::ScrollBar SkinScroll_Level;

    // Handlers. UI thread. ScrollBar_Softness2Change sets the new window
    // length and asks for both windows to be re-laid; the audio thread does
    // that before its next block, with the new length in the same set.
    void ScrollBar_DriveChange();
    void ScrollBar_SharpChange();
    void ScrollBar_DistortionChange();
    void SkinScroll_LevelChange();
    void ScrollBar_PopravkaChange();
    void ScrollBar_Softness2Change();
    void ScrollBar_ColorChange();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (56 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 3: name, entries and stored fields. Any thread.
KindDecl comptortion_kind();

}  // namespace tw
