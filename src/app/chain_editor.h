// The chain editor behind the main window's 16 rows: the staging chain, the
// rows' control models (on/off box, kind list, "Tune" button, arrow pair) and
// the operations they drive (building the chain, kind changes, on/off, moves).
// No toolkit here: the Qt front end shows the models and forwards user input,
// and fills in the hooks for what only it can do (windows, pointer, focus).
//
// Threads: everything here runs on the UI thread while the audio thread may
// be running the live chain.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/status_display.h"
#include "engine/effects.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"

namespace tw {

inline constexpr int kChainRows = 16;
// Vertical layout of the rows in the main window.
inline constexpr int kChainRowTop = 16;
inline constexpr int kChainRowPitch = 24;

// Row N (1..16) of the main window; its controls carry the row number in
// their names.
struct ChainRow {
    explicit ChainRow(int n);
    ui::CheckBox check;    // "spSkinCheckRadioBoxN", caption "Off"/"On"
    ui::ComboBox combo;    // "spSkinComboBoxN", the slot's kind = selected index
    ui::Button tune;       // "spSkinButtonN", caption "Tune"
    ui::UpDown updown;     // "spSkinUpDownN"
    // "ProgressBar_SlotN": the slot's share of the buffer time in the last
    // run, 0..100 %, a thin bar under the kind list.
    LedMeter load;
};

class ChainEditor {
public:
    // Lays the rows out (row N at top 16 + 24 * (N - 1)) and binds their
    // handlers. The staging chain stays empty until
    // fill_kind_lists_and_build_chain(). UI thread.
    ChainEditor();
    // Empties the live chain (waiting for a run in progress) and destroys the
    // instances this editor still holds, without calling the hooks (the front
    // end closes its own windows at shut-down). UI thread.
    ~ChainEditor();
    ChainEditor(const ChainEditor&) = delete;
    ChainEditor& operator=(const ChainEditor&) = delete;

    // Row n = 1..16 (other values are clamped). UI thread.
    ChainRow& row(int n);
    const ChainRow& row(int n) const;

    // First show: fills the 16 kind lists from the registry (item 0 selected),
    // builds 16 slots from them and commits the chain; every slot starts off.
    // Calling it again on a built chain does nothing. UI thread.
    void fill_kind_lists_and_build_chain();
    // True once the chain has been built. UI thread.
    bool built() const { return staging_.count == kChainRows; }

    // The kind list of row n changed: the slot's old instance is destroyed
    // and a new one of the selected kind is created at its defaults; the chain
    // is committed. On/off is kept. Does nothing while a move is in progress.
    // UI thread.
    void slot_kind_change(int n);
    // A slot of `kind` (the empty kind for values outside the registry) with
    // a new instance at its defaults, off. UI thread.
    ChainSlot make_slot(std::int32_t kind);
    // Makes the first 16 slots of `next` (whose instances this editor then
    // owns) the chain in one commit; the rows then show their kinds and
    // on/off, and the instances of the old chain that `next` does not hold
    // are destroyed (after on_instance_destroying). The audio thread plays
    // the old chain up to the commit and the new one from it. UI thread.
    void replace_chain(const ChainTable& next);
    // Row n's check box was clicked or set: writes the slot's on/off into the
    // staging and live chains and sets the caption "On"/"Off". UI thread.
    void on_off(int n);
    // "Tune" on row n: shows the slot's editor through on_show_editor (nothing
    // for an empty slot). UI thread.
    void tune(int n);
    // Moves row n to row target (n - 1 or n + 1): kind, instance and on/off go
    // together. A target outside 1..16 changes nothing. UI thread.
    void move(int n, int target);
    // A mouse button released at height y on row n's Tune button: the right
    // button moves the row up (upper half) or down (lower half); other buttons
    // do nothing. UI thread.
    void tune_mouse_up(int n, ui::MouseButton b, int y, int button_height);

    // How a preset change (replace_chain) sounds while the stream runs: the
    // old chain fades out over switch_fade_ms while the new one fades in, and
    // rings out with silent input for spill_over_ms more (delay and reverb
    // tails). Both 0: the instant switch. Kind changes and moves of single
    // rows always switch at once. UI thread.
    std::int32_t switch_fade_ms = 0;
    std::int32_t spill_over_ms = 0;
    // Frees the instances of a chain that was replaced with a fade once the
    // audio thread has played its tail (at once when the stream is stopped);
    // true when it freed any. The status tick calls it. UI thread.
    bool collect_retired();

    // Shows each slot's CPU figure (Chain::slot_load) on its row's meter;
    // the status display's tick calls it. UI thread.
    void show_slot_loads();

    // The staging chain (the editor's copy of the live chain). UI thread.
    ChainTable& staging() { return staging_; }
    const ChainTable& staging() const { return staging_; }
    // The instance of row n's slot, or null. UI thread.
    Instance instance(int n) const;
    // The registry the kind lists were filled from (null before the first
    // fill). UI thread.
    EffectRegistry* registry() const { return registry_; }

    // 1 while a move is in progress (kind changes are ignored meanwhile).
    std::int32_t slot_moving = 0;

    // Hooks the front end sets (all optional). UI thread.
    std::function<void(int n, Instance)> on_show_editor;    // show the slot's editor window
    std::function<void(Instance)> on_instance_destroying;   // before an instance is deleted
    std::function<void(int dy)> on_move_pointer;            // move the pointer by dy pixels
    std::function<void(int n)> on_focus_list;               // keyboard focus to row n's list

private:
    void destroy_instance(Instance inst);
    // Deletes the instances of replaced chains; only after a commit or a
    // release that guarantees no run uses them. UI thread.
    void free_retired();
    void fill_slot(int s, std::int32_t kind);

    std::array<std::unique_ptr<ChainRow>, kChainRows> rows_;
    ChainTable staging_;
    EffectRegistry* registry_ = nullptr;
    // Instances of replaced chains that may still ring out.
    std::vector<Instance> retiring_;
};

}  // namespace tw
