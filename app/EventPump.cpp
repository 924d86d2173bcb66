#include "app/EventPump.h"

#include <QCoreApplication>

namespace tarvelle::app {

bool EventPump::Due() const { return !sinceLast_.isValid() || sinceLast_.elapsed() >= kIntervalMs; }

void EventPump::Pump() {
    if (Due()) {
        PumpNow();
    }
}

void EventPump::PumpNow() {
    QCoreApplication::processEvents();
    sinceLast_.start();
}

}  // namespace tarvelle::app
