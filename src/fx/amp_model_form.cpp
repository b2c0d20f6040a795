#include "fx/amp_model_form.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "fx/chosen_files.h"
#include "fx/fields.h"
#include "fx/nam/nam_dsp.h"
#include "platform/effect_services.h"

namespace tw {

namespace {
constexpr ui::BarRange kGainBar{0, 100, 50, 5, 1};
// Where a model's metadata gives its loudness, it is played at this one.
constexpr double kTargetLoudness = -18.0;

platform::MessageBoxes& boxes() { return platform::effect_services().message_boxes(); }

// Gain in dB of a bar: (p - 50) / 2, so -25..+25 dB.
double bar_db(int p) { return (p - 50) / 2.0; }
float db_factor(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

std::string db_text(int p) {
    char t[32];
    std::snprintf(t, sizeof t, "%+.1f dB", bar_db(p));
    return t;
}
}  // namespace

// The parameter record (288 bytes).
constexpr FieldBinding<TAmp_model_form> kAmpModelFields[] = {
    marker_field<TAmp_model_form>(0, TAmp_model_form::kMarker),
    TW_FIELD(TAmp_model_form, ScrollBar_Input).at(4).bar(kGainBar),
    TW_FIELD(TAmp_model_form, ScrollBar_Output).at(8).bar(kGainBar),
    TW_FIELD(TAmp_model_form, CheckBox_Normalize).at(12),
    TW_TEXT(TAmp_model_form, model_file).at(32),
};

namespace {
consteval FieldDecl field(std::string_view name) { return field_of(kAmpModelFields, name); }
}  // namespace

std::string TAmp_model_form::models_folder() { return platform::effect_services().program_file("MODELS"); }

std::string TAmp_model_form::resolve_model_path(const std::string& stored) {
    if (stored.empty() || stored.front() == '/') return stored;
    return models_folder() + "/" + stored;
}

TAmp_model_form::TAmp_model_form()
    : EffectForm(ui::FormModel("TAmp_model_form", "Amp model", 330, 262)),
      Label_Model("Label_Model", {12, 12, 306, 16}, "No model loaded (the signal passes dry)"),
      Label_Info("Label_Info", {12, 32, 306, 16}, ""),
      Label_Note("Label_Note", {12, 52, 306, 16}, "A stereo signal plays the model once on (L + R) / 2."),
      BitBtn_Load("BitBtn_Load", {12, 76, 110, 26}, "Load model..."),
      ComboBox_Models("ComboBox_Models", {134, 78, 184, 22}),
      Label_Input("Label_Input", {12, 120, 60, 16}, "Input"),
      ScrollBar_Input("ScrollBar_Input", {80, 118, 238, 18}, kGainBar),
      Label_Output("Label_Output", {12, 156, 60, 16}, "Output"),
      ScrollBar_Output("ScrollBar_Output", {80, 154, 238, 18}, kGainBar),
      CheckBox_Normalize("CheckBox_Normalize", {12, 196, 300, 20}, "Normalize", true) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Label_Model, &Label_Info, &Label_Note, &BitBtn_Load, &ComboBox_Models,
                                                              &Label_Input, &ScrollBar_Input, &Label_Output, &ScrollBar_Output,
                                                              &CheckBox_Normalize})
        form().add(*c);
    BitBtn_Load.on_click = [this] { BitBtn_LoadClick(); };
    ComboBox_Models.on_change = [this] { ComboBox_ModelsChange(); };
    ScrollBar_Input.on_change = [this] { ScrollBar_InputChange(); };
    ScrollBar_Output.on_change = [this] { ScrollBar_OutputChange(); };
    CheckBox_Normalize.on_click = [this] { CheckBox_NormalizeClick(); };
    ScrollBar_Input.unit_text = db_text;
    ScrollBar_Output.unit_text = db_text;
    list_models();
    update_gains();
    publish();
}

TAmp_model_form::~TAmp_model_form() = default;

void TAmp_model_form::list_models() {
    ComboBox_Models.clear();
    for (const std::string& n : files_with_extension(models_folder(), ".nam")) ComboBox_Models.add_item(n);
}

std::string TAmp_model_form::model_path() const { return stored_text(model_file); }

void TAmp_model_form::set_path(const std::string& stored) { set_stored_text(model_file, stored); }

void TAmp_model_form::update_gains() {
    params.in_gain = db_factor(bar_db(ScrollBar_Input.position()));
    double out_db = bar_db(ScrollBar_Output.position());
    if (CheckBox_Normalize.checked() && loudness_) out_db += kTargetLoudness - *loudness_;
    params.out_gain = db_factor(out_db);
}

