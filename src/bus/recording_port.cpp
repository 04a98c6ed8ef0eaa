#include "bus/recording_port.h"

namespace kestrel {

void RecordingPort::Outport(std::uint16_t port, std::uint8_t value) {
    inner_.Outport(port, value);
    keep(PortEvent::Kind::Write, value);
    if (trace_) {
        bool scl = true, sda = true;
        if (sees_ && inner_.wireLevels(&scl, &sda))
            trace_->wire(scl, sda);
        else
            trace_->write(value);
    }
}

std::uint16_t RecordingPort::Inport(std::uint16_t port) {
    const std::uint16_t status = inner_.Inport(port);
    keep(PortEvent::Kind::Read, status);
    if (trace_ && !sees_) trace_->sample((status & kStatusSdaBit) != 0);
    return status;
}

void RecordingPort::EnablePorts(std::int16_t first, std::int16_t last) {
    inner_.EnablePorts(first, last);
    keep(PortEvent::Kind::Enable, static_cast<std::uint16_t>(first));
}

void RecordingPort::DisablePorts(std::int16_t first, std::int16_t last) {
    inner_.DisablePorts(first, last);
    keep(PortEvent::Kind::Disable, static_cast<std::uint16_t>(first));
    // A transaction has ended: put its lines in the file now.
    if (trace_) trace_->flush();
}

std::vector<int> RecordingPort::writes() const {
    std::vector<int> out;
    for (const PortEvent& e : events_)
        if (e.kind == PortEvent::Kind::Write) out.push_back(e.value);
    return out;
}

}  // namespace kestrel
