#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "device/device.h"
#include "jobs/bus_jobs.h"

class QComboBox;

namespace kestrel {

// The top row of the main window: the program's heading, the printer port
// entry and the slave address the KESTREL is talked to at.
class PortPanel final : public QWidget {
    Q_OBJECT
  public:
    // `showConnection` puts the port found at start-up into the status bar's
    // connection indicator.
    PortPanel(Globals& globals, BusJobs& jobs, std::function<void(const QString&)> showConnection,
              std::function<void(const QString&)> notify, QWidget* parent);

    // Start-up: the slave addresses to choose from, none chosen yet.
    void fillSlaveAddresses();
    // Start-up: the LPT1..3 entries; the first decides the port for the
    // whole session.
    void discoverPorts();

    void SlaveAddress_Click();
    void CurrentPPortAddrCOMBO_Click();

  private:
    void showPorts(const std::array<Device::LptSlot, 3>& lpt, const std::string& refusal);
    Globals& g_;
    BusJobs& jobs_;
    std::function<void(const QString&)> showConnection_;
    std::function<void(const QString&)> notify_;
    QComboBox* portEntries_ = nullptr;
    QComboBox* slaveAddresses_ = nullptr;
};

}  // namespace kestrel
