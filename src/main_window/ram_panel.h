#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "device/device.h"
#include "jobs/bus_jobs.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace kestrel {

class BitLabelRow;

// The main window's RAM side: one register read or written by address
// ("Ram Byte r/w", with PS ON), and the read-out of every RAM register next
// to the list of their names ("Read RAM Data").
class RamPanel final : public QWidget {
    Q_OBJECT
  public:
    // `notify` shows a message in the main window's status bar.
    RamPanel(Globals& globals, BusJobs& jobs, std::function<void(const QString&)> notify,
             QWidget* parent);

    // Start-up: the register names, one line each.
    void fillRegisterNames();
    // The bits of the byte last read or written, and its PEC.
    void showBits(std::uint8_t value);
    void setPecCaption(const std::string& text);

    void ByteReadCMD_Click();
    void ByteWriteCMD_Click();
    void ReadRAM_Click();
    void Command1_Click();
    void List1_Click();

  private:
    QWidget* buildByteSection();
    QWidget* buildReadoutSection();

    Globals& g_;
    BusJobs& jobs_;
    std::function<void(const QString&)> notify_;
    QLineEdit* registerAddress_ = nullptr;
    QLineEdit* byteData_ = nullptr;
    BitLabelRow* byteBits_ = nullptr;
    QLabel* pec_ = nullptr;
    QListWidget* registerNames_ = nullptr;
    QListWidget* readout_ = nullptr;
};

}  // namespace kestrel
