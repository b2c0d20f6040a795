// The main window TForm1: the sixteen chain rows, the audio stream controls,
// the status meters and the (not yet working) presets, skins and help
// controls. The window only shows the control models and forwards input;
// the behaviour lives in ChainEditor, StreamControl and StatusDisplay.
//
// Threads: UI thread only.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "app/chain_editor.h"
#include "app/status_display.h"
#include "app/stream_control.h"
#include "ui/button.h"
#include "ui/combo_box.h"
#include "ui/text_controls.h"

class QTimer;

namespace tw::gui {

class EffectWindow;
class LedMeterWidget;

// Controls laid out with their captions whose behaviour comes with later
// work (preset management, skins, help menu, link labels). They do nothing yet.
struct MainExtras {
    MainExtras();
    ui::Button spSkinButton17;      // " Save FX chain"
    ui::Button spSkinButton18;      // " Load FX chain"
    ui::ComboBox ComboBox_PRESETS;  // "PRESETS (Click to refresh list)", "Download From Internet 2000 presets"
    ui::ComboBox ComboBox_SKINS;    // "SKINS", "Download from Internet"
    ui::Button spSkinMenuButton1;   // " HELP, Presets, Skins and FAQ  "
    ui::Label LinkLabel1;           // shown from the first show on
    ui::Label LinkLabel2;
};

class TForm1 : public QWidget {
public:
    static constexpr int kClientWidth = 680;
    static constexpr int kClientHeight = 472;
    // Where the stream controls' design positions start in this window.
    static constexpr int kStreamPanelLeft = 40;

    // Creates the window, its models and widgets, and starts the status
    // timer. The device layer and dialogs outlive the window.
    TForm1(WaveIn& waves, DSound& dsound, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    ChainEditor& chain() { return chain_; }
    StreamControl& stream() { return stream_; }
    StatusDisplay& status() { return status_; }
    MainExtras& extras() { return extras_; }
    QTimer& timer() { return *timer_; }

    // The widget with this designer name, or null.
    QWidget* control(const std::string& name) const;
    // The editor window of an instance, or null when it was never opened.
    EffectWindow* editor_window(Instance inst) const;
    // Number of editor windows in existence.
    int editor_window_count() const { return static_cast<int>(editors_.size()); }

    // The first show: device lists, kind lists and the chain of sixteen empty
    // slots, link labels. Runs once (later calls return at once).
    void FormShow();
    bool first_show_done() const { return shown_; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void build_widgets();
    void bind_chain_hooks();
    void show_editor(int row, Instance inst);
    void destroy_editor(Instance inst);

    Dialogs& dialogs_;
    ChainEditor chain_;
    StreamControl stream_;
    StatusDisplay status_;
    MainExtras extras_;
    QTimer* timer_ = nullptr;
    QWidget* stream_panel_ = nullptr;
    std::map<Instance, EffectWindow*> editors_;
    bool shown_ = false;
};

// The readings of the status display from a stream: the engine's cpu_load,
// the capture side's levels and the stream's latency step. UI thread.
StatusSources stream_status_sources(StreamControl& stream);

}  // namespace tw::gui
