// The main window TForm1: the sixteen chain rows, the audio stream controls,
// the status meters, the presets controls, the skins list, the HELP menu and
// the link labels. The window only shows the control models and forwards
// input (F1..F12 included); the behaviour, start-up and close live in
// MainForm (app/main_form.h).
//
// Threads: UI thread only.
#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "app/main_form.h"

class QTimer;

namespace tw::gui {

class EffectWindow;
class LedMeterWidget;
class TunerWindow;

class TForm1 : public QWidget {
public:
    static constexpr int kClientWidth = 680;
    static constexpr int kClientHeight = 472;
    // Where the stream controls' design positions start in this window.
    static constexpr int kStreamPanelLeft = 40;

    // Creates the window, its models and widgets, and starts the status
    // timer. The device layer and dialogs outlive the window.
    TForm1(AudioDevices& devices, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    MainForm& form() { return form_; }
    ChainEditor& chain() { return form_.chain(); }
    StreamControl& stream() { return form_.stream(); }
    StatusDisplay& status() { return form_.status(); }
    MainExtras& extras() { return form_.extras(); }
    PresetManager& presets() { return form_.presets(); }
    QTimer& timer() { return *timer_; }
    // Takes MIDI every few milliseconds; checks the ports once a second.
    QTimer& midi_timer() { return *midi_timer_; }
    // The tuner window, or null before "Tuner" was first pressed.
    TunerWindow* tuner_window() const { return tuner_window_; }

    // The widget with this designer name, or null.
    QWidget* control(const std::string& name) const;
    // The editor window of an instance, or null when it was never opened.
    EffectWindow* editor_window(Instance inst) const;
    // Number of editor windows in existence.
    int editor_window_count() const { return static_cast<int>(editors_.size()); }

    // The first show (MainForm::FormShow). Runs once (later calls return at
    // once).
    void FormShow() { form_.FormShow(); }
    bool first_show_done() const { return form_.first_show_done(); }

    // 1..12 for Qt's F1..F12 keys, else 0.
    static int function_key(int qt_key);

protected:
    // Sees every key release in this window before its controls do.
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // Shows `skin` in this window (and makes it the look new windows start from).
    void show_skin(const skins::SkinDescription& skin);
    void build_widgets();
    void bind_chain_hooks();
    void show_editor(int row, Instance inst);
    void destroy_editor(Instance inst);
    void show_help_menu();

    MainForm form_;
    Dialogs& dialogs_;
    bool leftovers_offered_ = false;
    QTimer* timer_ = nullptr;
    QTimer* midi_timer_ = nullptr;
    QTimer* midi_ports_timer_ = nullptr;
    QWidget* stream_panel_ = nullptr;
    std::map<Instance, EffectWindow*> editors_;
    TunerWindow* tuner_window_ = nullptr;
};

}  // namespace tw::gui
