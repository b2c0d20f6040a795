#include "gui/controls.h"

#include "gui/web_view.h"

#include <QButtonGroup>
#include <QCursor>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QToolTip>

namespace tw::gui {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }

Qt::Orientation qt_orientation(ui::Orientation o) {
    return o == ui::Orientation::Vertical ? Qt::Vertical : Qt::Horizontal;
}

ui::MouseButton model_button(Qt::MouseButton b) {
    switch (b) {
        case Qt::RightButton: return ui::MouseButton::Right;
        case Qt::MiddleButton: return ui::MouseButton::Middle;
        default: return ui::MouseButton::Left;
    }
}
}  // namespace

void show_common(QWidget& w, const ui::Control& m) {
    const ui::Rect& r = m.bounds();
    const QRect g(r.left, r.top, r.width, r.height);
    if (w.geometry() != g) w.setGeometry(g);
    if (w.isEnabled() != m.enabled()) w.setEnabled(m.enabled());
    if (w.isHidden() == m.visible()) w.setVisible(m.visible());
    const QString tip = qs(m.hint());
    if (w.toolTip() != tip) w.setToolTip(tip);
}

// ---- scroll bar / track bar ----

SkinScrollBar::SkinScrollBar(ui::ScrollBar& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(qs(model.name()));
    const Qt::Orientation o = qt_orientation(model.orientation());
    if (model.style() == ui::BarStyle::TrackBar) {
        auto* s = new QSlider(o, this);
        // A vertical track bar has its minimum at the top.
        if (o == Qt::Vertical) s->setInvertedAppearance(true);
        slider_ = s;
    } else {
        slider_ = new QScrollBar(o, this);
    }
    slider_->setObjectName(objectName() + "_bar");
    connect(slider_, &QAbstractSlider::valueChanged, this, [this](int v) {
        model_.set_position(v);
        refresh();
        // While the bar is dragged its value follows the pointer.
        if (slider_->isSliderDown() && isVisible())
            QToolTip::showText(QCursor::pos(), toolTip(), this);
    });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinScrollBar::~SkinScrollBar() { model_.on_view_update = nullptr; }

void SkinScrollBar::refresh() {
    show_common(*this, model_);
    // The tooltip: the bar's hint, then its position and value.
    const QString hint = qs(model_.hint());
    const QString tip = (hint.isEmpty() ? QString() : hint + "\n") + qs(model_.value_text());
    if (toolTip() != tip) setToolTip(tip);
    const QSignalBlocker block(slider_);
    slider_->setRange(model_.min(), model_.max());
    slider_->setSingleStep(model_.small_change());
    slider_->setPageStep(model_.large_change());
    slider_->setValue(model_.position());
}

void SkinScrollBar::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    if (on_mouse_enter) on_mouse_enter();
}

void SkinScrollBar::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (on_mouse_leave) on_mouse_leave();
}

void SkinScrollBar::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    slider_->setGeometry(rect());
}

// ---- check box ----

SkinCheckBox::SkinCheckBox(ui::CheckBox& model, QWidget* parent) : QCheckBox(parent), model_(model) {
    setObjectName(qs(model.name()));
    connect(this, &QCheckBox::clicked, this, [this](bool) {
        // The model decides: it flips its state and runs the click handler.
        model_.click();
        refresh();
    });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinCheckBox::~SkinCheckBox() { model_.on_view_update = nullptr; }

void SkinCheckBox::refresh() {
    show_common(*this, model_);
    const QString t = qs(model_.caption());
    if (text() != t) setText(t);
    if (isChecked() != model_.checked()) {
        const QSignalBlocker block(this);
        setChecked(model_.checked());
    }
}

// ---- radio group ----

SkinRadioGroup::SkinRadioGroup(ui::RadioGroup& model, QWidget* parent)
    : QGroupBox(parent), model_(model), group_(new QButtonGroup(this)) {
    setObjectName(qs(model.name()));
    setTitle(qs(model.caption()));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 10, 6, 2);
    grid->setSpacing(0);
    const int n = static_cast<int>(model.items().size());
    const int columns = model.columns();
    const int rows = (n + columns - 1) / columns;
    group_->setExclusive(true);
    for (int i = 0; i < n; ++i) {
        auto* b = new QRadioButton(qs(model.items()[i]), this);
        b->setObjectName(objectName() + "_item" + QString::number(i));
        // Items fill each column from the top before the next column.
        grid->addWidget(b, rows > 0 ? i % rows : 0, rows > 0 ? i / rows : 0);
        group_->addButton(b, i);
        buttons_.push_back(b);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        model_.set_item_index(id);
        refresh();
    });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinRadioGroup::~SkinRadioGroup() { model_.on_view_update = nullptr; }

void SkinRadioGroup::refresh() {
    show_common(*this, model_);
    const int sel = model_.item_index();
    group_->setExclusive(false);
    for (int i = 0; i < int(buttons_.size()); ++i) {
        const QSignalBlocker block(buttons_[i]);
        buttons_[i]->setChecked(i == sel);
    }
    group_->setExclusive(true);
}

// ---- combo box ----

