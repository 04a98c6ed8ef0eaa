#pragma once

#include <QWidget>
#include <ostream>
#include <vector>

#include "bus/transfer.h"
#include "widgets/dialogs.h"

class QPushButton;
class QTableView;

namespace kestrel {

class BusMonitorModel;
class WaveformView;

// "Bus Monitor": every transaction as one line (time, kind, slave, register
// or EEPROM address, bytes, PEC check), missing acknowledges and PEC
// mismatches highlighted, the SCL/SDA waveform of the selected line, export
// as CSV or VCD, clear and pause. While it is loaded the bus keeps every line
// change for it.
class BusMonitorWindow final : public QWidget {
    Q_OBJECT
  public:
    BusMonitorWindow(TransferExecutor& bus, Dialogs& dialogs);
    ~BusMonitorWindow() override;

    BusMonitorModel& model() { return *model_; }
    void exportCsv();
    void exportVcd();
    void clear();
    void togglePause();

  private:
    using Writer = void (*)(std::ostream&, const std::vector<const TransactionRecord*>&);
    void showSelected();
    void exportTo(FileDialogState& file, Writer write);

    TransferExecutor& bus_;
    Dialogs& dialogs_;
    BusMonitorModel* model_;
    QTableView* table_;
    WaveformView* waveform_;
    QPushButton* pause_;
    FileDialogState csvFile_{QStringLiteral("CSV Files (*.csv)"), {}, QStringLiteral("bus.csv")};
    FileDialogState vcdFile_{QStringLiteral("VCD Files (*.vcd)"), {}, QStringLiteral("bus.vcd")};
};

}  // namespace kestrel
