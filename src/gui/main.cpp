// Program entry: the application titled "Tonewarp 3", the device layer, the
// main window and the message loop.
//
// Options:
//   --home DIR              program folder (PRESETS/, SKINS/, temp/, face.ini ...);
//                           default: the executable's folder
//   --builtin-devices-only  list only the built-in demo input and null output
//   --screenshot DIR        (hidden) start the demo, save main_window.png and
//                           gain_editor.png into DIR, then quit
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "app/program_folder.h"
#include "engine/audio_devices.h"
#include "engine/dsound.h"
#include "engine/waves.h"
#include "gui/dialogs_qt.h"
#include "gui/main_window.h"
#include "gui/screenshot.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonewarp 3");
    QApplication::setApplicationDisplayName("Tonewarp 3");

    QCommandLineParser parser;
    parser.setApplicationDescription("Tonewarp 3: real-time guitar multi-effects processor");
    parser.addHelpOption();
    const QCommandLineOption home_opt("home", "Program folder (PRESETS/, SKINS/, face.ini ...).", "dir");
    const QCommandLineOption builtin_opt("builtin-devices-only",
                                         "Offer only the built-in demo input and null output.");
    QCommandLineOption shot_opt("screenshot", "Save screenshots into <dir> and quit.", "dir");
    shot_opt.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(home_opt);
    parser.addOption(builtin_opt);
    parser.addOption(shot_opt);
    parser.process(app);

    if (parser.isSet(home_opt)) tw::set_program_folder(QDir(parser.value(home_opt)).absolutePath().toStdString());

    tw::DeviceOptions options;
    options.system_devices = !parser.isSet(builtin_opt);
    tw::AudioDevices devices(tw::make_system_backends(options));

    tw::gui::QtDialogs dialogs;
    tw::gui::TForm1 window(*devices.waves, *devices.dsound, dialogs);
    dialogs.set_parent(&window);
    window.show();

    if (parser.isSet(shot_opt)) {
        const QString dir = parser.value(shot_opt);
        QTimer::singleShot(0, &window, [&window, dir] {
            tw::gui::take_screenshots(window, dir, [](bool ok) { QApplication::exit(ok ? 0 : 1); });
        });
    }
    return QApplication::exec();
}
