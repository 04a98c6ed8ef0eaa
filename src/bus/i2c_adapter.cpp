#include "bus/i2c_adapter.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel {

namespace {

constexpr const char* kSysClass = "/sys/class/i2c-dev";

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() <= 4 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

bool missingAcknowledge(int error) {
    return error == ENXIO || error == EREMOTEIO || error == EIO;
}

}  // namespace

std::string i2cAdapterPath(const std::string& argument) {
    if (allDigits(argument)) return "/dev/i2c-" + std::to_string(std::stoi(argument));
    const std::string prefix = "/dev/i2c-";
    if (argument.rfind(prefix, 0) == 0 && allDigits(argument.substr(prefix.size())))
        return argument;
    return {};
}

std::vector<I2cAdapterInfo> listI2cAdapters(KernelCalls& calls) {
    std::vector<I2cAdapterInfo> adapters;
    for (const std::string& entry : calls.listFolder(kSysClass)) {
        if (entry.rfind("i2c-", 0) != 0 || !allDigits(entry.substr(4))) continue;
        I2cAdapterInfo a;
        a.number = std::stoi(entry.substr(4));
        a.path = "/dev/" + entry;
        std::string name;
        if (calls.readText(std::string(kSysClass) + "/" + entry + "/name", name))
            a.name = trimmed(name);
        adapters.push_back(std::move(a));
    }
    std::sort(adapters.begin(), adapters.end(),
              [](const I2cAdapterInfo& a, const I2cAdapterInfo& b) { return a.number < b.number; });
    return adapters;
}

I2cAdapterExecutor::I2cAdapterExecutor(KernelCalls& calls, std::string path, Pause pause)
    : calls_(calls), path_(std::move(path)), pause_(std::move(pause)) {}

I2cAdapterExecutor::~I2cAdapterExecutor() {
    if (fd_ >= 0) calls_.closeNode(fd_);
}

void I2cAdapterExecutor::noteFailure(int error) {
    // The adapter itself is gone or broken (unplugged, an I/O error): not an
    // address a driver holds (EBUSY) or a transfer it does not carry.
    if (error == EIO || error == ENODEV || error == ESHUTDOWN)
        failure_ = "I2C " + path_ + " failed: " + std::strerror(error);
}

std::string I2cAdapterExecutor::open() {
    failure_.clear();
    if (fd_ >= 0) return {};
    int error = 0;
    const int fd = calls_.openNode(path_, error);
    if (fd < 0) {
        if (error == ENOENT)
            return "No I2C adapter " + path_ +
                   ": load the i2c-dev module (sudo modprobe i2c-dev; it lasts until reboot, a "
                   "line \"i2c-dev\" in /etc/modules-load.d/i2c-dev.conf makes it permanent) and "
                   "the adapter's own driver, then find its number with i2cdetect -l.";
        if (error == EACCES || error == EPERM)
            return "No permission to use " + path_ +
                   ": join the i2c group (sudo adduser $USER i2c, then log in again) or add a "
                   "udev rule that gives you the i2c-dev nodes.";
        return "Cannot open " + path_ + ": " + std::strerror(error);
    }
    unsigned long functions = 0;
    if (calls_.ioctl(fd, I2C_FUNCS, &functions, error) < 0) {
        calls_.closeNode(fd);
        return "Cannot ask " + path_ + " what it can do: " + std::strerror(error);
    }
    if ((functions & I2C_FUNC_I2C) == 0) {
        calls_.closeNode(fd);
        return "The adapter " + path_ +
               " cannot carry plain I2C transfers with a repeated START (I2C_RDWR), which every "
               "KESTREL read needs.";
    }
    fd_ = fd;
    functions_ = functions;
    return {};
}

std::string I2cAdapterExecutor::refusal() {
    if (shutDown_) return "The program is ending; nothing more is sent on the bus.";
    if (fd_ < 0) return "The I2C adapter " + path_ + " is not open, so nothing is sent on the bus.";
    if (!failure_.empty())
        return failure_ + "; nothing was sent." + (retryHint_.empty() ? "" : " ") + retryHint_;
    if (busy_) return "The bus is busy with an EEPROM write; request ignored, try again.";
    return {};
}

std::optional<std::vector<TransactionRecord>> I2cAdapterExecutor::runHeld(
    std::span<const Transfer> transfers, Origin origin, bool stopAtFault) {
    (void)origin;
    if (!refusal().empty()) return std::nullopt;
    busy_ = true;
    std::vector<TransactionRecord> records;
    for (const Transfer& t : transfers) {
        records.push_back(runOne(t));
        notifyObservers(records.back());
        // The adapter itself failed: nothing more goes to it until it is
        // opened again, and the run ends here.
        if (!failure_.empty()) break;
        // The chip finishes its EEPROM cycle before the next START.
        if (t.holdMs > 0 && pause_) pause_(t.holdMs);
        if (stopAtFault && records.back().faulty()) break;
    }
    busy_ = false;
    return records;
}

bool I2cAdapterExecutor::takesAcknowledgeSlots() const {
    return (functions_ & I2C_FUNC_PROTOCOL_MANGLING) != 0;
}

