#include "bus/parallel_port.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kestrel {

namespace {

constexpr const char* kKernelPorts = "/proc/sys/dev/parport";

// "888\t1912\n": the port's base address (decimal) and its ECP base.
unsigned long baseAddress(const std::string& text) {
    unsigned long value = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (value > 0xFFFFFul) return 0;
        ++i;
    }
    return i == 0 ? 0 : value;
}

// What is wrong with a base-addr text that gave no usable address: "reads
// '0x378', not a decimal I/O address".
std::string baseAddressProblem(const std::string& text) {
    std::string shown;
    for (char c : text.substr(0, text.find('\n'))) shown += c >= ' ' && c <= '~' ? c : ' ';
    if (shown.size() > 24) shown = shown.substr(0, 24) + "...";
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    const bool number = digits > 0 && (digits == text.size() || text[digits] == '\t' ||
                                       text[digits] == ' ' || text[digits] == '\n');
    return "reads '" + shown + "', " +
           (number ? "outside the I/O addresses 1h-FFFEh" : "not a decimal I/O address");
}

// "input/output error": the C library's text for `error`, within a sentence.
std::string errorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Why a port cannot be opened (or claimed), and what the user can do.
std::string reason(int error, bool claiming) {
    if (claiming || error == EBUSY) return "another driver holds it; unload the printer driver lp";
    if (error == ENOENT) return "no such device node; load the ppdev module";
    if (error == EACCES || error == EPERM) return "permission denied; add yourself to group lp";
    if (error == ENODEV || error == ENXIO) return "no such device; load the parport_pc module";
    return errorText(error);
}

}  // namespace

ParallelPort::ParallelPort(std::function<void(const std::string&)> notice,
                           std::unique_ptr<KernelCalls> system)
    : notice_(std::move(notice)), system_(system ? std::move(system) : makeRealKernelCalls()) {
    // Only the ports the kernel itself lists; a port without a known I/O
    // address (a USB adapter) counts as an error, never as a guessed one.
    std::vector<ListedPort> listed;
    std::vector<std::string> texts;  // of each listed port's base-addr, "" when it has none
    for (const std::string& name : system_->listFolder(kKernelPorts)) {
        std::string text;
        const bool known =
            system_->readText(std::string(kKernelPorts) + "/" + name + "/base-addr", text);
        listed.push_back({name, known ? baseAddress(text) : 0});
        texts.push_back(known ? text : std::string());
    }
    const auto assigned = assignLptSlots(listed);
    for (std::size_t n = 0; n < slots_.size(); ++n) {
        slots_[n].info = assigned[n];
        if (assigned[n].listIndex < 0) continue;
        const auto index = static_cast<std::size_t>(assigned[n].listIndex);
        slots_[n].node = "/dev/" + listed[index].name;
        // A base address the kernel lists but that is no address: say what it holds.
        if (assigned[n].state != 0 && notice_ && !texts[index].empty())
            notice_(name(slots_[n]) + " (" + listed[index].name + ") is not used: " + kKernelPorts +
                    "/" + listed[index].name + "/base-addr " + baseAddressProblem(texts[index]) +
                    ".");
    }
}

ParallelPort::~ParallelPort() {
    for (Slot& slot : slots_) close(slot);
}

std::uint16_t ParallelPort::GetLPTPortAddress(int n) {
    if (n < 1 || n > 3) {
        lastState_ = 0;
        return 0;
    }
    lastState_ = slots_[static_cast<std::size_t>(n - 1)].info.state;
    return slots_[static_cast<std::size_t>(n - 1)].info.address;
}

void ParallelPort::EnablePorts(std::int16_t, std::int16_t) {
    enabled_ = true;
}

void ParallelPort::DisablePorts(std::int16_t, std::int16_t) {
    enabled_ = false;
    for (Slot& slot : slots_) {
        if (!slot.claimed) continue;
        int error = 0;
        system_->ioctl(slot.fd, PPRELEASE, nullptr, error);
        slot.claimed = false;
    }
}

std::string ParallelPort::name(const Slot& slot) const {
    return "LPT" + std::to_string(&slot - slots_.data() + 1);
}

void ParallelPort::close(Slot& slot) {
    int error = 0;
    if (slot.claimed) system_->ioctl(slot.fd, PPRELEASE, nullptr, error);
    slot.claimed = false;
    if (slot.fd >= 0) system_->closeNode(slot.fd);
    slot.fd = -1;
}

