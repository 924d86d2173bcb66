#include "wizard/EventThrottle.h"

namespace tarvelle::wizard {

bool EventThrottle::Due() const {
    return !last_ || std::chrono::steady_clock::now() - *last_ >= kInterval;
}

void EventThrottle::PumpNow() {
    services_.ProcessPendingEvents();
    last_ = std::chrono::steady_clock::now();
}

}  // namespace tarvelle::wizard
