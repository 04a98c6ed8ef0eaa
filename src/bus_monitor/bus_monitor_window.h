#pragma once

#include <QWidget>
#include <functional>
#include <ostream>
#include <vector>

#include "bus/transfer.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;

namespace kestrel {

class BusMonitorModel;
class WaveformView;

// "Bus Monitor": every transaction as one line (time, kind, slave, register
// or EEPROM address, bytes, PEC check), missing acknowledges and PEC
// mismatches highlighted, the SCL/SDA waveform of the selected line, export
// as CSV or VCD, clear and pause. While it is loaded the bus keeps every line
// change for it. File > Open Capture shows a logic analyser's capture (VCD,
// sigrok session, Saleae CSV) in the same list instead of the live traffic,
// decoded from the two channels chosen as SCL and SDA (first guessed from
// their names); Resume goes back to the live traffic. The list keeps the most
// recent transactions (capture::limits::kRecordsKept) and says how many
// earlier ones it dropped.
class BusMonitorWindow final : public QWidget {
    Q_OBJECT
  public:
    BusMonitorWindow(BusJobs& bus, Dialogs& dialogs);
    ~BusMonitorWindow() override;

    BusMonitorModel& model() { return *model_; }
    void exportCsv();
    void exportVcd();
    void clear();
    void togglePause();
    // Asks for a capture file and shows it.
    void openCapture();
    // Shows the capture at `path` with the channels its names suggest; false
    // (with a warning, and the list as it was) when it cannot be read.
    bool loadCapture(const QString& path);
    // Decodes the open capture again with the channels chosen.
    bool decodeCapture();
    QComboBox* sclChoice() { return sclChoice_; }
    QComboBox* sdaChoice() { return sdaChoice_; }

  private:
    using Writer = std::function<void(std::ostream&, const std::vector<const TransactionRecord*>&)>;
    void showSelected();
    void exportTo(FileDialogState& file, const Writer& write);
    void leaveCapture();

    BusJobs& bus_;
    Dialogs& dialogs_;
    BusMonitorModel* model_;
    QTableView* table_;
    WaveformView* waveform_;
    QPushButton* pause_;
    QLabel* dropped_;
    QWidget* channels_;
    QComboBox* sclChoice_;
    QComboBox* sdaChoice_;
    QString capturePath_;  // the capture shown, empty for the live traffic
    FileDialogState csvFile_{QStringLiteral("CSV Files (*.csv)"), {}, QStringLiteral("bus.csv")};
    FileDialogState vcdFile_{QStringLiteral("VCD Files (*.vcd)"), {}, QStringLiteral("bus.vcd")};
    FileDialogState captureFile_{
        QStringLiteral(
            "Captures (*.vcd *.sr *.csv);;VCD Files (*.vcd);;sigrok Sessions (*.sr);;Saleae CSV "
            "Exports (*.csv);;All Files (*)"),
        {},
        {}};
};

}  // namespace kestrel