std::string ParallelPort::open(std::uint16_t base) {
    Slot* slot = base != 0 ? slotFor(base) : nullptr;
    if (slot == nullptr || slot->info.address != base) {
        char text[48];
        std::snprintf(text, sizeof text, "No parallel port at %Xh", static_cast<unsigned>(base));
        return text;
    }
    close(*slot);
    fault_.clear();
    int error = 0;
    const auto failed = [&](bool claiming) {
        explainOpenFailure(*slot, error, claiming);
        close(*slot);
        return name(*slot) + " cannot be opened: " + slot->node + ": " + reason(error, claiming);
    };
    slot->fd = system_->openNode(slot->node, error);
    if (slot->fd < 0) return failed(false);
    // Exclusive: no other ppdev user may share the port while we hold it
    // (asked before the first claim, as ppdev requires).
    if (system_->ioctl(slot->fd, PPEXCL, nullptr, error) != 0) return failed(false);
    if (system_->ioctl(slot->fd, PPCLAIM, nullptr, error) != 0) return failed(true);
    slot->claimed = true;
    if (system_->ioctl(slot->fd, PPRELEASE, nullptr, error) != 0) return failed(false);
    slot->claimed = false;
    return {};
}

ParallelPort::Slot* ParallelPort::slotFor(std::uint16_t address) {
    for (Slot& slot : slots_) {
        const std::uint16_t base = slot.info.address;
        if (base != 0 && address >= base && address <= base + 2) return &slot;
    }
    return nullptr;
}

ParallelPort::Slot* ParallelPort::claimedSlotFor(std::uint16_t address) {
    if (!enabled_ || !fault_.empty()) return nullptr;
    Slot* slot = slotFor(address);
    if (slot == nullptr || slot->claimed) return slot;
    if (slot->fd < 0) {
        fail(*slot, "not open");
        return nullptr;
    }
    int error = 0;
    if (system_->ioctl(slot->fd, PPCLAIM, nullptr, error) != 0) {
        fail(*slot, "cannot be claimed, " + reason(error, true));
        return nullptr;
    }
    slot->claimed = true;
    return slot;
}

void ParallelPort::fail(const Slot& slot, const std::string& what) {
    if (fault_.empty()) fault_ = name(slot) + " port error: " + slot.node + ": " + what;
}

void ParallelPort::explainOpenFailure(const Slot& slot, int error, bool claiming) {
    if (!notice_) return;
    std::string text;
    if (claiming || error == EBUSY) {
        text = "Cannot claim " + slot.node +
               ": another driver holds it. Unload the printer driver (sudo rmmod lp); that lasts "
               "until the next reboot, blacklisting lp in /etc/modprobe.d/ makes it permanent.";
    } else {
        text = "Cannot open " + slot.node + ": ";
        if (error == ENOENT || !system_->exists(slot.node))
            text +=
                "it does not exist. Load the ppdev module (sudo modprobe ppdev); that lasts "
                "until the next reboot, a line \"ppdev\" in /etc/modules-load.d/ppdev.conf makes "
                "it permanent.";
        else if (error == EACCES || error == EPERM || !system_->readWritable(slot.node))
            text +=
                "permission denied. Add yourself to group lp (sudo adduser $USER lp), log in "
                "again and restart the program.";
        else
            text += "the ppdev driver refused it (" + errorText(error) + ").";
    }
    // Each explanation once: trying again shows the short reason only.
    if (std::find(explained_.begin(), explained_.end(), text) != explained_.end()) return;
    explained_.push_back(text);
    notice_(text);
}

void ParallelPort::Outport(std::uint16_t port, std::uint8_t value) {
    Slot* slot = claimedSlotFor(port);
    if (slot == nullptr) return;
    int error = 0;
    unsigned char data = value;
    if (system_->ioctl(slot->fd, PPWDATA, &data, error) != 0) fail(*slot, errorText(error));
}

std::uint16_t ParallelPort::Inport(std::uint16_t port) {
    Slot* slot = claimedSlotFor(port);
    if (slot == nullptr) return 0;  // read nothing; fault() says why when it is a failure
    int error = 0;
    unsigned char status = 0;
    if (system_->ioctl(slot->fd, PPRSTATUS, &status, error) != 0) {
        fail(*slot, errorText(error));
        return 0;
    }
    return status;
}

}  // namespace kestrel
