// Cabinet IR (kind 14): convolves the signal with a speaker cabinet's impulse
// response, with no added latency. The window reads the WAV file, resamples
// it for every offered rate and transforms it on the UI thread, then hands
// the finished set to the kernel in one step (CabinetKernel crossfades from
// the old one). A file that cannot be used leaves the slot passing dry.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fx/cabinet_ir.h"
#include "fx/cabinet_kernel.h"
#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TCabinet_form : public EffectForm, public KernelHost<CabinetKernel> {
public:
    static constexpr std::int32_t kMarker = 141414;
    static constexpr std::size_t kPathBytes = 256;   // stored path, NUL included

    // Builds the window with no IR (the signal passes dry). UI thread.
    TCabinet_form();
    ~TCabinet_form() override;

    // Controls (designer names).
    ui::Label Label_IR;
    ui::Label Label_Note;
    ui::Button BitBtn_Load;
    ui::ComboBox ComboBox_Cabinets;
    ui::Label Label_Level;
    ui::ScrollBar ScrollBar_Level;
    ui::Label Label_Mix;
    ui::ScrollBar ScrollBar_Mix;
    ui::CheckBox CheckBox_Normalize;

    // The IR path as stored (relative to CABS/ unless it begins with '/').
    std::array<std::uint8_t, kPathBytes> ir_file{};

    // Handlers. UI thread.
    void BitBtn_LoadClick();
    void ComboBox_CabinetsChange();
    void ScrollBar_LevelChange();
    void ScrollBar_MixChange();
    void CheckBox_NormalizeClick();

    // Loads the IR at `stored` (as the record keeps it); false, having shown
    // a warning, when it cannot be used (the slot then passes dry). An empty
    // path unloads without a warning. UI thread.
    bool load_ir(const std::string& stored);
    // The stored path as text. Any thread that owns the window.
    std::string ir_path() const;
    // The file `stored` names: CABS/ of the program folder for a relative
    // path. Any thread.
    static std::string resolve_ir_path(const std::string& stored);
    // The folder the shipped cabinets are in. Any thread.
    static std::string cabinets_folder();
    // Fills the list with the .wav files in CABS/. UI thread.
    void list_cabinets();
    // Frees the IR sets the audio thread has let go. UI thread.
    void release_old_sets();
    // IR sets still held by the window (the live one and any not yet
    // released). UI thread.
    std::size_t sets_held() const { return sets_.size(); }

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (288 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

private:
    void set_path(const std::string& stored);
    void hand_over(std::unique_ptr<CabinetIrSet> set);
    void update_gains();

    std::vector<std::pair<std::uint32_t, std::unique_ptr<CabinetIrSet>>> sets_;
    std::uint32_t serial_ = 0;
};

// Kind 14: name, entries and stored fields. Any thread.
KindDecl cabinet_kind();

}  // namespace tw
