#pragma once

#include <QObject>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace kestrel {

// Ends the windows on SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl-C in
// the terminal) the way Quit does: `quit` runs in the event loop, so the
// transaction in progress completes and the board and trace are saved. A
// second signal ends the program at once, as the signal's default action.
// A signal the program was started to ignore (nohup) stays ignored. The
// signal handler only writes the signal's number into a pipe that the event
// loop watches. One at a time; the handlers are restored on destruction.
class SignalQuit final : public QObject {
  public:
    explicit SignalQuit(std::function<void()> quit);
    ~SignalQuit() override;
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

  private:
    void received();

    std::function<void()> quit_;
    int pipe_[2] = {-1, -1};
    std::vector<int> handled_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kestrel
