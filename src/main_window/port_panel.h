#pragma once

#include <QWidget>
#include <functional>

#include "device/device.h"

class QComboBox;

namespace kestrel {

// The top row of the main window: the program's heading, the printer port
// entry and the slave address the KESTREL is talked to at.
class PortPanel final : public QWidget {
    Q_OBJECT
  public:
    // `showConnection` puts the port found at start-up into the status bar's
    // connection indicator.
    PortPanel(Globals& globals, Device& device, std::function<void(const QString&)> showConnection,
              QWidget* parent);

    // Start-up: the slave addresses to choose from, none chosen yet.
    void fillSlaveAddresses();
    // Start-up: the LPT1..3 entries; the first decides the port for the
    // whole session.
    void discoverPorts();

    void SlaveAddress_Click();
    void CurrentPPortAddrCOMBO_Click();

  private:
    Globals& g_;
    Device& device_;
    std::function<void(const QString&)> showConnection_;
    QComboBox* portEntries_ = nullptr;
    QComboBox* slaveAddresses_ = nullptr;
};

}  // namespace kestrel
