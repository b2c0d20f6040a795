// The effects' services in the program: QTimer timers, the toolkit's open
// and save dialogs, and message boxes through the main window's Dialogs.
// UI thread only.
#pragma once

#include <memory>

#include "platform/effect_services.h"

class QTimer;
class QWidget;

namespace tw::gui {

class QtRepeatingTimer : public platform::RepeatingTimer {
public:
    QtRepeatingTimer();
    ~QtRepeatingTimer() override;
    void start(int interval_ms, std::function<void()> on_tick) override;
    void stop() override;
    bool running() const override;

private:
    std::unique_ptr<QTimer> timer_;
    std::function<void()> on_tick_;
};

class QtFileDialogs : public platform::FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }
    std::optional<std::string> open_file(const platform::FileDialogRequest& request) override;
    std::optional<std::string> save_file(const platform::FileDialogRequest& request) override;

private:
    QWidget* parent_;
};

// `boxes` (e.g. the main window's QtDialogs) must outlive this object.
class QtEffectServices : public platform::EffectServices {
public:
    explicit QtEffectServices(platform::MessageBoxes& boxes, QWidget* dialog_parent = nullptr)
        : boxes_(boxes), dialogs_(dialog_parent) {}
    std::unique_ptr<platform::RepeatingTimer> make_timer() override;
    platform::FileDialogs& file_dialogs() override { return dialogs_; }
    platform::MessageBoxes& message_boxes() override { return boxes_; }
    void set_dialog_parent(QWidget* parent) { dialogs_.set_parent(parent); }

private:
    platform::MessageBoxes& boxes_;
    QtFileDialogs dialogs_;
};

}  // namespace tw::gui
