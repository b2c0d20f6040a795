// Base of every effect object: its window declaration (controls, caption,
// size) together with the processing state held by the derived kind.
#pragma once

#include <cstdint>

#include "engine/effect_types.h"
#include "engine/kind_entries.h"
#include "fx/kind_ids.h"
#include "ui/form_model.h"

namespace tw {

class EffectForm : public EffectInstance {
public:
    explicit EffectForm(ui::FormModel form) : form_(std::move(form)) {}

    // The window declaration the front end builds the editor from. UI thread.
    ui::FormModel& form() { return form_; }

    // 0 until the window has been shown once; the front end loads the skin
    // into the window on that first show. UI thread.
    std::int32_t skin_loaded = 0;

    // Runs the first-show step: true (and skin_loaded = 1) the first time only.
    // UI thread.
    bool FormShow() {
        if (skin_loaded != 0) return false;
        skin_loaded = 1;
        first_show();
        return true;
    }

    // Runs when the editor window is closed (each time). Effects that keep
    // settings in a file of their own write it here. UI thread.
    virtual void FormClose() {}

protected:
    // What a kind does on its window's first show besides the skin (e.g.
    // load its page). UI thread.
    virtual void first_show() {}

private:
    ui::FormModel form_;
};

// The effect object behind an instance of any kind (every kind's objects are
// EffectForms). Null for no instance. UI thread.
inline EffectForm* effect_form(Instance instance) { return static_cast<EffectForm*>(instance); }

// The three registry entries of an effect class Form that has
// process(frames, sample_rate, channels, samples), get_parameters(record)
// and put_parameters(record) and a default constructor that sets its
// creation values.
template <class Form>
struct FormEntries {
    static std::int32_t process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples,
                                Instance instance) {
        if (instance != nullptr && samples != nullptr && frames > 0) {
            static_cast<Form*>(instance)->process(frames, sample_rate, channels, samples);
        }
        return 0;
    }
    static Instance create() { return new Form(); }
    static void params(ParamRecord* record, Instance instance, std::int32_t direction) {
        if (instance == nullptr || record == nullptr) return;
        auto* form = static_cast<Form*>(instance);
        if (direction == 0) {
            form->get_parameters(*record);
        } else {
            form->put_parameters(*record);
        }
    }
    static constexpr KindEntries entries() { return KindEntries{process, create, params}; }
};

}  // namespace tw
