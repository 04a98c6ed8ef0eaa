#include "simulator/smbus_slave.h"

namespace kestrel::sim {

void SmbusSlave::onStart() {
    phase_ = Phase::Receive;
    bits_ = 0;
    shift_ = 0;
    addressPending_ = true;
    pullSda(false);
}

void SmbusSlave::onStop() {
    const bool wasAddressed = addressedSinceStart_;
    phase_ = Phase::Idle;
    addressedSinceStart_ = false;
    pullSda(false);
    if (wasAddressed) onStopCondition();
}

void SmbusSlave::onSclRise(bool sda) {
    if (phase_ == Phase::Receive && bits_ < 8) {
        shift_ = static_cast<std::uint8_t>((shift_ << 1) | (sda ? 1 : 0));
        ++bits_;
    } else if (phase_ == Phase::AckIn) {
        masterAcked_ = !sda;
    }
}

void SmbusSlave::beginSending() {
    sending_ = nextByteToSend();
    bits_ = 7;
    pullSda((sending_ & 0x80) == 0);
    phase_ = Phase::Transmit;
}

void SmbusSlave::onSclFall() {
    switch (phase_) {
        case Phase::Receive:
            if (bits_ < 8) return;
            if (addressPending_) {
                addressPending_ = false;
                if (!respondsTo(static_cast<std::uint8_t>(shift_ & 0xFE))) {
                    phase_ = Phase::Ignore;
                    return;
                }
                const bool repeated = addressedSinceStart_;
                if (!onAddressed(shift_, repeated)) {
                    phase_ = Phase::Ignore;
                    return;
                }
                reading_ = (shift_ & 1) != 0;
                addressedSinceStart_ = true;
                pullSda(true);
            } else {
                pullSda(onByteWritten(shift_));
            }
            phase_ = Phase::AckOut;
            return;
        case Phase::AckOut:
            pullSda(false);
            if (reading_) {
                beginSending();
            } else {
                phase_ = Phase::Receive;
                bits_ = 0;
                shift_ = 0;
            }
            return;
        case Phase::Transmit:
            if (--bits_ >= 0) {
                pullSda(((sending_ >> bits_) & 1) == 0);
            } else {
                pullSda(false);
                phase_ = Phase::AckIn;
            }
            return;
        case Phase::AckIn:
            if (masterAcked_) {
                beginSending();
            } else {
                phase_ = Phase::Ignore;
            }
            return;
        case Phase::Idle:
        case Phase::Ignore:
            return;
    }
}

}  // namespace kestrel::sim
