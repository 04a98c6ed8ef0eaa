#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "bus/transaction_record.h"
#include "connection/connection.h"

namespace kestrel {

// The windows' side of the bus owner. A window hands its bus work over as a
// job and goes on; the job runs on the owner's thread, and its result, its
// progress and every transaction record come back to the window thread as
// queued notifications, in the order they happened. A window that is gone by
// then is simply not told. The window thread never waits on the bus.
class BusJobs final : public QObject, private TransactionObserver {
    Q_OBJECT
  public:
    using JobId = BusOwner::JobId;
    // On the window thread: `done` of `total`.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    explicit BusJobs(Connection& connection, QObject* parent = nullptr);
    ~BusJobs() override;

    // Runs `work(control)` on the owner's thread, then `done(result)` on this
    // thread unless `context` has been destroyed. 0 when the program is
    // ending: then neither runs.
    template <typename Work, typename Done>
    JobId run(QObject* context, Work work, Done done, Progress progress = {}) {
        return submit(
            context,
            [work = std::move(work), done = std::move(done)](JobControl& c) mutable {
                auto result = std::make_shared<decltype(work(c))>(work(c));
                return std::function<void()>(
                    [done = std::move(done), result]() mutable { done(*result); });
            },
            std::move(progress));
    }
    // Runs `work` with no result to hand back.
    JobId run(QObject* context, std::function<void(JobControl&)> work);
    // From a job (the owner's thread): runs `f` on the window thread, before
    // the job's result, unless the job's window has gone.
    void post(JobId job, std::function<void()> f);

    // The last job: every other one is stopped (each ends at its next
    // transaction boundary and its window hears so), then `last` runs on the
    // owner's thread and `then` on this one. Nothing is taken after it.
    void close(std::function<void(JobControl&)> last, std::function<void()> then);

    // Stops job `id` at its next transaction boundary (or before its first).
    void stop(JobId id);
    void stopAll();
    // No job is running or waiting, and every result has been handed back.
    bool idle() const { return outstanding_ == 0; }

    // Observers of every transaction record, told on the window thread.
    void addObserver(TransactionObserver* observer);
    void removeObserver(TransactionObserver* observer);

    Connection& connection() { return connection_; }
    // The connection drives the lines themselves (the parallel port), so
    // line-level views and exports can be offered.
    bool hasLineAccess() { return connection_.executor().hasLineAccess(); }
    Globals& globals() { return connection_.globals(); }

  signals:
    void idleChanged(bool idle);

  private:
    using Finisher = std::function<void()>;
    JobId submit(QObject* context, std::function<Finisher(JobControl&)> work, Progress progress);
    void finished(JobId id, const Finisher& finish);
    void transactionEnded(const TransactionRecord& record) override;

    Connection& connection_;
    // Whom each job's results go to: a window, or nobody in particular.
    struct Target {
        QPointer<QObject> context;
        bool bound = false;
        bool alive() const { return !bound || context; }
    };
    bool alive(JobId id) const { return targets_.contains(id) && targets_.value(id).alive(); }
    QHash<JobId, Target> targets_;
    std::vector<TransactionObserver*> observers_;
    int outstanding_ = 0;
};

}  // namespace kestrel