void TAmp_model_form::ScrollBar_InputChange() {
    update_gains();
    publish();
}

void TAmp_model_form::ScrollBar_OutputChange() {
    update_gains();
    publish();
}

void TAmp_model_form::CheckBox_NormalizeClick() {
    update_gains();
    publish();
}

void TAmp_model_form::ComboBox_ModelsChange() {
    if (ComboBox_Models.item_index() >= 0) load_model(ComboBox_Models.text());
}

void TAmp_model_form::BitBtn_LoadClick() {
    platform::FileDialogRequest req{"Load model", "NAM models|*.nam", models_folder()};
    const auto chosen = platform::effect_services().file_dialogs().open_file(req);
    if (!chosen) return;
    // A file in MODELS/ is stored by its name, so presets travel with the
    // program folder.
    const std::string stored = stored_path_for(*chosen, models_folder());
    if (stored.size() > kPathBytes - 1) {
        boxes().warning("The model's path is too long to keep in a preset.",
                        "Use a path of at most 255 bytes, or copy the file into the MODELS folder.");
        return;
    }
    load_model(stored);
}

void TAmp_model_form::hand_over(std::unique_ptr<nam::Dsp> model) {
    release_old_models();
    params.model = model.get();
    params.serial = ++serial_;
    if (model) models_.emplace_back(serial_, std::move(model));
    update_gains();
    publish();
}

void TAmp_model_form::release_old_models() {
    const std::uint32_t below = kernel().released_below();
    std::erase_if(models_, [&](const auto& m) { return m.first < below && m.first != serial_; });
}

bool TAmp_model_form::load_model(const std::string& stored) {
    set_path(stored);
    Label_Info.set_caption("");
    if (stored.empty()) {
        loudness_.reset();
        hand_over(nullptr);
        Label_Model.set_caption("No model loaded (the signal passes dry)");
        return true;
    }
    nam::ReadResult r = nam::read_model_file(resolve_model_path(stored));
    std::unique_ptr<nam::Dsp> dsp;
    if (r.ok) {
        try {
            dsp = nam::make_dsp(r.model, {nam::best_isa(), true});
        } catch (const std::bad_alloc&) {
            r.ok = false;
            r.message = "There is not enough memory to prepare this model. Close other programs or use a smaller model.";
        }
    }
    const std::string name = std::filesystem::path(stored).filename().string();
    if (!r.ok) {
        loudness_.reset();
        hand_over(nullptr);
        Label_Model.set_caption(name + ": not loaded (the signal passes dry)");
        boxes().warning("The model " + name + " could not be loaded.", r.message);
        return false;
    }
    loudness_ = r.model.loudness;
    hand_over(std::move(dsp));
    Label_Model.set_caption(r.model.name.empty() ? name : r.model.name + "  (" + name + ")");
    std::string info = r.model.summary();
    if (r.model.loudness) {
        char t[48];
        std::snprintf(t, sizeof t, ", loudness %.1f dB", *r.model.loudness);
        info += t;
    }
    Label_Info.set_caption(info);
    if (r.model.sample_rate > 0 && r.model.sample_rate != 48000)
        Label_Note.set_caption("Trained at " + std::to_string(static_cast<int>(r.model.sample_rate)) + " Hz; played unresampled.");
    else
        Label_Note.set_caption("A stereo signal plays the model once on (L + R) / 2.");
    return true;
}

void TAmp_model_form::get_parameters(ParamRecord& r) { write_fields(*this, kAmpModelFields, r); }

void TAmp_model_form::put_parameters(const ParamRecord& r) {
    if (rec_get_i32(r, field("marker")) != kMarker) return;
    PublishBatch batch(*this);
    ScrollBar_Input.set_position(rec_get_i32(r, field("ScrollBar_Input")));
    ScrollBar_Output.set_position(rec_get_i32(r, field("ScrollBar_Output")));
    CheckBox_Normalize.set_checked(rec_get_flag(r, field("CheckBox_Normalize")));
    update_gains();
    publish();
    const std::string stored = rec_get_text(r, field("model_file"));
    if (stored != model_path() || (params.model == nullptr && !stored.empty())) load_model(stored);
}

KindDecl amp_model_kind() { return declare_kind<kAmpModelFields>(kKindAmpModel, "Amp model"); }

}  // namespace tw
