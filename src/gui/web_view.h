// The embedded web page of a window (ui::WebView) shown with Qt WebEngine:
// the page is loaded from the model's address whenever the model navigates,
// and every change of the page's document title goes to the model.
//
// When the web engine cannot run (its helper process is missing, its sandbox
// refuses to run as root, the render process dies, or the page does not
// load), the widget says so in one line and shows the page's knobs as plain
// skinned bars instead; they report their movements as the page would, so the
// effect stays usable. TW_NO_WEBENGINE=1 in the environment asks for the bars
// from the start.
//
// Threads: UI thread only. Must be destroyed before its model.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/scroll_bar.h"
#include "ui/web_view.h"

class QLabel;
class QTimer;
class QWebEngineView;

namespace tw::gui {

class SkinWebView : public QWidget {
public:
    SkinWebView(ui::WebView& model, QWidget* parent);
    ~SkinWebView() override;

    ui::WebView& model() { return model_; }
    // The web view, or null once the bars stand in for the page.
    QWebEngineView* view() const { return view_; }
    // True once the page finished loading in the web view.
    bool page_loaded() const { return loaded_; }
    // True when the bars stand in for the page; why, in one line.
    bool uses_bars() const { return !reason_.isEmpty(); }
    const QString& reason() const { return reason_; }
    // The stand-in bar for knob i (null while the page is used).
    ui::ScrollBar* bar(int i) const { return i >= 0 && i < int(bars_.size()) ? bars_[i].get() : nullptr; }

    // Why the web engine cannot be used in this process, or "" if it can be
    // tried. UI thread.
    static QString engine_unavailable_reason();
    // The knob pages inside `window` (the class has no meta-object of its
    // own, so findChildren<SkinWebView*> would return every widget). UI thread.
    static QList<SkinWebView*> views_in(QWidget& window);
    // Waits (running events, at most timeout_ms) until every web page inside
    // `window` has loaded or fallen back to bars; true if all did. UI thread.
    static bool wait_for_pages(QWidget& window, int timeout_ms);

private:
    void refresh();
    void load_page();
    void use_bars(const QString& reason);
    void build_bars();

    ui::WebView& model_;
    QWebEngineView* view_ = nullptr;   // a child; gone once the bars take over
    QTimer* watchdog_ = nullptr;
    bool loaded_ = false;
    int shown_navigation_ = 0;
    QString reason_;
    QLabel* reason_label_ = nullptr;
    std::vector<std::unique_ptr<ui::ScrollBar>> bars_;
    std::vector<QWidget*> bar_widgets_;
};

}  // namespace tw::gui
