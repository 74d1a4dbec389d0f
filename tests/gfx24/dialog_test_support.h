// Dialog-library tests: acting on a modal window once it is on screen, while its export runs.
#pragma once

#include "test_support.h"
#include "ui_test_env.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <memory>

namespace zarn::test {

// Waits (inside the export's modal loop) for a visible top-level window
// named `objectName` to be exposed, then runs `act` on it once. The timer
// belongs to the returned object: keep it alive across the export call.
// `act` is never run after the deadline; seen() tells whether it ran.
class WhenShown {
public:
    WhenShown(const char* objectName, std::function<void(QWidget&)> act, int deadline_ms = 20000)
        : name_(QLatin1String(objectName)), act_(std::move(act)), deadline_(deadline_ms)
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start(10);
    }
    bool seen() const { return seen_; }

private:
    void poll()
    {
        if (deadline_.hasExpired()) {
            timer_.stop();
            return;
        }
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() != name_ || !window->isVisible() || !window->windowHandle() ||
                !window->windowHandle()->isExposed())
                continue;
            timer_.stop();
            seen_ = true;
            act_(*window);
            return;
        }
    }

    QString name_;
    std::function<void(QWidget&)> act_;
    QDeadlineTimer deadline_;
    QTimer timer_;
    bool seen_ = false;
};

template <class T = QWidget>
T* find_child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QLatin1String(name));
}

}  // namespace zarn::test
