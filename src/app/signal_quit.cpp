#include "app/signal_quit.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace kestrel {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Only what is safe in a signal handler: the pipe's end and one flag.
int pipeEnd = -1;
volatile std::sig_atomic_t signalled = 0;

void onSignal(int number) {
    if (signalled != 0) {
        // The second signal: its default action, at once.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    signalled = number;
    const char byte = static_cast<char>(number);
    const int saved = errno;
    (void)!::write(pipeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

SignalQuit::SignalQuit(std::function<void()> quit) : quit_(std::move(quit)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // signals keep their default
    pipeEnd = pipe_[1];
    signalled = 0;
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { received(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) {
        // A signal the program was started to ignore (nohup) stays ignored.
        struct sigaction before = {};
        if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(number, &action, nullptr);
        handled_.push_back(number);
    }
}

SignalQuit::~SignalQuit() {
    if (notifier_ == nullptr) return;
    for (const int number : handled_) std::signal(number, SIG_DFL);
    pipeEnd = -1;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void SignalQuit::received() {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    if (quit_) quit_();
}

}  // namespace kestrel
