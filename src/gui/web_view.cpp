#include "gui/web_view.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <unistd.h>

#include "gui/controls.h"

namespace tw::gui {

namespace {
// How long a page may take to load before the bars take over (a busy
// machine starts the web engine slowly).
constexpr int kLoadTimeoutMs = 45000;

bool sandbox_disabled() {
    return !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") ||
           qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

QString helper_process_path() {
    const QString set = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (!set.isEmpty()) return set;
    return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
}
}  // namespace

QString SkinWebView::engine_unavailable_reason() {
    if (!qEnvironmentVariableIsEmpty("TW_NO_WEBENGINE")) return "The web engine is switched off (TW_NO_WEBENGINE).";
    if (!QFileInfo(helper_process_path()).isExecutable()) return "The web engine is not installed (no QtWebEngineProcess).";
    if (geteuid() == 0 && !sandbox_disabled())
        return "The web engine's sandbox will not run as root (set QTWEBENGINE_DISABLE_SANDBOX=1).";
    return {};
}

SkinWebView::SkinWebView(ui::WebView& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QString::fromStdString(model.name()));
    const QString why = engine_unavailable_reason();
    if (why.isEmpty()) {
        view_ = new QWebEngineView(this);
        view_->setObjectName(objectName() + "_view");
        view_->setContextMenuPolicy(Qt::NoContextMenu);
        connect(view_, &QWebEngineView::titleChanged, this,
                [this](const QString& t) { model_.title_changed(t.toStdString()); });
        connect(view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (ok) {
                loaded_ = true;
                watchdog_->stop();
            } else {
                use_bars("The knob page could not be loaded; plain bars instead.");
            }
        });
        connect(view_->page(), &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus, int) {
                    use_bars("The web engine stopped; plain bars instead of the knob page.");
                });
        watchdog_ = new QTimer(this);
        watchdog_->setSingleShot(true);
        connect(watchdog_, &QTimer::timeout, this,
                [this] { use_bars("The web engine did not start in time; plain bars instead of the knob page."); });
    } else {
        use_bars(why);
    }
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinWebView::~SkinWebView() { model_.on_view_update = nullptr; }

void SkinWebView::refresh() {
    show_common(*this, model_);
    if (view_) view_->setGeometry(rect());
    if (model_.navigations() != shown_navigation_) {
        shown_navigation_ = model_.navigations();
        if (view_) {
            load_page();
        } else {
            build_bars();
        }
    }
}

void SkinWebView::load_page() {
    loaded_ = false;
    // A URL from the text keeps the query part (a local-file URL would drop it).
    view_->setUrl(QUrl(QStringLiteral("file://") + QString::fromStdString(model_.address())));
    watchdog_->start(kLoadTimeoutMs);
}

void SkinWebView::use_bars(const QString& reason) {
    if (uses_bars()) return;
    reason_ = reason;
    if (view_) {
        view_->hide();
        view_->deleteLater();
        view_ = nullptr;
    }
    if (watchdog_ != nullptr) watchdog_->stop();
    reason_label_ = new QLabel(reason_, this);
    reason_label_->setObjectName(objectName() + "_reason");
    reason_label_->setGeometry(8, 6, 311, 18);
    reason_label_->setToolTip(reason_);
    reason_label_->show();
    build_bars();
}

void SkinWebView::build_bars() {
    if (!uses_bars()) return;
    for (QWidget* w : bar_widgets_) delete w;
    bar_widgets_.clear();
    bars_.clear();
    std::vector<std::string> elements;
    for (const ui::PageKnob& k : model_.knobs()) elements.push_back(k.element);
    // Placed where the page would place its knobs.
    const std::vector<int> start = ui::knob_positions_of_address(model_.address(), elements);
    for (std::size_t i = 0; i < model_.knobs().size(); ++i) {
        const ui::PageKnob& k = model_.knobs()[i];
        const int y = 34 + static_cast<int>(i) * 52;
        auto* label = new QLabel(QString::fromStdString(k.caption), this);
        label->setObjectName(objectName() + "_label" + QString::number(i));
        label->setGeometry(8, y, 311, 16);
        label->show();
        bar_widgets_.push_back(label);
        const int pos = start[i] >= 0 ? start[i] : 0;
        auto bar = std::make_unique<ui::ScrollBar>(k.element, ui::Rect{8, y + 18, 311, 18},
                                                   ui::BarRange{0, 100, pos, 1, 10});
        ui::ScrollBar* b = bar.get();
        const std::string key = k.title_key;
        // Reports like the page: the key and the new position in the title.
        bar->on_change = [this, b, key] { model_.title_changed(key + std::to_string(b->position())); };
        QWidget* w = make_control_widget(*b, this);
        w->show();
        bar_widgets_.push_back(w);
        bars_.push_back(std::move(bar));
    }
}

QList<SkinWebView*> SkinWebView::views_in(QWidget& window) {
    QList<SkinWebView*> views;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (auto* v = dynamic_cast<SkinWebView*>(w)) views.append(v);
    return views;
}

bool SkinWebView::wait_for_pages(QWidget& window, int timeout_ms) {
    const QList<SkinWebView*> views = views_in(window);
    const QDeadlineTimer deadline(timeout_ms);
    auto settled = [&views] {
        for (SkinWebView* v : views)
            if (!v->page_loaded() && !v->uses_bars()) return false;
        return true;
    };
    while (!settled() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return settled();
}

}  // namespace tw::gui
