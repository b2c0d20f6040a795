// Screenshots for the documentation: puts a Gain in row 1, switches it on,
// starts the built-in demo input into the null output when they are listed,
// lets the meters run, then saves the main window, the Gain editor, the tuner
// window (on the demo's notes) and the other editors as PNG files with
// QWidget::grab(). UI thread only.
#pragma once

#include <QString>
#include <functional>

namespace tw::gui {

class TForm1;

// Saves `dir`/main_window.png and `dir`/gain_editor.png; `done(ok)` runs when
// finished (audio is stopped by then).
void take_screenshots(TForm1& window, const QString& dir, std::function<void(bool)> done);

// For every package of SKINS/ (in name order): loads it as the skins list
// does, opens a new Gain editor (row 1, 2 ...) and saves
// `dir`/skin_<package>_main.png and `dir`/skin_<package>_gain.png; then loads
// the default skin again. `done(ok)` runs when finished.
void take_skin_screenshots(TForm1& window, const QString& dir, std::function<void(bool)> done);

}  // namespace tw::gui
