#include "app/qt_wait_hooks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace kestrel {

WaitHooks qtWaitHooks() {
    WaitHooks hooks = sleepingWaitHooks();
    hooks.waitForInput = [](std::uint32_t count, const std::int32_t*, std::int32_t timeoutMs) {
        bool timedOut = false;
        QTimer timer;
        timer.setSingleShot(true);
        // A coarse timer may fire up to 5 % early; the EEPROM hold must not.
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
        if (timeoutMs >= 0) timer.start(timeoutMs);
        // Blocks until an event (input, paint, our timer) has been handled.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return timedOut ? kWaitTimeout : count;
    };
    hooks.processEvents = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    return hooks;
}

}  // namespace kestrel
