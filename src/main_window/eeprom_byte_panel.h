#pragma once

#include <QGroupBox>
#include <cstdint>
#include <functional>
#include <string>

#include "device/device.h"
#include "jobs/bus_jobs.h"

class QLabel;
class QLineEdit;

namespace kestrel {

class BitLabelRow;

// "EEPROM Byte r/w": one EEPROM byte read or written by its four-digit
// address, with its bits and PEC.
class EepromBytePanel final : public QGroupBox {
    Q_OBJECT
  public:
    // `notify` shows a message in the main window's status bar.
    EepromBytePanel(Globals& globals, BusJobs& jobs, std::function<void(const QString&)> notify,
                    QWidget* parent);

    // The byte last read or written: its bits, its value and its PEC.
    void showBits(std::uint8_t value);
    void setByteData(const std::string& text);
    void setPecCaption(const std::string& text);

    void EEByteReadCMD_Click();
    void EEByteWriteCMD_Click();

  private:
    void showRead(const ByteOutcome& b);
    // The address in the address box, or false (with a note to the user)
    // when it is not four hex digits or not an EEPROM address.
    bool byteAddress(unsigned& address);

    Globals& g_;
    BusJobs& jobs_;
    std::function<void(const QString&)> notify_;
    QLineEdit* address_ = nullptr;
    QLineEdit* byteData_ = nullptr;
    BitLabelRow* byteBits_ = nullptr;
    QLabel* pec_ = nullptr;
};

}  // namespace kestrel
