// Open-file and save-file dialogs for effects: a title, a filter and an
// initial folder in, the chosen path (or none when cancelled) out.
#pragma once

#include <optional>
#include <string>

namespace tw::platform {

struct FileDialogRequest {
    std::string title;           // e.g. "Open file"
    std::string filter;          // pairs "description|patterns", e.g. "wav files|*.wav" or "a|*.x;*.y|b|*.z"
    std::string initial_folder;  // "" lets the dialog choose
    bool confirm_overwrite = true;  // save: the dialog asks before an existing file is chosen
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // The path of an existing file the user chose, or nullopt when cancelled. UI thread.
    virtual std::optional<std::string> open_file(const FileDialogRequest& request) = 0;
    // The path the user chose to write (taken as entered; no extension is
    // added), or nullopt when cancelled. UI thread.
    virtual std::optional<std::string> save_file(const FileDialogRequest& request) = 0;
};

// The filter in the "Name (*.a *.b);;Other (*.c)" form of common toolkits,
// from the "Name|*.a;*.b|Other|*.c" form. A description without patterns
// gets "*". Any thread.
std::string toolkit_filter(const std::string& filter);

}  // namespace tw::platform
