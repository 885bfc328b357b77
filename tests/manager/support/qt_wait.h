// Waiting in Manager tests: runs the event loop until a condition holds or the (scaled)
// time limit passes, so that queued signals from worker threads are delivered.
#pragma once
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "tests/support/harness.h"

namespace qt_test {

inline bool wait_until(const std::function<bool()>& condition, int timeout_ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  const int limit = harness::scaled_ms(timeout_ms);
  while (!condition()) {
    if (timer.elapsed() > limit) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

// Runs the event loop for a while (for checks that something does NOT happen).
inline void pump_events(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

// Runs act on the next modal dialog that opens (other than outer) once the event loop
// runs inside its exec(); act must close it.
inline void on_next_modal(std::function<void(QWidget*)> act, QWidget* outer = nullptr) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act, outer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == outer) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start(10);
}

}  // namespace qt_test
