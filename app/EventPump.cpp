#include "app/EventPump.h"

#include <QCoreApplication>

namespace tarvelle::app {

void EventPump::Pump() {
    if (sinceLast_.isValid() && sinceLast_.elapsed() < kIntervalMs) {
        return;
    }
    PumpNow();
}

void EventPump::PumpNow() {
    QCoreApplication::processEvents();
    sinceLast_.start();
}

}  // namespace tarvelle::app
