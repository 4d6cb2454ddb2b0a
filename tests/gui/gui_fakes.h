#pragma once
// Test doubles for the Qt window: a dialog that records its boxes instead of
// running them, and a watcher for modal boxes.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QTimerEvent>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/about_dialog.h"
#include "app/config_dialog.h"
#include "serial/local/serial_port.h"
#include "tests/support/fake_port.h"

struct ShownBox {
    bool about = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList texts; // of every label and button in the box
};

// Records each box it would have run and returns at once.
class RecordingDialog : public ConfigDialog {
public:
    using ConfigDialog::ConfigDialog;
    std::vector<ShownBox> boxes;
    int seenTimerId = 0; // Qt's id of the last timer that ticked here

protected:
    void timerEvent(QTimerEvent* event) override {
        seenTimerId = event->timerId();
        ConfigDialog::timerEvent(event);
    }

    int execModal(QDialog& box) override {
        ShownBox shown;
        shown.caption = box.windowTitle();
        if (auto* message = qobject_cast<QMessageBox*>(&box)) {
            shown.text = message->text();
            shown.icon = message->icon();
            shown.buttons = message->standardButtons();
        } else {
            shown.about = qobject_cast<AboutDialog*>(&box) != nullptr;
        }
        for (QLabel* label : box.findChildren<QLabel*>()) shown.texts << label->text();
        for (QAbstractButton* button : box.findChildren<QAbstractButton*>()) shown.texts << button->text();
        boxes.push_back(shown);
        return 0;
    }
};

// Keeps the dialog's own timer from ticking, so that only the ticks a test
// dispatches reach it.
class TimerBlock : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }
};

// Processes events until pred holds or timeoutMs passes (a hang guard).
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Calls onFound once, from the event loop, as soon as find() yields a widget.
class WidgetWatcher : public QObject {
public:
    WidgetWatcher(std::function<QWidget*()> find, std::function<void(QWidget*)> onFound)
        : find_(std::move(find)),
          onFound_(std::move(onFound)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (QWidget* widget = find_()) {
                timer_.stop();
                onFound_(widget);
            }
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
    std::function<QWidget*()> find_;
    std::function<void(QWidget*)> onFound_;
};

inline QWidget* activeMessageBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }
