#include "gui/dialogs_qt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
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

bool question_box(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName("QuestionBox");
    box.setDefaultButton(QMessageBox::No);
    if (parent == nullptr) apply_look(box);
    return box.exec() == QMessageBox::Yes;
}

QString open_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, folder, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString save_file_dialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                         bool confirm_overwrite) {
    QFileDialog::Options o = QFileDialog::DontUseNativeDialog;
    if (!confirm_overwrite) o |= QFileDialog::DontConfirmOverwrite;
    return QFileDialog::getSaveFileName(parent, title, folder, filter, nullptr, o);
}

void QtDialogs::message(const std::string& text, const std::string& detail) {
    message_box(parent_, QString::fromStdString(text), QString::fromStdString(detail));
}

void QtDialogs::warning(const std::string& text, const std::string& detail) {
    warning_box(parent_, QString::fromStdString(text), QString::fromStdString(detail));
}

bool QtDialogs::question(const std::string& text) { return question_box(parent_, QString::fromStdString(text)); }

bool QtDialogs::open_url(const std::string& url) { return QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); }

void QtDialogs::end_program(int code) {
    // At once: no close handler runs, so no settings are written.
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace tw::gui
