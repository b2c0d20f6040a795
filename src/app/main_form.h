// The main window TForm1 without a toolkit: the models it holds (chain
// editor, stream controls, status display, preset management, the help menu
// and link labels) and the order in which it comes up and goes down, with
// the settings file face.ini read at the first show and written at close.
// The Qt window, tonewarp-live and tonewarp-render all start through here,
// so start-up is written once, skins included.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>

#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "app/face_settings.h"
#include "app/preset_manager.h"
#include "app/skins/skin_chooser.h"
#include "app/status_display.h"
#include "app/stream_control.h"
#include "app/tuner_form.h"
#include "engine/audio_devices.h"
#include "ui/button.h"
#include "ui/combo_box.h"
#include "ui/text_controls.h"

namespace tw {

// Controls of the bottom line besides the presets: the skins list (driven by
// skins::SkinChooser), the HELP menu button and the link labels.
struct MainExtras {
    MainExtras();
    ui::ComboBox ComboBox_SKINS;    // "SKINS", "Download from Internet"
    ui::Button spSkinMenuButton1;   // " HELP, Presets, Skins and FAQ  "
    ui::Label LinkLabel1;           // shown from the first show on
    ui::Label LinkLabel2;
};

class MainForm {
public:
    // The device layer's options as the program starts: every device
    // offered, the demo input playing "demo_guitar.wav" from the program
    // folder. Callers may narrow the device sets. UI thread.
    static DeviceOptions device_defaults();

    // Window creation: builds the models at their design state and ties them
    // together (the latency meter follows the threshold, the status display
    // reads the stream, the stream learns when the sound system closed it),
    // then fills the presets list from PRESETS/. The program folder must be
    // chosen before. The devices and dialogs outlive the form. UI thread.
    MainForm(AudioDevices& devices, Dialogs& dialogs);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    ChainEditor& chain() { return chain_; }
    StreamControl& stream() { return stream_; }
    StatusDisplay& status() { return status_; }
    PresetManager& presets() { return presets_; }
    MainExtras& extras() { return extras_; }
    // The tuner ("Tuner" button and window); face.ini's [Tuner] A4 goes
    // through apply_settings() / current_settings() like the other keys.
    TunerForm& tuner() { return tuner_; }
    // The skins list and the skin the main window shows. UI thread.
    skins::SkinChooser& skins() { return skins_; }
    // The layout fit after a skin change (the "Off" switches and the save
    // button under "@mosphere"). UI thread.
    void FitSkinLayout();

    // The first show, run once (later calls return at once): the device
    // lists (the alternative output path when face.ini's usefastwdm is set),
    // the kind lists and the chain of sixteen empty slots, then face.ini read
    // again and applied in the order input, output, latency, MonoStereo,
    // SampleFreq, Path (a device is found by its stored name first), the
    // default preset loaded when it exists, then the link labels. UI thread.
    void FormShow();
    bool first_show_done() const { return shown_; }

    // The chain part of the first show: the 16 kind lists filled and 16
    // empty slots, all off, committed to the live chain. Shared with the
    // offline renderer, which has no devices. UI thread.
    static void show_chain(ChainEditor& chain);

    // Close of the main window: stops the capture if audio runs, closes the
    // output in any case, then writes face.ini (unless a fatal device error
    // ended the program, or writing was turned off). A file that cannot be
    // written is reported in a warning box. UI thread.
    void FormClose();
    // Whether FormClose writes face.ini (the window does; tonewarp-live
    // reads the settings but leaves them to the window). UI thread.
    void set_writes_settings(bool writes) { writes_settings_ = writes; }

    // A key released anywhere in the main window: 1..12 for F1..F12, other
    // values for other keys. UI thread.
    void FormKeyUp(int function_key) { presets_.FormKeyUp(function_key); }

    // The HELP menu: the front end shows the entries (help_menu_entries())
    // when the menu button is clicked, through this hook, and calls
    // HelpMenuClick with the chosen index.
    std::function<void()> on_show_help_menu;
    void HelpMenuClick(int index);
    // Opens a page of html/ through the Dialogs; a missing page or a desktop
    // that cannot open it is said in a message box. UI thread.
    void open_help_page(const std::string& page);

    // face.ini in the program folder. UI thread.
    static std::string settings_path();
    // The settings as the close writes them: the lists' indexes and names,
    // the threshold, the format and the current preset path. UI thread.
    FaceSettings current_settings() const;
    // The preset loaded at first show when face.ini names none. UI thread.
    static std::string default_preset_path();

    // `usefastwdm` of the settings' [Wave Devices]: non-zero lists the
    // alternative output path at first show. 0 until the settings are read.
    int usefastwdm() const { return usefastwdm_; }

private:
    void apply_settings(const FaceSettings& s);

    Dialogs& dialogs_;
    ChainEditor chain_;
    StreamControl stream_;
    StatusDisplay status_;
    PresetManager presets_;
    MainExtras extras_;
    TunerForm tuner_;
    skins::SkinChooser skins_;
    int usefastwdm_ = 0;
    bool shown_ = false;
    bool writes_settings_ = true;
};

}  // namespace tw
