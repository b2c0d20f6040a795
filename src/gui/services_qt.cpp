#include "gui/services_qt.h"

#include <QTimer>
#include <algorithm>

#include "gui/dialogs_qt.h"

namespace tw::gui {

QtRepeatingTimer::QtRepeatingTimer() : timer_(std::make_unique<QTimer>()) {
    QObject::connect(timer_.get(), &QTimer::timeout, [this] {
        // A copy: the callback may restart this timer with another callback.
        const std::function<void()> f = on_tick_;
        if (f) f();
    });
}

QtRepeatingTimer::~QtRepeatingTimer() = default;

void QtRepeatingTimer::start(int interval_ms, std::function<void()> on_tick) {
    on_tick_ = std::move(on_tick);
    timer_->start(std::max(interval_ms, 1));
}

void QtRepeatingTimer::stop() { timer_->stop(); }

bool QtRepeatingTimer::running() const { return timer_->isActive(); }

namespace {
std::optional<std::string> chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}
}  // namespace

std::optional<std::string> QtFileDialogs::open_file(const platform::FileDialogRequest& r) {
    return chosen(open_file_dialog(parent_, QString::fromStdString(r.title), QString::fromStdString(r.initial_folder),
                                   QString::fromStdString(platform::toolkit_filter(r.filter))));
}

std::optional<std::string> QtFileDialogs::save_file(const platform::FileDialogRequest& r) {
    return chosen(save_file_dialog(parent_, QString::fromStdString(r.title), QString::fromStdString(r.initial_folder),
                                   QString::fromStdString(platform::toolkit_filter(r.filter)), r.confirm_overwrite));
}

std::unique_ptr<platform::RepeatingTimer> QtEffectServices::make_timer() {
    return std::make_unique<QtRepeatingTimer>();
}

}  // namespace tw::gui
