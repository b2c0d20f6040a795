// Amp model (kind 15): plays a neural capture of an amplifier or pedal (a
// .nam file). The window reads and checks the file, makes the model ready
// and settles it on silence on the UI thread, then hands it to the kernel in
// one step (AmpModelKernel crossfades from the old one). A file that cannot
// be used leaves the slot passing dry.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fx/amp_model_kernel.h"
#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/nam/nam_model.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TAmp_model_form : public EffectForm, public KernelHost<AmpModelKernel> {
public:
    static constexpr std::int32_t kMarker = 151515;
    static constexpr std::size_t kPathBytes = 256;   // stored path, NUL included

    // Builds the window with no model (the signal passes dry). UI thread.
    TAmp_model_form();
    ~TAmp_model_form() override;

    // Controls (designer names).
    ui::Label Label_Model;
    ui::Label Label_Info;
    ui::Label Label_Note;
    ui::Button BitBtn_Load;
    ui::ComboBox ComboBox_Models;
    ui::Label Label_Input;
    ui::ScrollBar ScrollBar_Input;
    ui::Label Label_Output;
    ui::ScrollBar ScrollBar_Output;
    ui::CheckBox CheckBox_Normalize;

    // The model path as stored (relative to MODELS/ unless it begins with '/').
    std::array<std::uint8_t, kPathBytes> model_file{};

    // Handlers. UI thread.
    void BitBtn_LoadClick();
    void ComboBox_ModelsChange();
    void ScrollBar_InputChange();
    void ScrollBar_OutputChange();
    void CheckBox_NormalizeClick();

    // Loads the model at `stored` (as the record keeps it); false, having
    // shown a warning, when it cannot be used (the slot then passes dry). An
    // empty path unloads without a warning. UI thread.
    bool load_model(const std::string& stored);
    // The stored path as text. Any thread that owns the window.
    std::string model_path() const;
    // The file `stored` names: MODELS/ of the program folder for a relative
    // path. Any thread.
    static std::string resolve_model_path(const std::string& stored);
    // The folder the shipped models are in. Any thread.
    static std::string models_folder();
    // Fills the list with the .nam files in MODELS/. UI thread.
    void list_models();
    // Frees the models the audio thread has let go. UI thread.
    void release_old_models();
    // The loaded model's loudness from its metadata, if it gives one. UI thread.
    std::optional<double> loudness() const { return loudness_; }

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (288 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

private:
    void set_path(const std::string& stored);
    void hand_over(std::unique_ptr<nam::Dsp> model);
    void update_gains();

    std::vector<std::pair<std::uint32_t, std::unique_ptr<nam::Dsp>>> models_;
    std::uint32_t serial_ = 0;
    std::optional<double> loudness_;
};

// Kind 15: name, entries and stored fields. Any thread.
KindDecl amp_model_kind();

}  // namespace tw
