#include "connection/bus_owner.h"

#include <algorithm>

#include "connection/connection.h"

namespace kestrel {

struct JobControl::Job {
    BusOwner::JobId id = 0;
    BusOwner::Work work;
    BusOwner::Progress progress;
    std::atomic<bool> stop{false};
    std::uint64_t expected = 0;  // transactions, when the job counts them
    std::uint64_t ran = 0;
};

namespace {
// The longest a job's sleep goes without looking for a stop.
constexpr std::uint32_t kSleepSliceMs = 5;
}  // namespace

Device& JobControl::device() {
    return connection_.device();
}

Connection& JobControl::connection() {
    return connection_;
}

bool JobControl::stopRequested() const {
    return job_.stop.load();
}

bool JobControl::sleep(std::uint32_t ms) {
    const WaitHooks& hooks = connection_.waitHooks();
    const std::uint32_t start = hooks.tickCount();
    for (;;) {
        if (stopRequested()) return false;
        const std::uint32_t elapsed = hooks.tickCount() - start;
        if (elapsed >= ms) return true;
        hooks.sleep(std::min(ms - elapsed, kSleepSliceMs));
    }
}

void JobControl::expectTransactions(std::uint64_t total) {
    job_.expected = total;
    job_.ran = 0;
    progress(0, total);
}

std::uint64_t JobControl::id() const {
    return job_.id;
}

void JobControl::progress(std::uint64_t done, std::uint64_t total) {
    if (job_.progress) job_.progress(done, total);
}

BusOwner::BusOwner(Connection& connection) : connection_(connection) {
    thread_ = std::thread([this] { loop(); });
}

BusOwner::~BusOwner() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        exiting_ = true;
        if (current_) current_->stop = true;
        for (auto& job : queue_) job->stop = true;
        currentStop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

BusOwner::JobId BusOwner::submit(Work work, Progress progress) {
    auto job = std::make_shared<JobControl::Job>();
    job->work = std::move(work);
    job->progress = std::move(progress);
    {
        std::lock_guard lock(mutex_);
        if (closed_) return 0;
        job->id = nextId_++;
        queue_.push_back(job);
    }
    wake_.notify_all();
    return job->id;
}

void BusOwner::stop(JobId id) {
    std::lock_guard lock(mutex_);
    if (current_ && current_->id == id) {
        current_->stop = true;
        currentStop_ = true;
    }
    for (auto& job : queue_)
        if (job->id == id) job->stop = true;
}

void BusOwner::stopAll() {
    std::lock_guard lock(mutex_);
    if (current_) current_->stop = true;
    currentStop_ = true;
    for (auto& job : queue_) job->stop = true;
}

void BusOwner::close(Work last) {
    auto job = std::make_shared<JobControl::Job>();
    job->work = std::move(last);
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        if (current_) current_->stop = true;
        currentStop_ = true;
        for (auto& queued : queue_) queued->stop = true;
        closed_ = true;
        job->id = nextId_++;
        queue_.push_back(job);
    }
    wake_.notify_all();
}

bool BusOwner::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool BusOwner::idle() const {
    std::lock_guard lock(mutex_);
    return !current_ && queue_.empty();
}

void BusOwner::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !current_ && queue_.empty(); });
}

bool BusOwner::currentStopRequested() const {
    return currentStop_.load();
}

void BusOwner::transactionsRan(std::size_t n) {
    // On the owner's thread, where current_ changes.
    JobControl::Job* job = current_.get();
    if (job == nullptr || job->expected == 0) return;
    job->ran = std::min(job->expected, job->ran + n);
    if (job->progress) job->progress(job->ran, job->expected);
}

void BusOwner::loop() {
    for (;;) {
        std::shared_ptr<JobControl::Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !queue_.empty() || exiting_; });
            if (queue_.empty()) return;
            job = queue_.front();
            queue_.pop_front();
            current_ = job;
            currentStop_ = job->stop.load();
        }
        if (job->work) {
            JobControl control(connection_, *job);
            job->work(control);
        }
        {
            std::lock_guard lock(mutex_);
            current_.reset();
            currentStop_ = false;
        }
        idle_.notify_all();
    }
}

}  // namespace kestrel
