#include "gui/form_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "gui/controls.h"
#include "gui/look.h"

namespace tw::gui {

FormWindow::FormWindow(ui::FormModel& form, QWidget* owner) : QWidget(owner, Qt::Window), form_(form) {
    setObjectName(QString::fromStdString(form.class_name()));
    setWindowTitle(QString::fromStdString(form.caption()));
    setFixedSize(form.client_width(), form.client_height());
    for (ui::Control* c : form.controls()) make_control_widget(*c, this);
    if (form.centred()) centre_on_screen();
}

QWidget* FormWindow::control_widget(const std::string& name) const {
    return findChild<QWidget*>(QString::fromStdString(name), Qt::FindDirectChildrenOnly);
}

void FormWindow::centre_on_screen() {
    QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

EffectWindow::EffectWindow(EffectForm& effect, QWidget* owner) : FormWindow(effect.form(), owner), effect_(effect) {}

void EffectWindow::show_editor() {
    show();
    raise();
    activateWindow();
}

void EffectWindow::showEvent(QShowEvent* e) {
    FormWindow::showEvent(e);
    // First show only: the skin goes into the window, and the effect may
    // take another client size (e.g. a page that fills it).
    if (effect_.FormShow()) {
        load_skin_into(*this);
        const QSize client(form().client_width(), form().client_height());
        if (size() != client) setFixedSize(client);
    }
}

void EffectWindow::closeEvent(QCloseEvent* e) {
    effect_.FormClose();
    FormWindow::closeEvent(e);
}

}  // namespace tw::gui
