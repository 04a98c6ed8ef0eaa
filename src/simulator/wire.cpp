#include "simulator/wire.h"

namespace kestrel::sim {

void Wire::drive(bool sclReleased, bool sdaReleased) {
    if (!sclReleased && scl_) {
        scl_ = false;
        for (WireListener* l : listeners_) l->onSclFall();
    }
    masterSda_ = sdaReleased;
    settleSda();
    if (sclReleased && !scl_) {
        scl_ = true;
        for (WireListener* l : listeners_) l->onSclRise(sda_);
    }
}

void Wire::setSdaStuckLow(bool stuck) {
    stuckLow_ = stuck;
    settleSda();
}

void Wire::settleSda() {
    bool level = masterSda_ && !stuckLow_;
    for (const WireListener* l : listeners_) level = level && !l->pullsSda();
    if (level == sda_) return;
    sda_ = level;
    if (!scl_) return;
    // A change of SDA while SCL is high is a bus condition.
    for (WireListener* l : listeners_) {
        if (level)
            l->onStop();
        else
            l->onStart();
    }
}

}  // namespace kestrel::sim
