#include "jobs/bus_jobs.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>

namespace kestrel {

namespace {

// The last progress a job reported, handed to the window thread at most once
// per turn of its event loop however often the job reports.
struct ProgressRelay {
    std::atomic<std::uint64_t> done{0}, total{0};
    std::atomic<bool> pending{false};
};

}  // namespace

BusJobs::BusJobs(Connection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {
    connection_.executor().addObserver(this);
}

BusJobs::~BusJobs() {
    connection_.owner().stopAll();
    connection_.owner().waitIdle();
    connection_.executor().removeObserver(this);
}

BusJobs::JobId BusJobs::run(QObject* context, std::function<void(JobControl&)> work) {
    return submit(context,
                  [work = std::move(work)](JobControl& c) {
                      work(c);
                      return Finisher();
                  },
                  {});
}

BusJobs::JobId BusJobs::submit(QObject* context, std::function<Finisher(JobControl&)> work,
                               Progress progress) {
    // The id is known only once the job is queued; it is read on this
    // thread only, after submit() has returned.
    auto id = std::make_shared<std::atomic<JobId>>(0);
    BusOwner::Progress relay;
    if (progress) {
        auto last = std::make_shared<ProgressRelay>();
        relay = [this, last, progress, id](std::uint64_t done, std::uint64_t total) {
            last->done = done;
            last->total = total;
            if (last->pending.exchange(true)) return;
            QMetaObject::invokeMethod(
                this,
                [this, last, progress, id] {
                    last->pending = false;
                    if (alive(*id)) progress(last->done, last->total);
                },
                Qt::QueuedConnection);
        };
    }
    const JobId queued = connection_.owner().submit(
        [this, id, work = std::move(work)](JobControl& c) mutable {
            Finisher finish = work(c);
            QMetaObject::invokeMethod(
                this, [this, id, finish = std::move(finish)] { finished(*id, finish); },
                Qt::QueuedConnection);
        },
        std::move(relay));
    if (queued == 0) return 0;
    *id = queued;
    targets_.insert(queued, {QPointer<QObject>(context), context != nullptr});
    if (outstanding_++ == 0) emit idleChanged(false);
    return queued;
}

void BusJobs::close(std::function<void(JobControl&)> last, std::function<void()> then) {
    if (connection_.owner().closed()) return;
    if (outstanding_++ == 0) emit idleChanged(false);
    connection_.owner().close(
        [this, last = std::move(last), then = std::move(then)](JobControl& c) {
            last(c);
            // Under no window: it always runs.
            QMetaObject::invokeMethod(
                this,
                [this, then] {
                    then();
                    if (--outstanding_ == 0) emit idleChanged(true);
                },
                Qt::QueuedConnection);
        });
}

void BusJobs::finished(JobId id, const Finisher& finish) {
    const Target target = targets_.take(id);
    if (finish && target.alive()) finish();
    if (--outstanding_ == 0) emit idleChanged(true);
}

void BusJobs::post(JobId job, std::function<void()> f) {
    QMetaObject::invokeMethod(
        this,
        [this, job, f = std::move(f)] {
            if (alive(job)) f();
        },
        Qt::QueuedConnection);
}

void BusJobs::stop(JobId id) {
    connection_.owner().stop(id);
}

void BusJobs::stopAll() {
    connection_.owner().stopAll();
}

void BusJobs::addObserver(TransactionObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void BusJobs::removeObserver(TransactionObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void BusJobs::transactionEnded(const TransactionRecord& record) {
    // On the owner's thread: the record travels by copy.
    QMetaObject::invokeMethod(
        this,
        [this, record] {
            // An observer may remove itself while it is told.
            for (TransactionObserver* o : std::vector<TransactionObserver*>(observers_))
                o->transactionEnded(record);
        },
        Qt::QueuedConnection);
}

}  // namespace kestrel
