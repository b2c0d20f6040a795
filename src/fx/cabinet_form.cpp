#include "fx/cabinet_form.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "fx/curves.h"
#include "fx/chosen_files.h"
#include "fx/fields.h"
#include "fx/ir_wav.h"
#include "fx/unit_texts.h"
#include "platform/effect_services.h"

namespace tw {

namespace {
constexpr ui::BarRange kLevelBar{0, 100, 50, 5, 1};
constexpr ui::BarRange kMixBar{0, 100, 100, 5, 1};

platform::MessageBoxes& boxes() { return platform::effect_services().message_boxes(); }
}  // namespace

// The parameter record (288 bytes).
constexpr FieldBinding<TCabinet_form> kCabinetFields[] = {
    marker_field<TCabinet_form>(0, TCabinet_form::kMarker),
    TW_FIELD(TCabinet_form, ScrollBar_Level).at(4).bar(kLevelBar),
    TW_FIELD(TCabinet_form, ScrollBar_Mix).at(8).bar(kMixBar),
    TW_FIELD(TCabinet_form, CheckBox_Normalize).at(12),
    TW_TEXT(TCabinet_form, ir_file).at(32),
};

namespace {
consteval FieldDecl field(std::string_view name) { return field_of(kCabinetFields, name); }
}  // namespace

std::string TCabinet_form::cabinets_folder() { return platform::effect_services().program_file("CABS"); }

std::string TCabinet_form::resolve_ir_path(const std::string& stored) {
    if (stored.empty() || stored.front() == '/') return stored;
    return cabinets_folder() + "/" + stored;
}

TCabinet_form::TCabinet_form()
    : EffectForm(ui::FormModel("TCabinet_form", "Cabinet", 330, 236)),
      Label_IR("Label_IR", {12, 12, 306, 16}, "No IR loaded (the signal passes dry)"),
      Label_Note("Label_Note", {12, 32, 306, 16}, ""),
      BitBtn_Load("BitBtn_Load", {12, 56, 100, 26}, "Load IR..."),
      ComboBox_Cabinets("ComboBox_Cabinets", {124, 58, 194, 22}),
      Label_Level("Label_Level", {12, 100, 60, 16}, "Level"),
      ScrollBar_Level("ScrollBar_Level", {80, 98, 238, 18}, kLevelBar),
      Label_Mix("Label_Mix", {12, 136, 60, 16}, "Mix"),
      ScrollBar_Mix("ScrollBar_Mix", {80, 134, 238, 18}, kMixBar),
      CheckBox_Normalize("CheckBox_Normalize", {12, 176, 200, 20}, "Normalize", true) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Label_IR, &Label_Note, &BitBtn_Load, &ComboBox_Cabinets,
                                                              &Label_Level, &ScrollBar_Level, &Label_Mix, &ScrollBar_Mix,
                                                              &CheckBox_Normalize})
        form().add(*c);
    BitBtn_Load.on_click = [this] { BitBtn_LoadClick(); };
    ComboBox_Cabinets.on_change = [this] { ComboBox_CabinetsChange(); };
    ScrollBar_Level.on_change = [this] { ScrollBar_LevelChange(); };
    ScrollBar_Mix.on_change = [this] { ScrollBar_MixChange(); };
    CheckBox_Normalize.on_click = [this] { CheckBox_NormalizeClick(); };
    ScrollBar_Level.unit_text = volume_text;
    ScrollBar_Mix.unit_text = [](int p) { return std::to_string(p) + " % wet"; };
    list_cabinets();
    update_gains();
    params.normalize = true;
    publish();
}

TCabinet_form::~TCabinet_form() = default;

void TCabinet_form::list_cabinets() {
    ComboBox_Cabinets.clear();
    for (const std::string& n : files_with_extension(cabinets_folder(), ".wav")) ComboBox_Cabinets.add_item(n);
}

std::string TCabinet_form::ir_path() const { return stored_text(ir_file); }

void TCabinet_form::set_path(const std::string& stored) { set_stored_text(ir_file, stored); }

void TCabinet_form::update_gains() {
    const float mix = static_cast<float>(ScrollBar_Mix.position()) / 100.0f;
    const float ir_gain = gain_curve(static_cast<float>(ScrollBar_Level.position())).value_or(1.0f);
    params.wet = ir_gain * mix;
    params.dry = 1.0f - mix;
}

