// The effects' services in the program: a QTimer-backed repeating timer, the
// toolkit's file dialogs behind the effects' request form, message boxes
// forwarded to the given implementation.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/headless_services.h"
#include "gui/services_qt.h"

namespace tw::gui {
namespace {

TEST(QtServices, TimerTicksOnTheEventLoopUntilStopped) {
    platform::RecordingMessageBoxes boxes;
    QtEffectServices fx(boxes);
    auto timer = fx.make_timer();
    EXPECT_FALSE(timer->running());
    int ticks = 0;
    timer->start(5, [&] {
        if (++ticks == 3) timer->stop();
    });
    EXPECT_TRUE(timer->running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
    EXPECT_FALSE(timer->running());
    QTest::qWait(30);
    EXPECT_EQ(ticks, 3);

    fx.message_boxes().warning("Error! Can NOT open Out wav", "");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Error! Can NOT open Out wav");
}

TEST(QtServices, FileDialogsTakeTheEffectsRequestForm) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtFileDialogs dialogs;
    QString title;
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        title = d->windowTitle();
        filters = d->nameFilters();
        d->selectFile(dir.filePath("take.wav"));
        static_cast<QDialog*>(d)->accept();
    });
    const auto chosen = dialogs.save_file({"Save wav file", "wav files|*.wav", dir.path().toStdString()});
    EXPECT_EQ(chosen, dir.filePath("take.wav").toStdString());
    EXPECT_EQ(title, "Save wav file");
    EXPECT_EQ(filters, QStringList{"wav files (*.wav)"});

    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->reject();
    });
    EXPECT_EQ(dialogs.open_file({"Open file", "wav|*.wav", dir.path().toStdString()}), std::nullopt);
}

}  // namespace
}  // namespace tw::gui
