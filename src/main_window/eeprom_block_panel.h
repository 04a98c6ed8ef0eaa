#pragma once

#include <QGroupBox>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"
#include "device/eeprom.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrel {

class PageErasePanel;
class WindowRegistry;

// "EEPROM Data": the image of one 32-byte EEPROM block in a list, read from,
// written to and verified against the chip at its base address, edited a
// byte at a time, and saved to or loaded from an image file. It holds the
// page erase controls and the buttons to the EEPROM and block read windows.
class EepromBlockPanel final : public QGroupBox {
    Q_OBJECT
  public:
    // `notify` shows a message in the main window's status bar.
    EepromBlockPanel(Globals& globals, BusJobs& jobs, Dialogs& dialogs, WindowRegistry& windows,
                     std::function<void(const QString&)> notify, QWidget* parent);

    PageErasePanel& pageErasePanel() { return *pageErasePanel_; }
    // What the image file dialog proposes, and remembers between uses.
    FileDialogState& imageFileDialog() { return imageFileDialog_; }
    // Start-up: the buttons to the EEPROM and block read windows work once
    // those windows are part of the program.
    void enableWindowButtons();

    void EEBaseAddress_Change();
    void EEData_Click();
    void ReadEECMD_Click();
    void WriteEECMD_Click();
    void VerifyEECMD_Click();
    void ReadAllEE_Click();
    void EEBlockRead_Click();
    // The block image to a file, and a file into the list.
    void WriteFileCMD_Click();
    void ReadFileCMD_Click();

  signals:
    // The block's addresses changed with the base address ("8110h-812Fh").
    void blockRangeChanged(const QString& range);

  private:
    // Where the lines in the list came from, when they were loaded from a file.
    std::optional<unsigned> loadedFrom_;
    std::string loadedRange_;
    void blockWritten(const std::string& range, unsigned count, const eeprom::Run& erased,
                      const eeprom::Run& written);
    void verified(unsigned base, std::size_t size, const eeprom::Verify& result);
    std::vector<std::string> imageLines() const;
    std::vector<int> blockData() const;

    Globals& g_;
    BusJobs& jobs_;
    Dialogs& dialogs_;
    WindowRegistry& windows_;
    std::function<void(const QString&)> notify_;
    FileDialogState imageFileDialog_;
    QListWidget* imageList_ = nullptr;
    QLineEdit* baseAddress_ = nullptr;
    QLineEdit* fillValue_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QPushButton* writeButton_ = nullptr;
    QPushButton* viewEepromButton_ = nullptr;
    QPushButton* blockReadButton_ = nullptr;
    PageErasePanel* pageErasePanel_ = nullptr;
};

}  // namespace kestrel
