#include "connection/executor_switch.h"

namespace kestrel {

ExecutorSwitch::ExecutorSwitch(TransferExecutor& first) : current_(&first) {
    current_->addObserver(this);
}

ExecutorSwitch::~ExecutorSwitch() {
    current_->removeObserver(this);
}

void ExecutorSwitch::use(TransferExecutor& next) {
    if (&next == current_) return;
    current_->setLineCapture(false);
    current_->removeObserver(this);
    current_ = &next;
    current_->addObserver(this);
    current_->setLineCapture(lineCapture_);
    if (shutDown_) current_->shutDown();
}

void ExecutorSwitch::shutDown() noexcept {
    shutDown_ = true;
    current_->shutDown();
}

}  // namespace kestrel
