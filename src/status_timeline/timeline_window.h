#pragma once

#include <QWidget>
#include <cstdint>

#include "device/device.h"
#include "device/status_history.h"
#include "jobs/bus_jobs.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;

namespace kestrel {

class Dialogs;
struct FileDialogState;
class TimelineView;

// "Status Timeline": when each status bit changed, from every status read on
// the bus (the status monitor's polling, the read-out, a register read), or
// from its own polling. Zoom, scroll, pause, clear, and export to CSV or PNG.
class TimelineWindow final : public QWidget {
    Q_OBJECT
  public:
    TimelineWindow(StatusHistory& history, BusJobs& jobs, Dialogs& dialogs);

    TimelineView& view() { return *view_; }
    // Brings the view up to date with the history (the refresh timer's work).
    void refresh();
    void zoom(double factor);
    // One pass of the window's own polling: the six registers, in order.
    void pollOnce();
    bool exportCsv(const QString& path, QString* error) const;

  private:
    void schedulePoll();
    double pollSeconds() const;

    StatusHistory& history_;
    BusJobs& jobs_;
    Dialogs& dialogs_;
    TimelineView* view_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QPushButton* pause_ = nullptr;
    QCheckBox* poll_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QTimer* refresh_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    std::uint64_t seen_ = ~0ull;
    bool follow_ = true;
};

}  // namespace kestrel
