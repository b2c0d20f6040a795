#include "gui/look.h"

#include <QPalette>
#include <QWidget>

namespace tw::gui {

namespace {
Look& look_in_force() {
    static Look look = default_look();
    return look;
}
}  // namespace

Look default_look() {
    Look l;
    l.name = "Default";
    l.window = QColor(0x2b, 0x30, 0x38);
    l.panel = QColor(0x3a, 0x41, 0x4c);
    l.text = QColor(0xe6, 0xe9, 0xee);
    l.disabled_text = QColor(0x80, 0x86, 0x90);
    l.highlight = QColor(0x3f, 0xa7, 0xd6);
    l.edit = QColor(0x1f, 0x23, 0x29);
    l.border = QColor(0x59, 0x62, 0x70);
    // Colour 1 as the classic inactive caption text, colour 2 aqua, colour 3 red.
    l.led_colour1 = QColor(0xc0, 0xc0, 0xc0);
    l.led_colour2 = QColor(0x00, 0xff, 0xff);
    l.led_colour3 = QColor(0xff, 0x00, 0x00);
    l.led_separator = QColor(0x00, 0x00, 0x00);
    l.led_unlit_darker = 320;
    return l;
}

const Look& current_look() { return look_in_force(); }

void set_current_look(const Look& look) { look_in_force() = look; }

QString style_sheet_of(const Look& l) {
    if (!l.style_sheet.isEmpty()) return l.style_sheet;
    const QString w = l.window.name(), p = l.panel.name(), t = l.text.name(), d = l.disabled_text.name(),
                  h = l.highlight.name(), e = l.edit.name(), b = l.border.name();
    return QStringLiteral(
               "QWidget { background-color: %1; color: %3; font-size: 11px; }"
               "QWidget:disabled { color: %4; }"
               "QPushButton, QToolButton { background-color: %2; border: 1px solid %7; border-radius: 3px;"
               "  padding: 1px 4px; }"
               "QPushButton:hover, QToolButton:hover { border-color: %5; }"
               "QPushButton:pressed, QToolButton:pressed { background-color: %5; color: %6; }"
               "QComboBox { background-color: %6; border: 1px solid %7; border-radius: 2px; padding: 0 4px; }"
               "QComboBox QAbstractItemView { background-color: %6; selection-background-color: %5; }"
               "QGroupBox { border: 1px solid %7; border-radius: 3px; margin-top: 8px; }"
               "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
               "QCheckBox, QRadioButton, QLabel { background: transparent; }"
               "QCheckBox, QRadioButton { spacing: 3px; }"
               "QCheckBox::indicator, QRadioButton::indicator { width: 10px; height: 10px; border: 1px solid %7;"
               "  background-color: %6; }"
               "QRadioButton::indicator { border-radius: 6px; }"
               "QCheckBox::indicator:checked, QRadioButton::indicator:checked { background-color: %5;"
               "  border-color: %3; }"
               "QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { border-color: %2; }"
               "QScrollBar { background-color: %6; border: 1px solid %7; }"
               "QScrollBar::handle { background-color: %5; min-width: 12px; min-height: 12px; border-radius: 2px; }"
               "QSlider::groove:horizontal { height: 4px; background: %6; border: 1px solid %7; }"
               "QSlider::groove:vertical { width: 4px; background: %6; border: 1px solid %7; }"
               "QSlider::handle { background: %5; border: 1px solid %7; border-radius: 2px; margin: -5px; }"
               "QProgressBar { background-color: %6; border: 1px solid %7; text-align: center; }"
               "QProgressBar::chunk { background-color: %5; }"
               "QPlainTextEdit { background-color: %6; border: 1px solid %7; }"
               "QToolTip { background-color: %2; color: %3; border: 1px solid %7; }")
        .arg(w, p, t, d, h, e, b);
}

void apply_look(QWidget& window) {
    const Look& l = current_look();
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, l.window);
    pal.setColor(QPalette::WindowText, l.text);
    pal.setColor(QPalette::Base, l.edit);
    pal.setColor(QPalette::Text, l.text);
    pal.setColor(QPalette::Button, l.panel);
    pal.setColor(QPalette::ButtonText, l.text);
    pal.setColor(QPalette::Highlight, l.highlight);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, l.disabled_text);
    pal.setColor(QPalette::Disabled, QPalette::Text, l.disabled_text);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, l.disabled_text);
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.setStyleSheet(style_sheet_of(l));
}

void load_skin_into(QWidget& window) { apply_look(window); }

}  // namespace tw::gui
