#include "widgets/job_progress.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

namespace kestrel {

JobProgress::JobProgress(BusJobs& jobs, const QString& name, QWidget* parent)
    : QWidget(parent), jobs_(jobs) {
    setObjectName(name + QStringLiteral("Job"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(name + QStringLiteral("Progress"));
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(name + QStringLiteral("Stop"));
    row->addWidget(bar_, 1);
    row->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (job_ != 0) jobs_.stop(job_);
    });
    setVisible(false);
}

void JobProgress::follow(BusJobs::JobId id) {
    job_ = id;
    bar_->setRange(0, 0);  // busy until the first report
    setVisible(id != 0);
}

BusJobs::Progress JobProgress::reporter() {
    QPointer<JobProgress> self(this);
    return [self](std::uint64_t done, std::uint64_t total) {
        if (!self || self->job_ == 0) return;
        // Large counts in per-mille steps: a bar holds an int.
        const bool scaled = total > 100000;
        self->bar_->setRange(0, static_cast<int>(scaled ? 1000 : total));
        self->bar_->setValue(static_cast<int>(scaled ? done * 1000 / total : done));
    };
}

void JobProgress::finish() {
    job_ = 0;
    setVisible(false);
}

}  // namespace kestrel
