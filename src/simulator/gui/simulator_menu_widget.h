#pragma once

#include <QMenu>
#include <mutex>

#include "base/measurement_mode.h"
#include "simulator/cable_attachment.h"

class QActionGroup;

namespace orvik::sim {

class SimulatedDriverPort;

// The Simulator menu: what is attached to each cable of the simulated MV300,
// and the two inputs of its trigger port.
class SimulatorMenuWidget : public QObject {
    Q_OBJECT
  public:
    // `lock`, when given, is held around every change of the instrument, which
    // a worker thread may be measuring at the same time.
    SimulatorMenuWidget(QMenu& menu, SimulatedDriverPort& port,
                        std::recursive_mutex* lock = nullptr);

    void Attach(MeasurementMode mode, const CableAttachment& attachment);
    // Presses a trigger input long enough for the 100 ms poll to see it.
    void PressTrigger(int input);

  private:
    void AddCableMenu(QMenu& menu, MeasurementMode mode);
    void AskForProfile(MeasurementMode mode);
    void MarkAttached(MeasurementMode mode);

    std::unique_lock<std::recursive_mutex> Hold();

    SimulatedDriverPort& port_;
    std::recursive_mutex* lock_;
    QMenu* cableMenus_[2] = {nullptr, nullptr};
};

}  // namespace orvik::sim
