#pragma once

#include <QGroupBox>
#include <functional>

#include "device/device.h"
#include "device/eeprom.h"
#include "jobs/bus_jobs.h"
#include "widgets/job_progress.h"

class QComboBox;

namespace kestrel {

// "EEPROM Page Erase": a page chosen from the list, erased or filled with
// zeros. The main window and the EEPROM window each hold one; each says its
// failures through its own `notify`.
class PageErasePanel final : public QGroupBox {
    Q_OBJECT
  public:
    enum class Layout { Grid, Row };
    PageErasePanel(BusJobs& jobs, std::function<void(const QString&)> notify, QWidget* parent,
                   const QString& title = QStringLiteral("EEPROM Page Erase"),
                   const char* listName = "PageErasePointer", Layout layout = Layout::Grid);

    // Start-up: the first address of every EEPROM page, none chosen yet.
    void fillPages();
    // What to say when a button is clicked with no page chosen.
    void setChoosePageNote(const QString& text) { choosePageNote_ = text; }
    // Where the zero fill (32 holds of 30 ms) shows its progress and can be stopped.
    void setProgress(JobProgress* progress) { progress_ = progress; }

    void PageErase_Click();
    void WriteZeros_Click();

  private:
    // The chosen page, or false (with a note to the user) when none is.
    bool chosenPage(unsigned& page);
    void zerosDone(unsigned page, const eeprom::Run& r);

    BusJobs& jobs_;
    std::function<void(const QString&)> notify_;
    QComboBox* pages_ = nullptr;
    JobProgress* progress_ = nullptr;
    QString choosePageNote_ = QStringLiteral("Choose a page in the page list first.");
};

}  // namespace kestrel
