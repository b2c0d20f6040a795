// Program entry: the application titled "Tonewarp 3", the device layer, the
// main window and the message loop.
//
// Options:
//   --home DIR              program folder (PRESETS/, SKINS/, html/, temp/, face.ini ...);
//                           default: $TONEWARP_HOME, else ~/.local/share/tonewarp for an
//                           installed program (filled from <prefix>/share/tonewarp), else
//                           the executable's folder when writable
//   --builtin-devices-only  list only the built-in demo input and null output
//   --screenshot DIR        (hidden) start the demo, save main_window.png and
//                           gain_editor.png (and every other built editor) into DIR, then quit
//   --quit-after MS         (hidden) close the window MS milliseconds after it is shown, as
//                           the user would (face.ini is written); for start-up checks
//
// Run as root, the web engine's sandbox is switched off
// (QTWEBENGINE_DISABLE_SANDBOX=1), since it refuses to start otherwise.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/main_form.h"
#include "app/program_folder.h"
#include "engine/audio_devices.h"
#include "gui/dialogs_qt.h"
#include "gui/main_window.h"
#include "gui/services_qt.h"
#include "gui/screenshot.h"

namespace {
struct Options {
    QString home;
    bool builtin_only = false;
    QString screenshot_dir;
    int quit_after_ms = -1;
    QString skin_screenshot_dir;
};

// Parsed before the GUI starts so that --help works without a display.
Options parse_options(int argc, char** argv) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("tonewarp");
    QCommandLineParser parser;
    parser.setApplicationDescription("Tonewarp 3: real-time guitar multi-effects processor");
    parser.addHelpOption();
    const QCommandLineOption home_opt(
        "home",
        "Program folder (PRESETS/, SKINS/, html/, face.ini ...). Default: $TONEWARP_HOME, else "
        "~/.local/share/tonewarp for an installed program (filled from the installed data), else the "
        "executable's folder when it is writable.",
        "dir");
    const QCommandLineOption builtin_opt("builtin-devices-only",
                                         "Offer only the built-in demo input and null output.");
    QCommandLineOption shot_opt("screenshot", "Save screenshots into <dir> and quit.", "dir");
    shot_opt.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption quit_opt("quit-after", "Close the window <ms> milliseconds after it is shown.", "ms");
    quit_opt.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption skin_shot_opt("screenshot-skins",
                                     "Save the main window and a Gain editor in every skin of SKINS/ into <dir> and quit.",
                                     "dir");
    skin_shot_opt.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(skin_shot_opt);
    parser.addOption(home_opt);
    parser.addOption(builtin_opt);
    parser.addOption(shot_opt);
    parser.addOption(quit_opt);
    // Qt's own options (-platform ...) are left to QApplication.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet("help")) parser.showHelp(0);
    Options o;
    if (parser.isSet(home_opt)) o.home = QDir(parser.value(home_opt)).absolutePath();
    o.builtin_only = parser.isSet(builtin_opt);
    if (parser.isSet(shot_opt)) o.screenshot_dir = parser.value(shot_opt);
    if (parser.isSet(quit_opt)) {
        bool ok = false;
        o.quit_after_ms = parser.value(quit_opt).toInt(&ok);
        if (!ok || o.quit_after_ms < 0) {
            std::fprintf(stderr, "tonewarp: --quit-after needs a number of milliseconds, 0 or more.\n");
            std::exit(2);
        }
    }
    if (parser.isSet(skin_shot_opt)) o.skin_screenshot_dir = parser.value(skin_shot_opt);
    return o;
}
}  // namespace

int main(int argc, char** argv) {
    // The web engine (knob pages) shares OpenGL contexts with the widgets,
    // and its sandbox refuses to start as root: it is switched off then.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    const Options opts = parse_options(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonewarp 3");
    QApplication::setApplicationDisplayName("Tonewarp 3");

    std::string folder_note;
    if (!tw::setup_program_folder(opts.home.toStdString(), &folder_note)) {
        std::fprintf(stderr, "%s\n", folder_note.c_str());
        return 2;
    }
    if (!folder_note.empty()) std::fprintf(stderr, "%s\n", folder_note.c_str());

    tw::DeviceOptions options = tw::MainForm::device_defaults();
    options.system_devices = !opts.builtin_only;
    tw::AudioDevices devices(tw::make_system_backends(options));

    tw::gui::QtDialogs dialogs;
    // Effects reach timers, dialogs and message boxes through these; they
    // stay installed until the window and every effect are gone.
    tw::gui::QtEffectServices fx_services(dialogs);
    tw::platform::install_effect_services(&fx_services);
    struct Uninstall {
        ~Uninstall() { tw::platform::install_effect_services(nullptr); }
    } uninstall;
    tw::gui::TForm1 window(devices, dialogs);
    dialogs.set_parent(&window);
    fx_services.set_dialog_parent(&window);
    window.show();

    if (!opts.screenshot_dir.isEmpty()) {
        const QString dir = opts.screenshot_dir;
        QTimer::singleShot(0, &window, [&window, dir] {
            tw::gui::take_screenshots(window, dir, [](bool ok) { QApplication::exit(ok ? 0 : 1); });
        });
    }
    if (opts.quit_after_ms >= 0) QTimer::singleShot(opts.quit_after_ms, &window, [&window] { window.close(); });
    if (!opts.skin_screenshot_dir.isEmpty()) {
        const QString dir = opts.skin_screenshot_dir;
        QTimer::singleShot(0, &window, [&window, dir] {
            tw::gui::take_skin_screenshots(window, dir, [](bool ok) { QApplication::exit(ok ? 0 : 1); });
        });
    }
    return QApplication::exec();
}
