#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kestrel {

class Connection;
class Device;

// What a job sees of its own run, on the bus owner's thread.
class JobControl {
  public:
    Device& device();
    Connection& connection();
    // The job was asked to stop (Stop, Quit, a signal). The device layer
    // already refuses every further transaction then; a job checks this
    // between steps that send nothing (a script's wait, a loop's turn).
    bool stopRequested() const;
    // Waits `ms` milliseconds; false when a stop came first (the wait ends
    // within a few milliseconds of it).
    bool sleep(std::uint32_t ms);
    // How far the job is: `done` of `total` (bytes, pages, steps, boards).
    void progress(std::uint64_t done, std::uint64_t total);
    // Reports progress by itself from now on: `total` transactions are
    // expected, and each one run counts (a held run counts each of its own).
    void expectTransactions(std::uint64_t total);
    // The job's number, as submit() gave it.
    std::uint64_t id() const;

  private:
    friend class BusOwner;
    struct Job;
    JobControl(Connection& connection, Job& job) : connection_(connection), job_(job) {}
    Connection& connection_;
    Job& job_;
};

// The one owner of a connection's bus: a thread of its own that runs every
// piece of bus work as a job, one at a time, in the order given. Nothing
// else sends on the bus while the owner runs, and whoever submits a job
// never waits on the bus: its result comes back through the job's own code
// (a window posts it to its thread). A stop takes effect at the next
// transaction boundary; an EEPROM cycle's hold always completes.
class BusOwner {
  public:
    using JobId = std::uint64_t;
    using Work = std::function<void(JobControl&)>;
    // Called on the owner's thread as the job reports progress.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    explicit BusOwner(Connection& connection);
    // Stops every job, runs what was queued (each refused at its first
    // transaction) and ends the thread.
    ~BusOwner();
    BusOwner(const BusOwner&) = delete;
    BusOwner& operator=(const BusOwner&) = delete;

    // Queues `work`; 0 when the owner is closed (then it never runs).
    JobId submit(Work work, Progress progress = {});
    // Asks job `id` to stop: at its next transaction boundary when it runs,
    // before its first transaction when it waits in the queue.
    void stop(JobId id);
    // Asks every job, running or queued, to stop.
    void stopAll();
    // The last job: stops every other one, runs `last` once they have ended,
    // and refuses every later submission.
    void close(Work last);
    bool closed() const;

    // No job runs and none waits.
    bool idle() const;
    // Blocks until idle(). Never from the owner's own thread, nor from a
    // window's: for batch mode and the program's very end.
    void waitIdle();
    bool onOwnerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // For the device layer's gate: the job running now was asked to stop;
    // it ran `n` more transactions.
    bool currentStopRequested() const;
    void transactionsRan(std::size_t n);

  private:
    friend class JobControl;
    void loop();

    Connection& connection_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::shared_ptr<JobControl::Job>> queue_;
    std::shared_ptr<JobControl::Job> current_;
    std::atomic<bool> currentStop_{false};
    JobId nextId_ = 1;
    bool closed_ = false;
    bool exiting_ = false;
    std::thread thread_;
};

}  // namespace kestrel