void TCabinet_form::ScrollBar_LevelChange() {
    update_gains();
    publish();
}

void TCabinet_form::ScrollBar_MixChange() {
    update_gains();
    publish();
}

void TCabinet_form::CheckBox_NormalizeClick() {
    params.normalize = CheckBox_Normalize.checked();
    publish();
}

void TCabinet_form::ComboBox_CabinetsChange() {
    if (ComboBox_Cabinets.item_index() >= 0) load_ir(ComboBox_Cabinets.text());
}

void TCabinet_form::BitBtn_LoadClick() {
    platform::FileDialogRequest req{"Load IR", "wav files|*.wav", cabinets_folder()};
    const auto chosen = platform::effect_services().file_dialogs().open_file(req);
    if (!chosen) return;
    // A file in CABS/ is stored by its name, so presets travel with the
    // program folder.
    const std::string stored = stored_path_for(*chosen, cabinets_folder());
    if (stored.size() > kPathBytes - 1) {
        boxes().warning("The IR's path is too long to keep in a preset.",
                        "Use a path of at most 255 bytes, or copy the file into the CABS folder.");
        return;
    }
    load_ir(stored);
}

void TCabinet_form::hand_over(std::unique_ptr<CabinetIrSet> set) {
    release_old_sets();
    params.set = set.get();
    params.serial = ++serial_;
    if (set) sets_.emplace_back(serial_, std::move(set));
    publish();
}

void TCabinet_form::release_old_sets() {
    const std::uint32_t below = kernel().released_below();
    std::erase_if(sets_, [&](const auto& s) { return s.first < below && s.first != serial_; });
}

bool TCabinet_form::load_ir(const std::string& stored) {
    set_path(stored);
    Label_Note.set_caption("");
    if (stored.empty()) {
        hand_over(nullptr);
        Label_IR.set_caption("No IR loaded (the signal passes dry)");
        return true;
    }
    const std::string path = resolve_ir_path(stored);
    IrWavResult r = read_ir_wav_file(path, 1.0);
    std::unique_ptr<CabinetIrSet> set;
    if (r.ok) {
        try {
            set = std::make_unique<CabinetIrSet>(r.wav);
        } catch (const std::bad_alloc&) {
            r.ok = false;
            r.message = "There is not enough memory to prepare this IR. Close other programs or use a shorter IR.";
        }
    }
    const std::string name = std::filesystem::path(stored).filename().string();
    if (!r.ok) {
        hand_over(nullptr);
        Label_IR.set_caption(name + ": not loaded (the signal passes dry)");
        boxes().warning("The IR " + name + " could not be loaded.", r.message);
        return false;
    }
    const double ms = 1000.0 * static_cast<double>(r.wav.taps[0].size()) / r.wav.sample_rate;
    hand_over(std::move(set));
    Label_IR.set_caption(name + "  " + std::to_string(static_cast<int>(std::lround(ms))) + " ms");
    if (r.wav.cut) {
        char note[96];
        std::snprintf(note, sizeof note, "The file holds %.2f s: cut to 1 s.", r.wav.file_seconds);
        Label_Note.set_caption(note);
    }
    return true;
}

void TCabinet_form::get_parameters(ParamRecord& r) { write_fields(*this, kCabinetFields, r); }

void TCabinet_form::put_parameters(const ParamRecord& r) {
    if (rec_get_i32(r, field("marker")) != kMarker) return;
    PublishBatch batch(*this);
    ScrollBar_Level.set_position(rec_get_i32(r, field("ScrollBar_Level")));
    ScrollBar_Mix.set_position(rec_get_i32(r, field("ScrollBar_Mix")));
    CheckBox_Normalize.set_checked(rec_get_flag(r, field("CheckBox_Normalize")));
    params.normalize = CheckBox_Normalize.checked();
    update_gains();
    publish();
    const std::string stored = rec_get_text(r, field("ir_file"));
    if (stored != ir_path() || (params.set == nullptr && !stored.empty())) load_ir(stored);
}

KindDecl cabinet_kind() { return declare_kind<kCabinetFields>(kKindCabinet, "Cabinet IR"); }

}  // namespace tw
