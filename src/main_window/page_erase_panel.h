#pragma once

#include <QGroupBox>
#include <functional>

#include "device/device.h"

class QComboBox;

namespace kestrel {

// "EEPROM Page Erase": a page chosen from the list, erased or filled with
// zeros.
class PageErasePanel final : public QGroupBox {
    Q_OBJECT
  public:
    // `notify` shows a message in the main window's status bar.
    PageErasePanel(Device& device, std::function<void(const QString&)> notify, QWidget* parent);

    // Start-up: the first address of every EEPROM page, none chosen yet.
    void fillPages();

    void PageErase_Click();
    void WriteZeros_Click();

  private:
    // The chosen page, or false (with a note to the user) when none is.
    bool chosenPage(unsigned& page);

    Device& device_;
    std::function<void(const QString&)> notify_;
    QComboBox* pages_ = nullptr;
};

}  // namespace kestrel
