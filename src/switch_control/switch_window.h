#pragma once

#include <QWidget>
#include <functional>

#include "device/device.h"
#include "jobs/bus_jobs.h"

class QLabel;
class QLineEdit;

namespace kestrel {

// "PLOVER_Control": sends one switch byte to a PLOVER analog switch, a
// two-byte write of address and data without command byte.
class SwitchWindow final : public QWidget {
    Q_OBJECT
  public:
    SwitchWindow(BusJobs& jobs, std::function<void()> returnToDiagram);

    void PLOVERWriteCMD_Click();
    void exit_Click();

  private:
    BusJobs& jobs_;
    QLabel* note_ = nullptr;
    std::function<void()> returnToDiagram_;
    QLineEdit* SelectSwitch_ = nullptr;
    QLineEdit* AddressByte_ = nullptr;
};

}  // namespace kestrel
