#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "device/device.h"
#include "device/eeprom.h"
#include "jobs/bus_jobs.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace kestrel {

class PageErasePanel;

// "KESTREL EEPROM": the whole EEPROM as sixteen page lists, read byte by byte
// with a progress bar, and the page erase and zero fill of a chosen page.
class EepromWindow final : public QWidget {
    Q_OBJECT
  public:
    // `notify` keeps a message in the program's message log; the window
    // shows it in its own status line.
    EepromWindow(BusJobs& jobs, std::function<void(const QString&)> notify);

    void Form_Load();
    void Read_EEPROM_Page_Click();
    void PageErase_Click();
    void WriteZeros_Click();
    void exit_Click() { hide(); }

    // The message in the window's status line.
    QString message() const;

    QListWidget* pageList(int page) const { return EEData_.at(static_cast<std::size_t>(page)); }

  private:
    void say(const QString& text);

    void showPage(unsigned first, std::vector<eeprom::Step> page);
    void readDone(const eeprom::Run& read);

    BusJobs& jobs_;
    BusJobs::JobId reading_ = 0;
    QPushButton* stopRead_ = nullptr;
    std::function<void(const QString&)> notify_;
    std::array<QListWidget*, 16> EEData_{};
    QLineEdit* EEPage0_ = nullptr;
    QProgressBar* ReadEEPROMStatus_ = nullptr;
    PageErasePanel* erasePanel_ = nullptr;
    QLabel* statusLine_ = nullptr;
};

}  // namespace kestrel
