#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "device/device.h"
#include "main_window/message_log.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"
#include "widgets/job_progress.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;

namespace kestrel {

class EepromBackupActions;
class EepromBlockPanel;
class EepromBytePanel;
class PortPanel;
class RamPanel;
class WindowRegistry;

// The main window "KESTREL": the port panel on top, the RAM panel on the
// left, the EEPROM block and byte panels on the right, and the menus that
// open every other window. It also shows the result of every bus
// transaction, whichever window made it.
class MainWindow final : public QMainWindow, public TransactionObserver {
    Q_OBJECT
  public:
    MainWindow(Globals& globals, BusJobs& jobs, Dialogs& dialogs, WindowRegistry& windows);
    ~MainWindow() override;

    // Start-up: shared state, lists, port discovery and the PLOVER's start
    // position.
    void KESTREL_Form_Load();

    // Runs when the program must end (close box or either Exit).
    void setQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }
    // A message the user must see: it stays in the status bar until the
    // next one replaces it, and goes into the message log.
    void notify(const QString& text);
    // The message the status bar shows now ("" for none).
    QString message() const;
    // Every message since start-up.
    MessageLog& messageLog() { return log_; }
    // The connection the program talks through, always shown at the right of
    // the status bar ("Simulated board", "LPT1 378h", ...).
    void setConnection(const QString& text);

    // Adds a menu entry that shows a registered window; `menu` is the menu
    // bar caption ("&Config Regs"), created on first use.
    QAction* addWindowEntry(const QString& menu, const QString& objectName, const QString& caption,
                            const QString& window, bool modal);
    QMenu* menu(const QString& caption);
    // A menu bar entry that itself shows a window ("&Status Regs").
    QAction* addMenuBarEntry(const QString& objectName, const QString& caption,
                             const QString& window, bool modal);

    // The block image file dialog of the File menu.
    FileDialogState& fileDialog();

    // TransactionObserver: shows the transaction's bytes in the register and
    // EEPROM byte captions, whichever window ran it; says in the status bar
    // what went wrong on the bus, and takes the note away again once a
    // transaction goes through cleanly.
    void transactionEnded(const TransactionRecord& record) override;

    void exit_Click();
    // Tools menu: the whole EEPROM to a file, and from a file back.
    void BackupEEPROM_Click();
    void RestoreEEPROM_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildStatusBar();
    void buildMenus();

    Globals& g_;
    BusJobs& jobs_;
    WindowRegistry& windows_;
    std::function<void()> quit_;
    bool quitting_ = false;
    QString diagnosticShown_;
    MessageLog log_;
    QLabel* statusMessage_ = nullptr;
    QLabel* connection_ = nullptr;
    JobProgress* progress_ = nullptr;
    QLabel* busy_ = nullptr;
    QTimer* busyDelay_ = nullptr;
    std::unique_ptr<EepromBackupActions> backup_;

    PortPanel* portPanel_ = nullptr;
    RamPanel* ramPanel_ = nullptr;
    EepromBlockPanel* eepromBlockPanel_ = nullptr;
    EepromBytePanel* eepromBytePanel_ = nullptr;
    QAction* writeFileAction_ = nullptr;
};

}  // namespace kestrel
