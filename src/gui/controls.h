// Qt widgets for the toolkit-independent control models of src/ui. Each
// widget shows its model (subscribing to on_view_update) and forwards user
// input to the model's setters, which run the handlers. The designer name of
// the model becomes the widget's objectName, its hint the tooltip, and the
// widget sits at the model's bounds within its parent.
//
// A widget must be destroyed before its model (it unsubscribes in its
// destructor).
//
// Threads: UI thread only.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/radio_group.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

class QAbstractSlider;
class QButtonGroup;
class QRadioButton;
class QToolButton;

namespace tw::gui {

// Shows the state every control has: name, bounds, enabled, visible, hint.
void show_common(QWidget& w, const ui::Control& model);

// Horizontal/vertical scroll bar, or a track bar (slider) for BarStyle::TrackBar.
class SkinScrollBar : public QWidget {
public:
    SkinScrollBar(ui::ScrollBar& model, QWidget* parent);
    ~SkinScrollBar() override;
    ui::ScrollBar& model() { return model_; }
    QAbstractSlider* slider() { return slider_; }
    // Mouse enter / leave (the latency threshold bar shows its value meanwhile).
    std::function<void()> on_mouse_enter;
    std::function<void()> on_mouse_leave;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void refresh();
    ui::ScrollBar& model_;
    QAbstractSlider* slider_;
};

class SkinCheckBox : public QCheckBox {
public:
    SkinCheckBox(ui::CheckBox& model, QWidget* parent);
    ~SkinCheckBox() override;
    ui::CheckBox& model() { return model_; }

private:
    void refresh();
    ui::CheckBox& model_;
};

class SkinRadioGroup : public QGroupBox {
public:
    SkinRadioGroup(ui::RadioGroup& model, QWidget* parent);
    ~SkinRadioGroup() override;
    ui::RadioGroup& model() { return model_; }
    QRadioButton* item_button(int i) { return i >= 0 && i < int(buttons_.size()) ? buttons_[i] : nullptr; }

private:
    void refresh();
    ui::RadioGroup& model_;
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};

class SkinComboBox : public QComboBox {
public:
    SkinComboBox(ui::ComboBox& model, QWidget* parent);
    ~SkinComboBox() override;
    ui::ComboBox& model() { return model_; }
    // What a user's choice of item i does: the model selects it (running its
    // change handler when the selection changed), then its click runs.
    void choose(int i);

private:
    void refresh();
    ui::ComboBox& model_;
    std::vector<std::string> shown_items_;
};

// Push button. A left click runs the model's click; every mouse release is
// also passed on with its button and position (the chain rows move on a
// right-button release).
class SkinButton : public QPushButton {
public:
    SkinButton(ui::Button& model, QWidget* parent);
    ~SkinButton() override;
    ui::Button& model() { return model_; }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void refresh();
    ui::Button& model_;
};

// A pair of small arrow buttons, up above down.
class SkinUpDown : public QWidget {
public:
    SkinUpDown(ui::UpDown& model, QWidget* parent);
    ~SkinUpDown() override;
    ui::UpDown& model() { return model_; }
    QToolButton* up_button() { return up_; }
    QToolButton* down_button() { return down_; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void refresh();
    ui::UpDown& model_;
    QToolButton* up_;
    QToolButton* down_;
};

class SkinLabel : public QLabel {
public:
    SkinLabel(ui::Label& model, QWidget* parent);
    ~SkinLabel() override;
    ui::Label& model() { return model_; }

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    // A left click runs the model's click (link labels).
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void refresh();
    ui::Label& model_;
};

class SkinMemo : public QPlainTextEdit {
public:
    SkinMemo(ui::Memo& model, QWidget* parent);
    ~SkinMemo() override;

private:
    void refresh();
    ui::Memo& model_;
};

class SkinGauge : public QProgressBar {
public:
    SkinGauge(ui::Gauge& model, QWidget* parent);
    ~SkinGauge() override;

private:
    void refresh();
    ui::Gauge& model_;
};

// The widget for any control model, by its type; null for an unknown type.
QWidget* make_control_widget(ui::Control& model, QWidget* parent);

}  // namespace tw::gui
