#include "connection/executor_switch.h"

namespace kestrel {

ExecutorSwitch::ExecutorSwitch(TransferExecutor& first) : current_(&first) {
    current_.load()->addObserver(this);
}

ExecutorSwitch::~ExecutorSwitch() {
    current_.load()->removeObserver(this);
}

void ExecutorSwitch::use(TransferExecutor& next) {
    if (&next == current_) return;
    current_.load()->setLineCapture(false);
    current_.load()->removeObserver(this);
    current_ = &next;
    current_.load()->addObserver(this);
    current_.load()->setLineCapture(lineCapture_);
    if (shutDown_) current_.load()->shutDown();
}

void ExecutorSwitch::shutDown() noexcept {
    shutDown_ = true;
    current_.load()->shutDown();
}

}  // namespace kestrel
