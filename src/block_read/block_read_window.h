#pragma once

#include <QWidget>
#include <functional>

#include "device/block_read.h"
#include "device/device.h"
#include "jobs/bus_jobs.h"

class QLineEdit;
class QListWidget;

namespace kestrel {

// "Block Read": one SMBus block read of 32 EEPROM bytes with byte count and
// PEC, shown as 34 lines ("Bytes: 20h", 32 image lines, "PEC: 5Ah").
class BlockReadWindow final : public QWidget {
    Q_OBJECT
  public:
    // `notify` shows a message in the main window's status bar.
    BlockReadWindow(BusJobs& jobs, std::function<void(const QString&)> notify);

    void Do_Block_Read_Click();
    void Command2_Click() { hide(); }

  private:
    void show(unsigned base, const BlockReadResult& result);
    BusJobs& jobs_;
    std::function<void(const QString&)> notify_;
    QLineEdit* EEBaseAddress_ = nullptr;
    QListWidget* List1_ = nullptr;
};

}  // namespace kestrel
