// Dialog-library tests: acting on a modal window once it is on screen, while its export runs.
#pragma once

#include "test_support.h"
#include "ui_test_env.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
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
    // `await_activation` false acts as soon as the window is exposed, for
    // windows that close by themselves and take no input.
    WhenShown(const char* objectName, std::function<void(QWidget&)> act, int deadline_ms = 20000,
              bool await_activation = true)
        : name_(QLatin1String(objectName)),
          act_(std::move(act)),
          deadline_(deadline_ms),
          await_activation_(await_activation)
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
            // Focus arrives with activation, which X11 delivers when it will:
            // typing and focus changes are only sure once the window is
            // active. A window that is never activated is acted on after a
            // while all the same.
            if (await_activation_ && !window->isActiveWindow()) {
                if (!exposed_.isValid()) exposed_.start();
                if (exposed_.elapsed() < 3000) return;
            }
            timer_.stop();
            seen_ = true;
            act_(*window);
            return;
        }
    }

    QString name_;
    std::function<void(QWidget&)> act_;
    QDeadlineTimer deadline_;
    QElapsedTimer exposed_;
    bool await_activation_ = true;
    QTimer timer_;
    bool seen_ = false;
};

template <class T = QWidget>
T* find_child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QLatin1String(name));
}

}  // namespace zarn::test
