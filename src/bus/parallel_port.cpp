#include "bus/parallel_port.h"

#include <ieee1284.h>
#include <unistd.h>

#include <vector>

namespace kestrel {

ParallelPort::ParallelPort(std::function<void(const std::string&)> notice)
    : notice_(std::move(notice)), list_(new ::parport_list{}) {
    if (ieee1284_find_ports(list_, 0) != E1284_OK) {
        discoveryFailed_ = true;
        delete list_;
        list_ = nullptr;
        return;
    }
    std::vector<ListedPort> listed;
    for (int i = 0; i < list_->portc; ++i)
        listed.push_back(
            {list_->portv[i]->name ? list_->portv[i]->name : "", list_->portv[i]->base_addr});
    const auto assigned = assignLptSlots(listed);
    for (std::size_t n = 0; n < slots_.size(); ++n) {
        slots_[n].info = assigned[n];
        if (assigned[n].listIndex >= 0) slots_[n].port = list_->portv[assigned[n].listIndex];
    }
}

ParallelPort::~ParallelPort() {
    for (Slot& slot : slots_) {
        if (slot.claimed) ieee1284_release(slot.port);
        if (slot.opened) ieee1284_close(slot.port);
    }
    if (list_ != nullptr) {
        ieee1284_free_ports(list_);
        delete list_;
    }
}

std::uint16_t ParallelPort::GetLPTPortAddress(int n) {
    if (discoveryFailed_ || n < 1 || n > 3) {
        lastState_ = discoveryFailed_ ? 1 : 0;
        return 0;
    }
    lastState_ = slots_[n - 1].info.state;
    return slots_[n - 1].info.address;
}

void ParallelPort::EnablePorts(std::int16_t, std::int16_t) {
    enabled_ = true;
}

void ParallelPort::DisablePorts(std::int16_t, std::int16_t) {
    enabled_ = false;
    for (Slot& slot : slots_) {
        if (slot.claimed) {
            ieee1284_release(slot.port);
            slot.claimed = false;
        }
    }
}

ParallelPort::Slot* ParallelPort::claimedSlotFor(std::uint16_t address) {
    if (!enabled_) return nullptr;
    for (Slot& slot : slots_) {
        const std::uint16_t base = slot.info.address;
        if (base == 0 || address < base || address > base + 2) continue;
        if (slot.claimed) return &slot;
        if (slot.failed) return nullptr;
        if (!slot.opened) {
            int caps = 0;
            const int rc = ieee1284_open(slot.port, F1284_EXCL, &caps);
            if (rc != E1284_OK || (caps & CAP1284_RAW) == 0) {
                slot.failed = true;
                if (rc == E1284_OK) ieee1284_close(slot.port);
                explainOpenFailure(slot, rc);
                return nullptr;
            }
            slot.opened = true;
        }
        if (ieee1284_claim(slot.port) != E1284_OK) {
            slot.failed = true;
            if (notice_)
                notice_(std::string("Cannot claim parallel port ") + slot.port->name +
                        ": another driver holds it (unload the lp module: sudo rmmod lp).");
            return nullptr;
        }
        slot.claimed = true;
        return &slot;
    }
    return nullptr;
}

void ParallelPort::explainOpenFailure(const Slot& slot, int error) {
    if (!notice_) return;
    const std::string name = slot.port->name ? slot.port->name : "parallel port";
    const std::string node = std::string("/dev/") + name;
    std::string text = "Cannot open " + name + ": ";
    if (::access(node.c_str(), F_OK) != 0)
        text += node + " does not exist. Load the ppdev module (sudo modprobe ppdev).";
    else if (::access(node.c_str(), R_OK | W_OK) != 0)
        text += "permission denied on " + node +
                ". Add yourself to group lp (sudo adduser $USER lp), log in again and restart.";
    else
        text +=
            "the port library reported error " + std::to_string(error) + " (no pin-level access).";
    notice_(text);
}

void ParallelPort::Outport(std::uint16_t port, std::uint8_t value) {
    if (Slot* slot = claimedSlotFor(port)) ieee1284_write_data(slot->port, value);
}

std::uint16_t ParallelPort::Inport(std::uint16_t port) {
    Slot* slot = claimedSlotFor(port);
    if (slot == nullptr) return 0;  // as if nobody pulls SDA low: reads FFh
    const int status = ieee1284_read_status(slot->port);
    return status < 0 ? 0 : static_cast<std::uint16_t>(status);
}

}  // namespace kestrel
