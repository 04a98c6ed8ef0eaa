#pragma once

#include <QWidget>
#include <cstdint>

#include "jobs/bus_jobs.h"

class QProgressBar;
class QPushButton;

namespace kestrel {

// A long job's progress bar with its Stop button, shown while the job runs.
// Stop takes effect at the job's next transaction boundary.
class JobProgress final : public QWidget {
    Q_OBJECT
  public:
    // `name` prefixes the object names ("backup" gives "backupProgress" and
    // "backupStop").
    JobProgress(BusJobs& jobs, const QString& name, QWidget* parent);

    // Runs a job as BusJobs::run does, with this bar following it until its
    // result is in.
    template <typename Work, typename Done>
    BusJobs::JobId run(QObject* context, Work work, Done done) {
        const BusJobs::JobId id = jobs_.run(
            context, std::move(work),
            [this, done = std::move(done)](auto& result) mutable {
                finish();
                done(result);
            },
            reporter());
        follow(id);
        return id;
    }
    // Follows job `id` from now on (0: nothing runs).
    void follow(BusJobs::JobId id);
    // What a job reports: `done` of `total`.
    BusJobs::Progress reporter();
    // The job ended: the bar goes.
    void finish();
    bool running() const { return job_ != 0; }
    QProgressBar& bar() { return *bar_; }

  private:
    BusJobs& jobs_;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
    BusJobs::JobId job_ = 0;
};

}  // namespace kestrel
