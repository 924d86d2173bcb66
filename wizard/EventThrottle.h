// Lets the windows handle pending events during long work on the user-interface thread, at most
// once every few milliseconds: they repaint and stay live while the cost stays small even when
// asked after every line.
#pragma once

#include <chrono>
#include <optional>

#include "wizard/Services.h"

namespace tarvelle::wizard {

class EventThrottle {
  public:
    static constexpr std::chrono::milliseconds kInterval{15};

    explicit EventThrottle(Services& services) : services_(services) {}

    // True when Pump would process events now.
    bool Due() const;
    // Processes pending events when the last processing is at least kInterval ago.
    void Pump() {
        if (Due()) PumpNow();
    }
    void PumpNow();

  private:
    Services& services_;
    std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace tarvelle::wizard
