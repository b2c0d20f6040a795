#include "gui/tuner_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "gui/controls.h"
#include "gui/look.h"

namespace tw::gui {

namespace {

// Within this many cents a note counts as in tune and is drawn in the second
// LED colour.
constexpr double kInTuneCents = 2.0;

QFont pixel_font(const QWidget& w, int px, bool bold) {
    QFont f = w.font();
    f.setPixelSize(std::max(px, 6));
    f.setBold(bold);
    return f;
}

}  // namespace

TunerDisplay::TunerDisplay(QWidget* parent) : QWidget(parent) {
    setObjectName("TunerDisplay");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TunerDisplay::show_reading(const NoteReading& r) {
    const bool same = r.has_note == reading_.has_note && r.semitone == reading_.semitone &&
                      r.octave == reading_.octave && std::fabs(r.cents - reading_.cents) < 0.05 &&
                      std::fabs(r.hz - reading_.hz) < 0.005;
    reading_ = r;
    if (!same) update();
}

void TunerDisplay::paintEvent(QPaintEvent*) {
    const Look& look = current_look();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), look.edit);
    const int w = width(), h = height();
    const NoteReading& r = reading_;
    const bool in_tune = r.has_note && std::fabs(r.cents) <= kInTuneCents;
    const QColor note_colour = !r.has_note ? look.disabled_text : in_tune ? look.led_colour2 : look.text;

    // Note name and octave: the upper 55 %.
    const QRect note_area(0, 0, w, h * 55 / 100);
    const int name_px = std::min(note_area.height() * 9 / 10, w * 2 / 5);
    const QString name = r.has_note ? QString::fromStdString(r.name) : QStringLiteral("–");
    const QFont name_font = pixel_font(*this, name_px, true);
    const QFont octave_font = pixel_font(*this, name_px * 2 / 5, true);
    const int name_w = QFontMetrics(name_font).horizontalAdvance(name);
    const QString octave = r.has_note ? QString::number(r.octave) : QString();
    const int octave_w = QFontMetrics(octave_font).horizontalAdvance(octave);
    const int left = (w - name_w - octave_w) / 2;
    const int baseline = note_area.top() + (note_area.height() + QFontMetrics(name_font).capHeight()) / 2;
    p.setPen(note_colour);
    p.setFont(name_font);
    p.drawText(left, baseline, name);
    p.setFont(octave_font);
    p.drawText(left + name_w, baseline, octave);

    // Cents scale -50 .. +50 with a needle: the next 27 %.
    const int margin = std::max(12, w / 14);
    const QRect scale(margin, note_area.bottom() + 1, w - 2 * margin, h * 27 / 100);
    const int mid_y = scale.top() + scale.height() / 2;
    auto x_of = [&](double c) { return scale.left() + (c + 50.0) / 100.0 * scale.width(); };
    const double zone = x_of(kInTuneCents) - x_of(-kInTuneCents);
    p.fillRect(QRectF(x_of(-kInTuneCents), scale.top(), zone, scale.height()),
               QColor(look.led_colour2.red(), look.led_colour2.green(), look.led_colour2.blue(), 60));
    p.setPen(QPen(look.border, std::max(1, h / 200)));
    p.drawLine(scale.left(), mid_y, scale.right(), mid_y);
    for (int c = -50; c <= 50; c += 10) {
        const int tick = c == 0 ? scale.height() / 2 : c % 50 == 0 ? scale.height() / 3 : scale.height() / 5;
        p.drawLine(QPointF(x_of(c), mid_y - tick), QPointF(x_of(c), mid_y + tick));
    }
    p.setFont(pixel_font(*this, scale.height() / 3, true));
    p.setPen(look.disabled_text);
    p.drawText(QRect(0, scale.top(), margin, scale.height()), Qt::AlignCenter, QStringLiteral("♭"));
    p.drawText(QRect(scale.right(), scale.top(), margin, scale.height()), Qt::AlignCenter, QStringLiteral("♯"));
    if (r.has_note) {
        const double x = x_of(std::clamp(r.cents, -50.0, 50.0));
        const QColor needle = in_tune ? look.led_colour2 : std::fabs(r.cents) > 15.0 ? look.led_colour3 : look.highlight;
        p.setPen(QPen(needle, std::max(3, w / 90), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x, scale.top()), QPointF(x, scale.bottom()));
    }

    // Frequency and cents: the rest.
    const QRect text_area(0, scale.bottom() + 1, w, h - scale.bottom() - 1);
    p.setFont(pixel_font(*this, text_area.height() * 11 / 20, false));
    p.setPen(r.has_note ? look.text : look.disabled_text);
    const QString info = r.has_note ? QStringLiteral("%1 Hz    %2%3 cents")
                                          .arg(r.hz, 0, 'f', 2)
                                          .arg(r.cents >= 0 ? "+" : "−")
                                          .arg(std::fabs(r.cents), 0, 'f', 1)
                                    : QStringLiteral("no note");
    p.drawText(text_area, Qt::AlignCenter, info);
}

TunerWindow::TunerWindow(TunerForm& form, QWidget* owner) : QWidget(owner, Qt::Window), form_(form) {
    setObjectName("TunerWindow");
    setWindowTitle("Tuner");
    setMinimumSize(320, 220);
    resize(TunerForm::kClientWidth, TunerForm::kClientHeight);
    apply_look(*this);
    display_ = new TunerDisplay(this);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&form.CheckBox_Mute, &form.ScrollBar_A4, &form.Label_A4})
        make_control_widget(*c, this);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
}

void TunerWindow::show_tuner() {
    form_.open();
    refresh();
    timer_->start();
    show();
    raise();
    activateWindow();
}

void TunerWindow::refresh() { display_->show_reading(form_.reading()); }

void TunerWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int w = width(), h = height();
    display_->setGeometry(8, 8, w - 16, h - kBottomRow - 12);
    // The controls keep their design size and sit along the bottom; the A4
    // bar takes the width left between the box and its label.
    const int y = h - kBottomRow + 9;
    form_.CheckBox_Mute.set_bounds({12, y, 170, 22});
    form_.Label_A4.set_bounds({w - 96, y + 2, 88, 18});
    form_.ScrollBar_A4.set_bounds({190, y + 2, std::max(60, w - 96 - 190 - 8), 18});
}

void TunerWindow::closeEvent(QCloseEvent* e) {
    timer_->stop();
    form_.close();
    e->accept();
}

}  // namespace tw::gui
