#include "gui/dialogs_qt.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "gui/look.h"

namespace tw::gui {

namespace {
void show_box(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& detail) {
    QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.setObjectName(icon == QMessageBox::Warning ? "WarningBox" : "MessageBox");
    if (!detail.isEmpty()) box.setDetailedText(detail);
    if (parent == nullptr) apply_look(box);
    box.exec();
}
}  // namespace

void message_box(QWidget* parent, const QString& text, const QString& detail) {
    show_box(parent, QMessageBox::Information, text, detail);
}

void warning_box(QWidget* parent, const QString& text, const QString& detail) {
    show_box(parent, QMessageBox::Warning, text, detail);
}

QString open_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, folder, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString save_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, folder, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

void QtDialogs::message(const std::string& text, const std::string& detail) {
    message_box(parent_, QString::fromStdString(text), QString::fromStdString(detail));
}

void QtDialogs::warning(const std::string& text, const std::string& detail) {
    warning_box(parent_, QString::fromStdString(text), QString::fromStdString(detail));
}

void QtDialogs::end_program(int code) {
    // At once: no close handler runs, so no settings are written.
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace tw::gui
