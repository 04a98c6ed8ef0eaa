#pragma once

#include <QWidget>

#include "device/device.h"

class QLineEdit;
class QListWidget;

namespace kestrel {

// "Block Read": one SMBus block read of 32 EEPROM bytes with byte count and
// PEC, shown as 34 lines ("Bytes: 20h", 32 image lines, "PEC: 5Ah").
class BlockReadWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit BlockReadWindow(Device& device);

    void Do_Block_Read_Click();
    void Command2_Click() { hide(); }

  private:
    Device& device_;
    QLineEdit* EEBaseAddress_ = nullptr;
    QListWidget* List1_ = nullptr;
};

}  // namespace kestrel
