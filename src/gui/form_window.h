// Windows built from a window declaration (ui::FormModel): caption, fixed
// client size, centred on the screen, each control's widget at its bounds.
// EffectWindow is an effect's editor window: on its first show it runs the
// effect's FormShow() and loads the current skin into itself; whenever it is
// closed it runs the effect's FormClose().
//
// The window must be destroyed before the models it shows. UI thread only.
#pragma once

#include <QWidget>
#include <string>

#include "fx/effect_form.h"
#include "ui/form_model.h"

namespace tw::gui {

class FormWindow : public QWidget {
public:
    // `owner` (may be null) keeps the window above it and deletes it with itself.
    FormWindow(ui::FormModel& form, QWidget* owner);
    ui::FormModel& form() { return form_; }
    // The widget of the control with this designer name, or null.
    QWidget* control_widget(const std::string& name) const;
    // Moves the window to the centre of its screen.
    void centre_on_screen();

private:
    ui::FormModel& form_;
};

class EffectWindow : public FormWindow {
public:
    EffectWindow(EffectForm& effect, QWidget* owner);
    EffectForm& effect() { return effect_; }
    // Shows the window (not modal) or brings it up when already shown.
    void show_editor();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    EffectForm& effect_;
};

}  // namespace tw::gui
