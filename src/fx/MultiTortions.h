// Multiband distortion "Durizezeviro Plus" (kind 5), editor "Distortion
// Plus": the signal is split into sixteen bands, each band is folded back
// and/or soft-clipped on its own, optionally filtered a second time, weighted
// by its own band gain and summed. Two banks: the left (also mono) and the
// right one, each with its row of sixteen band sliders. The sliders and
// switches are kept in the band file MTEQ.ini beside the program: read when
// an instance is created, written when its window is closed.
#pragma once

#include <cstdint>
#include <string>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/multitortion_kernel.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/control_family.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

namespace platform {
class IniFile;
}

// The window: controls, handlers, the parameter record and the band file;
// the processing is MultiTortionKernel's, fed through KernelHost::params.
class TMultiTortion_form : public EffectForm, public KernelHost<MultiTortionKernel> {
public:
    static constexpr int kBands = kBandCount;
    static constexpr const char* kBandFileName = "MTEQ.ini";

    // FormCreate: builds the controls, sets the creation values, designs both
    // banks and applies the band file. UI thread.
    TMultiTortion_form();

    // Controls (designer names). Visible: the two rows of band sliders, Gang,
    // the resets, Drive, Level, Standard and Filter 2.
    ui::Label Label_Left;
    ui::ControlFamily<ui::ScrollBar, kBands> ScrollBar;          // ScrollBar0 .. ScrollBar15
    ui::CheckBox Gang;
    ui::Label Label_Right;
    ui::ControlFamily<ui::ScrollBar, kBands> spSkinScrollBar;    // spSkinScrollBar1 .. 16
    ui::Button spSkinButton2;   // "reset left"
    ui::Button spSkinButton1;   // "reset right"
    ui::Label Label_Drive;
    ui::ScrollBar ScrollBar_gain_In;
    ui::Label Label_Level;
    ui::ScrollBar ScrollBar_gain_Out;
    ui::CheckBox CheckBox_Standard;
    ui::CheckBox CheckBox_Filter2;
    // Outside the client area, out of the mouse's reach: the soft clipper's
    // switch, its sixteen thresholds and five threshold presets.
    ui::CheckBox CheckBox_True;
    ui::ControlFamily<ui::ScrollBar, kBands> spSkinScrollBar_clip;   // spSkinScrollBar17 .. 32
    ui::ControlFamily<ui::Button, 5> spSkinButton_dB;                // spSkinButton3 .. 7

    // Handlers. UI thread.
    void ScrollBarChange(int b);          // ScrollBar0Change .. ScrollBar15Change
    void spSkinScrollBarChange(int b);    // spSkinScrollBar1Change .. spSkinScrollBar16Change
    void GangClick();
    void spSkinButton2Click();
    void spSkinButton1Click();
    void ScrollBar_gain_InChange();
    void ScrollBar_gain_OutChange();
    void CheckBox_StandardClick();
    void CheckBox_TrueClick();
    void CheckBox_Filter2Click();
    void spSkinScrollBar17Change(int n);  // n: the number in the sending slider's name (17 .. 32)
    void spSkinButtonDbClick(int i);      // spSkinButton3Click .. spSkinButton7Click (i = 0 .. 4)

    // Writes the band file (sliders, Drive, Level, Standard, True, Filter 2;
    // never Gang). The front end calls it whenever the window is closed.
    // UI thread.
    void FormClose() override;

    // Processes a buffer in place: mono through the left bank; stereo with
    // the first sample of each frame through the right bank and the second
    // through the left bank. Audio thread.
    void MultiTortion(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        MultiTortion(frames, sample_rate, channels, samples);
    }

    // Parameter record (45 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // The band file's path. UI thread.
    static std::string band_file_path();

    // UI only: the right row follows the left.
    std::uint8_t gang = 1;

private:
    void load_band_file(const platform::IniFile& ini);
};

// Kind 5: name, entries and stored fields. Any thread.
KindDecl multitortion_kind();

}  // namespace tw
