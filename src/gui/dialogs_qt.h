// Message boxes (fixed text, an OK button; plain or warning) and the file
// dialogs of the toolkit, and the Dialogs implementation the stream control
// uses in the program. UI thread only.
#pragma once

#include <QString>
#include <string>

#include "app/dialogs.h"

class QWidget;

namespace tw::gui {

// A plain (information) message box with an OK button; `detail` (may be
// empty) goes into the box's details. Returns when it is closed.
void message_box(QWidget* parent, const QString& text, const QString& detail = {});
// The same as a warning box.
void warning_box(QWidget* parent, const QString& text, const QString& detail = {});

// A question box with Yes and No; true for Yes.
bool question_box(QWidget* parent, const QString& text);

// File dialogs: title, initial folder and a filter such as "Presets (*.pre)".
// Return the chosen path, or an empty string when cancelled. The save dialog
// asks before an existing file is chosen unless `confirm_overwrite` is false
// (the caller then asks itself).
QString open_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter);
QString save_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                         bool confirm_overwrite = true);

// Shows the main form's messages and questions in message boxes, opens pages
// through the desktop's URL handler; end_program exits the process at once
// with the given code (no settings are written).
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }
    void message(const std::string& text, const std::string& detail) override;
    void warning(const std::string& text, const std::string& detail) override;
    bool question(const std::string& text) override;
    void end_program(int code) override;
    bool open_url(const std::string& url) override;

private:
    QWidget* parent_;
};

}  // namespace tw::gui
