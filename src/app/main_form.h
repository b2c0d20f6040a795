// The main window TForm1 without a toolkit: the models it holds (chain
// editor, stream controls, status display and the controls of later work)
// and the order in which it comes up and goes down. The Qt window,
// tonewarp-live and tonewarp-render all start through here, so start-up is
// written once; the settings file, the presets list, F1..F12 and skins join
// it at the hooks marked below.
//
// Threads: UI thread only.
#pragma once

#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "app/status_display.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "ui/button.h"
#include "ui/combo_box.h"
#include "ui/text_controls.h"

namespace tw {

// Controls laid out with their captions whose behaviour comes with later
// work (preset management, skins, help menu, link labels).
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

class MainForm {
public:
    // The device layer's options as the program starts: every device
    // offered, the demo input playing "demo_guitar.wav" from the program
    // folder. Callers may narrow the device sets. UI thread.
    static DeviceOptions device_defaults();

    // Builds the models at their design state and ties them together: the
    // latency meter follows the threshold, the status display reads the
    // stream, and the stream learns when the sound system closed it. The
    // devices and dialogs outlive the form. UI thread.
    MainForm(AudioDevices& devices, Dialogs& dialogs);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    ChainEditor& chain() { return chain_; }
    StreamControl& stream() { return stream_; }
    StatusDisplay& status() { return status_; }
    MainExtras& extras() { return extras_; }

    // The first show, run once (later calls return at once): the device
    // lists (the alternative output path when usefastwdm is set), the kind
    // lists and the chain of sixteen empty slots, then the link labels.
    // UI thread.
    void FormShow();
    bool first_show_done() const { return shown_; }

    // The chain part of the first show: the 16 kind lists filled and 16
    // empty slots, all off, committed to the live chain. Shared with the
    // offline renderer, which has no devices. UI thread.
    static void show_chain(ChainEditor& chain);

    // Close of the main window: stops the capture if audio runs and closes
    // the output in any case. UI thread.
    void FormClose();

    // `usefastwdm` of the settings' [Wave Devices]: non-zero lists the
    // alternative output path at first show. 0 until the settings are read.
    int usefastwdm() const { return usefastwdm_; }

private:
    ChainEditor chain_;
    StreamControl stream_;
    StatusDisplay status_;
    MainExtras extras_;
    int usefastwdm_ = 0;
    bool shown_ = false;
};

}  // namespace tw
