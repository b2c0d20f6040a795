#include "app/chain_editor.h"

#include <cstring>
#include <string>

#include "fx/effect_form.h"
#include "fx/kinds.h"

namespace tw {

namespace {
constexpr char kEmptyName[] = "--- select ---";
constexpr int kRowHeight = 20;

int row_top(int n) { return kChainRowTop + kChainRowPitch * (n - 1); }
int clamp_row(int n) { return n < 1 ? 1 : (n > kChainRows ? kChainRows : n); }
}  // namespace

ChainRow::ChainRow(int n)
    : check("spSkinCheckRadioBox" + std::to_string(n), {16, row_top(n), 48, kRowHeight}, "Off", false),
      combo("spSkinComboBox" + std::to_string(n), {68, row_top(n), 220, kRowHeight}, kEmptyName),
      tune("spSkinButton" + std::to_string(n), {292, row_top(n), 56, kRowHeight}, "Tune"),
      updown("spSkinUpDown" + std::to_string(n), {352, row_top(n), 18, kRowHeight}),
      load("ProgressBar_Slot" + std::to_string(n), {68, row_top(n) + kRowHeight + 1, 220, 2}, 0, 100, 50, 80) {}

ChainEditor::ChainEditor() {
    for (int n = 1; n <= kChainRows; ++n) {
        rows_[n - 1] = std::make_unique<ChainRow>(n);
        ChainRow& r = *rows_[n - 1];
        r.check.on_click = [this, n] { on_off(n); };
        r.combo.on_change = [this, n] { slot_kind_change(n); };
        r.tune.on_click = [this, n] { tune(n); };
        r.tune.on_mouse_up = [this, n](ui::MouseButton b, int, int y) {
            tune_mouse_up(n, b, y, row(n).tune.bounds().height);
        };
        r.updown.on_up = [this, n] { move(n, n - 1); };
        r.updown.on_down = [this, n] { move(n, n + 1); };
    }
}

ChainEditor::~ChainEditor() {
    bool holds_any = !retiring_.empty();
    for (int s = 0; s < kMaxSlots; ++s) holds_any = holds_any || staging_.slot[s].instance != nullptr;
    if (!holds_any) return;
    // Nothing may run our instances once they are gone: hold the chain
    // closed while it is emptied and the instances are deleted.
    // The hooks are not called here: the front end may already be gone.
    const std::int32_t was_active = close_gate_and_wait(chain_active);
    ChainTable empty;
    commit_chain(empty);
    for (Instance inst : retiring_) delete inst;
    retiring_.clear();
    for (int s = 0; s < kMaxSlots; ++s) {
        delete staging_.slot[s].instance;
        staging_.slot[s].instance = nullptr;
    }
    reopen_gate(chain_active, was_active);
}

ChainRow& ChainEditor::row(int n) { return *rows_[clamp_row(n) - 1]; }
const ChainRow& ChainEditor::row(int n) const { return *rows_[clamp_row(n) - 1]; }

Instance ChainEditor::instance(int n) const {
    if (n < 1 || n > kChainRows) return nullptr;
    return staging_.slot[n - 1].instance;
}

void ChainEditor::destroy_instance(Instance inst) {
    if (inst == nullptr) return;
    // The caller holds a gate closed through close_gate_and_wait, or has
    // committed a chain without it: no run can be using the instance.
    if (on_instance_destroying) on_instance_destroying(inst);
    delete inst;
}

ChainSlot ChainEditor::make_slot(std::int32_t kind) {
    if (registry_ == nullptr) registry_ = init_kind_registry();
    if (kind < 0 || kind > registry_->last_kind) kind = kKindEmpty;
    ChainSlot slot;
    slot.process = registry_->process[kind];
    std::memcpy(slot.name, registry_->names[kind], kNameBytes);
    slot.params = registry_->params[kind];
    slot.kind = kind;
    CreateFn create = registry_->create[kind];
    slot.instance = create != nullptr ? create() : nullptr;
    return slot;
}

void ChainEditor::fill_slot(int s, std::int32_t kind) {
    const std::int32_t enabled = staging_.slot[s].enabled;
    staging_.slot[s] = make_slot(kind);
    staging_.slot[s].enabled = enabled;
}

void ChainEditor::replace_chain(const ChainTable& next) {
    if (!built()) fill_kind_lists_and_build_chain();
    const ChainTable old = staging_;
    for (int s = 0; s < kChainRows; ++s) staging_.slot[s] = next.slot[s];
    // One step: the audio thread plays the old chain until here, then the
    // new one. With a crossfade or a spill-over (and a running stream) the
    // old chain goes on beside the new one until its tail has played.
    const bool faded = (switch_fade_ms > 0 || spill_over_ms > 0) && chain_active.load() == 1;
    if (faded) {
        default_chain().commit_faded(staging_, switch_fade_ms, spill_over_ms);
    } else {
        commit_chain(staging_);
    }
    // Either way the chain no longer uses what retired before.
    free_retired();
    for (int n = 1; n <= kChainRows; ++n) {
        ChainRow& r = row(n);
        r.combo.set_item_index_silent(staging_.slot[n - 1].kind);
        // Runs on_off, which writes the same on/off again and sets the caption.
        r.check.set_checked(staging_.slot[n - 1].enabled == 1);
    }
    for (int s = 0; s < kChainRows; ++s) {
        Instance inst = old.slot[s].instance;
        if (inst == nullptr) continue;
        bool kept = false;
        for (int t = 0; t < kChainRows; ++t) kept = kept || staging_.slot[t].instance == inst;
        if (kept) continue;
        if (faded) {
            // Its editor closes now; the instance goes when its tail has played.
            if (on_instance_destroying) on_instance_destroying(inst);
            retiring_.push_back(inst);
        } else {
            destroy_instance(inst);
        }
    }
}

void ChainEditor::free_retired() {
    for (Instance inst : retiring_) delete inst;
    retiring_.clear();
}

bool ChainEditor::collect_retired() {
    if (retiring_.empty() && !default_chain().retiring()) return false;
    // Without a running stream no tail plays: hand it back at once.
    if (!default_chain().release_retired(chain_active.load() == 0)) return false;
    const bool any = !retiring_.empty();
    free_retired();
    return any;
}

void ChainEditor::fill_kind_lists_and_build_chain() {
    if (built()) return;
    for (int n = 1; n <= kChainRows; ++n) {
        registry_ = init_kind_registry();
        ui::ComboBox& list = row(n).combo;
        list.clear();
        for (int k = 0; k <= registry_->last_kind; ++k) list.add_item(registry_->names[k]);
        list.set_item_index_silent(0);
    }
    staging_.count = 0;
    for (int n = 1; n <= kChainRows; ++n) {
        const int s = n - 1;
        fill_slot(s, row(n).combo.item_index());
        staging_.slot[s].enabled = 0;
        staging_.count += 1;
    }
    commit_chain(staging_);
}

void ChainEditor::slot_kind_change(int n) {
    if (slot_moving == 1) return;
    if (n < 1 || n > kChainRows || !built()) return;
    const int s = n - 1;
    ChainRow& r = row(n);
    // A stopped stream keeps its gate closed; otherwise the chain runs again
    // once the new instance is committed.
    const std::int32_t was_active = close_gate_and_wait(chain_active);
    r.combo.set_enabled(false);
    if (staging_.slot[s].instance != nullptr) {
        Instance old = staging_.slot[s].instance;
        staging_.slot[s].instance = nullptr;
        destroy_instance(old);
    }
    const int k = r.combo.item_index();
    fill_slot(s, k < 0 ? kKindEmpty : k);
    commit_chain(staging_);
    free_retired();
    r.combo.set_enabled(true);
    reopen_gate(chain_active, was_active);
}

void ChainEditor::show_slot_loads() {
    for (int n = 1; n <= kChainRows; ++n) row(n).load.set_position(cpu_meter_position(default_chain().slot_load(n - 1)));
}

void ChainEditor::on_off(int n) {
    if (n < 1 || n > kChainRows) return;
    const int s = n - 1;
    ChainRow& r = row(n);
    if (r.check.checked()) {
        staging_.slot[s].enabled = 1;
        enable_slot(s);
        r.check.set_caption("On");
    } else {
        staging_.slot[s].enabled = 0;
        disable_slot(s);
        r.check.set_caption("Off");
    }
}

void ChainEditor::tune(int n) {
    if (n < 1 || n > kChainRows) return;
    const int s = n - 1;
    if (std::strstr(staging_.slot[s].name, kEmptyName) != nullptr) return;
    // A kind whose effect is not built has no window to show.
    if (staging_.slot[s].instance == nullptr) return;
    ui::Button& b = row(n).tune;
    b.set_enabled(false);
    b.set_caption("wait");
    if (on_show_editor) on_show_editor(n, staging_.slot[s].instance);
    b.set_caption("Tune");
    b.set_enabled(true);
}

void ChainEditor::move(int n, int target) {
    if (n < 1 || n > kChainRows) return;
    if (target != n - 1 && target != n + 1) return;
    const std::int32_t was_active = close_gate_and_wait(chain_active);
    slot_moving = 1;
    const bool inside = target >= 1 && target <= kChainRows;
    if (inside && on_move_pointer) on_move_pointer(target < n ? -kChainRowPitch : kChainRowPitch);
    if (inside && built()) {
        ChainRow& rn = row(n);
        ChainRow& rt = row(target);
        const int in = rn.combo.item_index();
        const int it = rt.combo.item_index();
        rn.combo.set_item_index(it);
        rt.combo.set_item_index(in);
        if (on_focus_list) on_focus_list(target);

        const int a = n - 1;
        const int b = target - 1;
        // The slot moves whole (kind, instance, entries, name); on/off
        // follows with the check boxes below.
        const std::int32_t on_a = staging_.slot[a].enabled;
        const std::int32_t on_b = staging_.slot[b].enabled;
        std::swap(staging_.slot[a], staging_.slot[b]);
        staging_.slot[a].enabled = on_a;
        staging_.slot[b].enabled = on_b;
        swap_chain_slots(b, a);
        free_retired();

        const bool on_n = rn.check.checked();
        const bool on_t = rt.check.checked();
        rt.check.set_checked(on_n);
        rn.check.set_checked(on_t);
    }
    slot_moving = 0;
    reopen_gate(chain_active, was_active);
}

void ChainEditor::tune_mouse_up(int n, ui::MouseButton b, int y, int button_height) {
    if (b != ui::MouseButton::Right) return;
    move(n, y < button_height / 2 ? n - 1 : n + 1);
}

}  // namespace tw
