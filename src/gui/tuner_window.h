// The tuner window: a resizable window that draws the tuner's reading (note
// name, octave, a cents needle, the frequency) large enough to read from a
// distance, with the "Mute while tuning" box and the A4 bar along the bottom.
// The window only draws TunerForm (app/tuner_form.h) and forwards input;
// closing it closes the tuner.
//
// Threads: UI thread only.
#pragma once

#include <QWidget>

#include "app/tuner_form.h"

class QTimer;

namespace tw::gui {

// The drawing of one reading, filling its widget.
class TunerDisplay : public QWidget {
public:
    explicit TunerDisplay(QWidget* parent);
    void show_reading(const NoteReading& r);
    const NoteReading& reading() const { return reading_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    NoteReading reading_;
};

class TunerWindow : public QWidget {
public:
    static constexpr int kRefreshMs = 50;
    static constexpr int kBottomRow = 40;  // height of the controls row

    // `owner` keeps the window above it and deletes it with itself.
    TunerWindow(TunerForm& form, QWidget* owner);
    // Shows (or raises) the window.
    void show_tuner();
    TunerDisplay& display() { return *display_; }
    // Takes a reading now (the timer does this every kRefreshMs).
    void refresh();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    TunerForm& form_;
    TunerDisplay* display_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace tw::gui
