#pragma once

#include <QMenu>
#include <cstdint>
#include <mutex>

#include "base/measurement_mode.h"
#include "simulator/cable_attachment.h"

class QActionGroup;

namespace orvik::sim {

class SimulatedDriverPort;

// The Simulator menu: what is attached to each cable of the simulated MV300,
// the two inputs of its trigger port, and the faults an operator rehearses:
// the instrument unplugged and plugged in again, records that come
// incomplete, a request that times out.
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

    // How many bytes each sample block brings while records come incomplete:
    // about half of it, so that the record is plainly short.
    static constexpr std::uint32_t kIncompleteBlockBytes = 1000;

  private:
    void AddCableMenu(QMenu& menu, MeasurementMode mode);
    void AskForProfile(MeasurementMode mode);
    void MarkAttached(MeasurementMode mode);
    void AddFaultItems(QMenu& menu);
    // The fault items as the instrument is now: unplugged or not.
    void MarkFaults();

    std::unique_lock<std::recursive_mutex> Hold();

    SimulatedDriverPort& port_;
    std::recursive_mutex* lock_;
    QMenu* cableMenus_[2] = {nullptr, nullptr};
    QAction* unplug_ = nullptr;
    QAction* plugIn_ = nullptr;
};

}  // namespace orvik::sim
