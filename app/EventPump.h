// Lets the user interface handle pending events during long work on the user-interface thread,
// at most once every few milliseconds: the window repaints and stays live while the cost stays
// small even when asked after every line.
#pragma once

#include <QElapsedTimer>

namespace tarvelle::app {

class EventPump {
  public:
    static constexpr qint64 kIntervalMs = 15;

    // Processes pending events when the last processing is at least kIntervalMs ago.
    void Pump();
    // Processes pending events now.
    void PumpNow();
    // True when Pump would process events now.
    bool Due() const;

  private:
    QElapsedTimer sinceLast_;
};

}  // namespace tarvelle::app
