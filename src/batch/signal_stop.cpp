#include "batch/signal_stop.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>

namespace kestrel::batch {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

SignalStop::SignalStop() {
    sigemptyset(&signals_);
    for (const int number : kSignals) {
        // A signal the program was started to ignore (nohup) stays ignored.
        struct sigaction now = {};
        if (::sigaction(number, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
        sigaddset(&signals_, number);
    }
    ::pthread_sigmask(SIG_BLOCK, &signals_, &before_);
}

SignalStop::~SignalStop() {
    // One that came after the work had ended: the work is done, and the
    // signal is not left to kill the program on the way out.
    timespec zero{};
    while (::sigtimedwait(&signals_, nullptr, &zero) > 0) {
    }
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

std::string SignalStop::name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

void SignalStop::take(int signal, BusOwner* owner) {
    if (signal_ == 0) {
        signal_ = signal;
        if (owner != nullptr) owner->stopAll();
        return;
    }
    // The second: its own action, at once.
    std::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    std::raise(signal);
}

bool SignalStop::requested() {
    timespec zero{};
    int got = 0;
    while ((got = ::sigtimedwait(&signals_, nullptr, &zero)) > 0) take(got, nullptr);
    return signal_ != 0;
}

void SignalStop::run(BusOwner& owner, std::function<void(JobControl&)> work,
                     BusOwner::Progress progress) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    const BusOwner::JobId id = owner.submit(
        [done, work = std::move(work)](JobControl& c) {
            work(c);
            *done = true;
        },
        std::move(progress));
    if (id == 0) return;
    // A signal that came before the work started stops it before its first
    // transaction.
    if (signal_ != 0) owner.stop(id);
    while (!*done) {
        timespec wait{0, 20 * 1000 * 1000};
        const int got = ::sigtimedwait(&signals_, nullptr, &wait);
        if (got > 0) take(got, &owner);
    }
    owner.waitIdle();
}

TerminalProgress::TerminalProgress(std::ostream& err, std::string label)
    : err_(err), label_(std::move(label)), active_(&err == &std::cerr && ::isatty(STDERR_FILENO)) {}

TerminalProgress::~TerminalProgress() {
    if (shown_) err_ << "\r\033[K" << std::flush;
}

BusOwner::Progress TerminalProgress::reporter() {
    if (!active_) return {};
    auto last = std::make_shared<std::chrono::steady_clock::time_point>();
    return [this, last](std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - *last < std::chrono::milliseconds(100)) return;
        *last = now;
        shown_ = true;
        err_ << '\r' << label_ << ": " << done << " of " << total << "\033[K" << std::flush;
    };
}

}  // namespace kestrel::batch
