#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "device/device.h"
#include "jobs/bus_jobs.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kestrel {

class BitLabelRow;

// The status monitor "KESTREL Status Registers": the live status registers
// 00h..02h above their latched copies 2Ah..2Ch, read by button or polled.
// A polling pass reads 00h, 01h, 02h, pauses, reads 2Ah, 2Bh, 2Ch and pauses
// again. The pauses run on timers, so Stop, Exit and every other window
// answer at once whatever the delay.
class StatusWindow final : public QWidget {
    Q_OBJECT
  public:
    // How the window pauses: runs `then` once the given seconds have passed,
    // handling events meanwhile. Tests record the pauses and go on at once.
    using Pause = std::function<void(double seconds, std::function<void()> then)>;
    // The longest pause taken, whatever `poll_delay` says: a typo such as
    // "150" must not freeze the program for minutes.
    static constexpr double kMaxPauseSeconds = 5.0;

    // An empty `pause` pauses on a timer.
    StatusWindow(BusJobs& jobs, Pause pause = {});

    void Form_Load();
    // Reads register group `group` (0..5: 00h, 01h, 02h, 2Ah, 2Bh, 2Ch); the
    // third of each row pauses afterwards.
    void readClick(int group, Origin origin = Origin::User);
    void poll_Click();
    void Timer1_Timer();
    void exit_Click();
    bool polling() const { return polling_; }
    // The pause after a group of three, in seconds, from `poll_delay`.
    double pauseSeconds() const;

  private:
    // Shows a register's read in its labels: its value, or XX when it failed.
    void show(int group, const ByteOutcome& v);
    // Polling: reads row 0 (00h..02h) or row 1 (2Ah..2Ch), then pauses.
    void readRow(int row);
    // Puts the pause really used into the box when it says otherwise.
    void correctPauseText();

    struct Group {
        BitLabelRow* bits;
        QLabel* hex;
    };

    BusJobs& jobs_;
    Pause pause_;
    std::array<Group, 6> groups_{};
    QPushButton* poll_ = nullptr;
    QLineEdit* poll_delay_ = nullptr;
    QTimer* Timer1_ = nullptr;
    bool polling_ = false;
    bool inPass_ = false;
};

}  // namespace kestrel
