#pragma once

#include <QDialog>

#include "about/system_info.h"
#include "widgets/dialogs.h"
#include "device/globals.h"

class QLineEdit;

namespace kestrel {

// "About KESTREL Eval": title, version, wiring, contacts and legal notice,
// the system information launcher and the SCL timing value (kept in the
// shared state; no bus operation reads it).
class AboutWindow final : public QDialog {
    Q_OBJECT
  public:
    AboutWindow(Globals& globals, Dialogs& dialogs, SystemInfo& systemInfo);

    void Form_Load();
    void SCLtimingadj_Change();
    void cmdOK_Click();
    void StartSysInfo();

  private:
    Globals& g_;
    Dialogs& dialogs_;
    SystemInfo& systemInfo_;
    QLineEdit* SCLtimingadj_ = nullptr;
};

}  // namespace kestrel