TransactionRecord I2cAdapterExecutor::probe(const Transfer& t) {
    TransactionRecord r;
    const std::uint8_t address = t.messages.front().address & 0xFE;
    int error = 0;
    int rc = 0;
    if ((functions_ & I2C_FUNC_SMBUS_QUICK) != 0) {
        r.sent.push_back({address, -1});
        i2c_smbus_ioctl_data quick{};
        quick.read_write = I2C_SMBUS_WRITE;
        quick.size = I2C_SMBUS_QUICK;
        if (calls_.ioctl(fd_, I2C_SLAVE,
                         reinterpret_cast<void*>(static_cast<unsigned long>(address >> 1)),
                         error) >= 0)
            rc = calls_.ioctl(fd_, I2C_SMBUS, &quick, error);
        else
            rc = -1;
    } else {
        r.sent.push_back({static_cast<std::uint8_t>(address | 1), -1});
        std::uint8_t byte = 0xFF;
        i2c_msg msg{static_cast<__u16>(address >> 1), I2C_M_RD, 1, &byte};
        i2c_rdwr_ioctl_data data{&msg, 1};
        rc = calls_.ioctl(fd_, I2C_RDWR, &data, error);
        if (rc == 0) {
            rc = -1;
            error = EIO;  // the read message did not run
        }
        if (rc >= 0) {
            r.received.push_back(byte);
            r.receivedAcks.push_back(TransactionRecord::kNack);
        }
    }
    if (rc >= 0)
        r.sent[0].ack = 1;
    else if (missingAcknowledge(error))
        r.sent[0].ack = 0;
    else {
        r.portError = std::string("I2C adapter error: ") + std::strerror(error);
        noteFailure(error);
    }
    return r;
}

TransactionRecord I2cAdapterExecutor::runOne(const Transfer& t) {
    TransactionRecord r;
    r.kind = t.kind;
    r.target = t.target;
    r.targetDigits = t.targetDigits;
    r.sequence = ++sequence_;
    // From the first transaction on, as the bit-banged bus counts from its first START.
    const auto now = std::chrono::steady_clock::now();
    if (!started_) epoch_ = now, started_ = true;
    r.startMs = std::chrono::duration<double, std::milli>(now - epoch_).count();
    const bool probeOnly =
        t.messages.size() == 1 && !t.messages[0].isRead() && t.messages[0].write.empty();
    if (probeOnly) {
        TransactionRecord p = probe(t);
        p.kind = r.kind;
        p.target = r.target;
        p.targetDigits = r.targetDigits;
        p.sequence = r.sequence;
        p.startMs = r.startMs;
        return p;
    }
    // What the adapter can carry: one write, one read, or a write then a
    // read to the same slave with a repeated START.
    const bool shapeOk =
        !t.messages.empty() && t.messages.size() <= 2 &&
        (t.messages.size() == 1 || (!t.messages[0].isRead() && t.messages[1].isRead() &&
                                    (t.messages[0].address >> 1) == (t.messages[1].address >> 1)));
    if (!shapeOk) {
        r.portError = "This transaction cannot be carried by an I2C adapter";
        return r;
    }
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<i2c_msg> msgs;
    std::vector<bool> slaveAcks;  // per byte sent: the slave's acknowledge slot
    std::uint32_t reads = 0;
    for (const Message& m : t.messages) {
        // The messages are joined by repeated STARTs.
        if (!r.sent.empty())
            r.repeatedStarts.push_back({static_cast<std::uint32_t>(r.sent.size()), reads});
        if (m.isRead()) reads += static_cast<std::uint32_t>(std::max(m.read, 0));
        r.sent.push_back({m.address, -1});
        slaveAcks.push_back(true);
        if (m.isRead()) {
            buffers.emplace_back(static_cast<std::size_t>(std::max(m.read, 0)), 0xFF);
        } else {
            for (const std::uint8_t b : m.write) {
                r.sent.push_back({b, -1});
                slaveAcks.push_back(!m.masterHoldsWriteAcks);
            }
            buffers.push_back(m.write);
        }
    }
    for (std::size_t i = 0; i < t.messages.size(); ++i) {
        const Message& m = t.messages[i];
        // Slots the master takes: the adapter goes on whether or not anyone
        // acknowledged there (only sent where the adapter offers it).
        const bool ignoreNak = m.masterHoldsWriteAcks && takesAcknowledgeSlots();
        msgs.push_back(
            {static_cast<__u16>(m.address >> 1),
             static_cast<__u16>((m.isRead() ? I2C_M_RD : 0) | (ignoreNak ? I2C_M_IGNORE_NAK : 0)),
             static_cast<__u16>(buffers[i].size()), buffers[i].data()});
    }
    i2c_rdwr_ioctl_data data{msgs.data(), static_cast<__u32>(msgs.size())};
    int error = 0;
    const int rc = calls_.ioctl(fd_, I2C_RDWR, &data, error);
    const bool whole = rc == static_cast<int>(msgs.size());
    if (whole) {
        // The adapter went through: every byte the slave had to acknowledge was.
        for (std::size_t i = 0; i < r.sent.size(); ++i)
            if (slaveAcks[i]) r.sent[i].ack = 1;
    } else if (rc >= 0) {
        // The adapter stopped part way: what it ran is no whole transaction.
        r.portError = "I2C adapter ran " + std::to_string(rc) + " of " +
                      std::to_string(msgs.size()) + " messages";
    } else if (missingAcknowledge(error)) {
        // The adapter does not say which byte went unanswered; the address
        // byte is the one a missing chip leaves.
        r.sent[0].ack = 0;
    } else {
        r.portError = std::string("I2C adapter error: ") + std::strerror(error);
        noteFailure(error);
    }
    for (std::size_t i = 0; i < t.messages.size(); ++i) {
        if (!t.messages[i].isRead()) continue;
        r.received.insert(r.received.end(), buffers[i].begin(), buffers[i].end());
        // The adapter acknowledges every byte of a read but the last.
        for (std::size_t k = 0; whole && k < buffers[i].size(); ++k)
            r.receivedAcks.push_back(k + 1 < buffers[i].size() ? TransactionRecord::kAck
                                                               : TransactionRecord::kNack);
    }
    if (whole && t.endsWithPec) checkPec(r);
    return r;
}

}  // namespace kestrel