SkinComboBox::SkinComboBox(ui::ComboBox& model, QWidget* parent) : QComboBox(parent), model_(model) {
    setObjectName(qs(model.name()));
    connect(this, &QComboBox::activated, this, [this](int i) { choose(i); });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinComboBox::~SkinComboBox() { model_.on_view_update = nullptr; }

void SkinComboBox::choose(int i) {
    QPointer<SkinComboBox> self(this);
    model_.set_item_index(i);
    if (self) model_.click();
    if (self) refresh();
}

void SkinComboBox::refresh() {
    show_common(*this, model_);
    const QSignalBlocker block(this);
    if (shown_items_ != model_.items()) {
        clear();
        for (const std::string& s : model_.items()) addItem(qs(s));
        shown_items_ = model_.items();
    }
    // With no item selected the free text shows (e.g. "There is no sound input device").
    const QString free_text = model_.item_index() < 0 ? qs(model_.text()) : QString();
    if (placeholderText() != free_text) setPlaceholderText(free_text);
    if (currentIndex() != model_.item_index()) setCurrentIndex(model_.item_index());
}

// ---- button ----

SkinButton::SkinButton(ui::Button& model, QWidget* parent) : QPushButton(parent), model_(model) {
    setObjectName(qs(model.name()));
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QPushButton::clicked, this, [this] { model_.click(); });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinButton::~SkinButton() { model_.on_view_update = nullptr; }

void SkinButton::refresh() {
    show_common(*this, model_);
    const QString t = qs(model_.caption());
    if (text() != t) setText(t);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* e) {
    QPointer<SkinButton> self(this);
    const ui::MouseButton b = model_button(e->button());
    const QPoint p = e->position().toPoint();
    QPushButton::mouseReleaseEvent(e);  // a left click runs the model's click
    if (!self) return;
    model_.mouse_up(b, p.x(), p.y());
}

// ---- up-down pair ----

SkinUpDown::SkinUpDown(ui::UpDown& model, QWidget* parent)
    : QWidget(parent), model_(model), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    setObjectName(qs(model.name()));
    up_->setObjectName(objectName() + "_up");
    down_->setObjectName(objectName() + "_down");
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setFocusPolicy(Qt::NoFocus);
    down_->setFocusPolicy(Qt::NoFocus);
    connect(up_, &QToolButton::clicked, this, [this] { model_.click_up(); });
    connect(down_, &QToolButton::clicked, this, [this] { model_.click_down(); });
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinUpDown::~SkinUpDown() { model_.on_view_update = nullptr; }

void SkinUpDown::refresh() { show_common(*this, model_); }

void SkinUpDown::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int h = height() / 2;
    up_->setGeometry(0, 0, width(), h);
    down_->setGeometry(0, h, width(), height() - h);
}

// ---- label ----

SkinLabel::SkinLabel(ui::Label& model, QWidget* parent) : QLabel(parent), model_(model) {
    setObjectName(qs(model.name()));
    if (model_.on_click) setCursor(Qt::PointingHandCursor);
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinLabel::~SkinLabel() { model_.on_view_update = nullptr; }

void SkinLabel::refresh() {
    show_common(*this, model_);
    const QString t = qs(model_.caption());
    if (text() != t) setText(t);
}

void SkinLabel::enterEvent(QEnterEvent* e) {
    QLabel::enterEvent(e);
    if (model_.on_mouse_enter) model_.on_mouse_enter();
}

void SkinLabel::leaveEvent(QEvent* e) {
    QLabel::leaveEvent(e);
    if (model_.on_mouse_leave) model_.on_mouse_leave();
}

void SkinLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) model_.click();
}

// ---- memo ----

SkinMemo::SkinMemo(ui::Memo& model, QWidget* parent) : QPlainTextEdit(parent), model_(model) {
    setObjectName(qs(model.name()));
    setReadOnly(true);
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinMemo::~SkinMemo() { model_.on_view_update = nullptr; }

void SkinMemo::refresh() {
    show_common(*this, model_);
    QString all;
    for (std::size_t i = 0; i < model_.lines().size(); ++i) {
        if (i > 0) all += '\n';
        all += qs(model_.lines()[i]);
    }
    if (toPlainText() != all) setPlainText(all);
}

// ---- gauge ----

SkinGauge::SkinGauge(ui::Gauge& model, QWidget* parent) : QProgressBar(parent), model_(model) {
    setObjectName(qs(model.name()));
    setTextVisible(false);
    model_.on_view_update = [this] { refresh(); };
    refresh();
}

SkinGauge::~SkinGauge() { model_.on_view_update = nullptr; }

void SkinGauge::refresh() {
    show_common(*this, model_);
    setRange(model_.min(), model_.max());
    setValue(model_.progress());
}

// ---- factory ----

QWidget* make_control_widget(ui::Control& m, QWidget* parent) {
    switch (m.type()) {
        case ui::ControlType::ScrollBar: return new SkinScrollBar(static_cast<ui::ScrollBar&>(m), parent);
        case ui::ControlType::CheckBox: return new SkinCheckBox(static_cast<ui::CheckBox&>(m), parent);
        case ui::ControlType::RadioGroup: return new SkinRadioGroup(static_cast<ui::RadioGroup&>(m), parent);
        case ui::ControlType::ComboBox: return new SkinComboBox(static_cast<ui::ComboBox&>(m), parent);
        case ui::ControlType::Button: return new SkinButton(static_cast<ui::Button&>(m), parent);
        case ui::ControlType::UpDown: return new SkinUpDown(static_cast<ui::UpDown&>(m), parent);
        case ui::ControlType::Label: return new SkinLabel(static_cast<ui::Label&>(m), parent);
        case ui::ControlType::Memo: return new SkinMemo(static_cast<ui::Memo&>(m), parent);
        case ui::ControlType::Gauge: return new SkinGauge(static_cast<ui::Gauge&>(m), parent);
        case ui::ControlType::WebView: return new SkinWebView(static_cast<ui::WebView&>(m), parent);
    }
    return nullptr;
}

}  // namespace tw::gui
