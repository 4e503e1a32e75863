// SPDX-License-Identifier: MIT
#include "gui/qt/QtRunLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <stdexcept>
#include <thread>

namespace orvane::gui {

QtRunLoop::QtRunLoop()
    : context_(std::make_unique<QObject>()), epoch_(std::chrono::steady_clock::now()) {}

QtRunLoop::~QtRunLoop() {
    discardPending();
}

void QtRunLoop::post(std::function<void()> fn) {
    // Thread-safe: the call is queued to the context's (the GUI) thread.
    QMetaObject::invokeMethod(context_.get(), std::move(fn), Qt::QueuedConnection);
}

void QtRunLoop::postAfter(runtime::Duration d, std::function<void()> fn) {
    if (d <= runtime::Duration{0}) {
        post(std::move(fn));
        return;
    }
    // Round up: an early wake-up would run a debounce or retry before its time.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    auto* context = context_.get();
    post([context, ms, fn = std::move(fn)]() mutable {
        QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, context, std::move(fn));
    });
}

runtime::TimePoint QtRunLoop::now() const {
    return std::chrono::duration_cast<runtime::TimePoint>(std::chrono::steady_clock::now() -
                                                          epoch_);
}

void QtRunLoop::sleepFor(runtime::Duration d) {
    std::this_thread::sleep_for(d);
}

void QtRunLoop::run() {
    QCoreApplication::exec();
}

void QtRunLoop::runUntilIdle(const std::function<bool()>&) {
    throw std::logic_error("the GUI's event loop does not run until idle");
}

void QtRunLoop::stop() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void QtRunLoop::discardPending() {
    // Queued calls and timers belong to the context: a new one starts empty.
    context_ = std::make_unique<QObject>();
    destroyRoots();
}

}  // namespace orvane::gui
