#pragma once

#include <QMainWindow>
#include <functional>

#include "device/device.h"
#include "device/device_display.h"
#include "main_window/message_log.h"
#include "widgets/dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QAction;
class QMenu;

namespace kestrel {

class BitLabelRow;
class PortPanel;
class RamPanel;
class WindowRegistry;

// The main window "KESTREL": port and slave address choice, RAM byte access
// and read-out, the EEPROM block image with its file, and the menus that open
// every other window. It also shows the result of every bus transaction,
// whichever window made it.
class MainWindow final : public QMainWindow, public DeviceDisplay, public TransactionObserver {
    Q_OBJECT
  public:
    MainWindow(Globals& globals, Device& device, Dialogs& dialogs, WindowRegistry& windows);

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

    FileDialogState& fileDialog() { return CommonDialog1; }

    // DeviceDisplay
    void showRamBits(std::uint8_t value) override;
    void showEEBits(std::uint8_t value) override;
    void setPecCaption(const std::string& text) override;
    void setEEByteData(const std::string& text) override;
    void setPecEECaption(const std::string& text) override;

    // TransactionObserver: says in the status bar what went wrong on the bus,
    // and takes the note away again once a transaction goes through cleanly.
    void transactionEnded(const TransactionRecord& record) override;

    // Operations, named after control and event.
    void exit_Click();
    void EEBaseAddress_Change();
    void EEData_Click();
    void ReadEECMD_Click();
    void WriteEECMD_Click();
    void PageErase_Click();
    void WriteZeros_Click();
    void VerifyEECMD_Click();
    // Tools menu: the whole EEPROM to a file, and from a file back.
    void BackupEEPROM_Click();
    void RestoreEEPROM_Click();
    void EEByteReadCMD_Click();
    void EEByteWriteCMD_Click();
    void ReadAllEE_Click();
    void EEBlockRead_Click();
    void WriteFileCMD_Click();
    void ReadFileCMD_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* buildEepromDataSection();
    QWidget* buildEepromByteSection();
    void buildMenus();
    void connectHandlers();
    // The chosen page of the erase list, or nothing (with a note to the user).
    bool chosenPage(unsigned& page);
    // False, with a note, when the chip would take an address of the run as
    // a register.
    bool eepromRange(unsigned first, unsigned count);
    // The EEPROM address of the single-byte controls, or nothing (with a note).
    bool byteAddress(int& high, int& low);
    std::vector<std::string> eeDataItems() const;
    std::vector<int> blockData() const;

    Globals& g_;
    Device& device_;
    Dialogs& dialogs_;
    WindowRegistry& windows_;
    std::function<void()> quit_;
    FileDialogState CommonDialog1;
    bool quitting_ = false;
    QString diagnosticShown_;
    MessageLog log_;
    QLabel* statusMessage_ = nullptr;
    QLabel* connection_ = nullptr;
    QProgressBar* progress_ = nullptr;
    FileDialogState backupDialog_;

    PortPanel* portPanel_ = nullptr;
    RamPanel* ramPanel_ = nullptr;
    QPushButton* exit = nullptr;

    QLineEdit* EEBaseAddress = nullptr;
    QListWidget* EEData = nullptr;
    QLineEdit* Text5 = nullptr;
    QPushButton* ReadEECMD = nullptr;
    QPushButton* WriteEECMD = nullptr;
    QPushButton* VerifyEECMD = nullptr;
    QComboBox* PageErasePointer = nullptr;
    QPushButton* PageErase = nullptr;
    QPushButton* WriteZeros = nullptr;
    QPushButton* ReadAllEE = nullptr;
    QPushButton* EEBlockRead = nullptr;
    QLineEdit* EEAddressPointer = nullptr;
    QPushButton* EEByteReadCMD = nullptr;
    QPushButton* EEByteWriteCMD = nullptr;
    QLineEdit* EEByteData = nullptr;
    BitLabelRow* Read_DataEE = nullptr;
    QLabel* PEC_EE = nullptr;
    QAction* WriteFileCMD = nullptr;
    QAction* ReadFileCMD = nullptr;
    QAction* ExitCMD = nullptr;
};

}  // namespace kestrel
