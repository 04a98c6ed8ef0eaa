#include "connection/simulated_i2c_adapter.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <algorithm>
#include <cerrno>

#include "simulator/simulated_board.h"

namespace kestrel {

namespace {
constexpr int kFd = 7;
}

SimulatedI2cAdapter::SimulatedI2cAdapter(PortAccess& board, int number)
    : chip_(dynamic_cast<sim::SimulatedBoard*>(&board) != nullptr
                ? &dynamic_cast<sim::SimulatedBoard&>(board).kestrel()
                : nullptr),
      lptBase_(static_cast<std::int16_t>(board.GetLPTPortAddress(1))),
      wire_(board, lptBase_, portEntry_),
      path_("/dev/i2c-" + std::to_string(number)),
      number_(number),
      functions_(I2C_FUNC_I2C | I2C_FUNC_SMBUS_QUICK) {}

unsigned SimulatedI2cAdapter::ioctlCount(unsigned long request) const {
    return static_cast<unsigned>(std::count(requests_.begin(), requests_.end(), request));
}

std::vector<std::string> SimulatedI2cAdapter::listFolder(const std::string& path) {
    if (path == "/sys/class/i2c-dev") return {"i2c-" + std::to_string(number_)};
    return {};
}

bool SimulatedI2cAdapter::readText(const std::string& path, std::string& text) {
    if (path != "/sys/class/i2c-dev/i2c-" + std::to_string(number_) + "/name") return false;
    text = "Simulated board adapter\n";
    return true;
}

int SimulatedI2cAdapter::openNode(const std::string& path, int& error) {
    if (path != path_ || openError_ != 0) {
        error = path != path_ ? ENOENT : openError_;
        return -1;
    }
    ++opens_;
    error = 0;
    return kFd;
}

void SimulatedI2cAdapter::closeNode(int fd) {
    if (fd == kFd && opens_ > 0) --opens_;
}

int SimulatedI2cAdapter::ioctl(int fd, unsigned long request, void* argument, int& error) {
    requests_.push_back(request);
    error = 0;
    if (fd != kFd || opens_ == 0) {
        error = EBADF;
        return -1;
    }
    switch (request) {
        case I2C_FUNCS:
            *static_cast<unsigned long*>(argument) = functions_;
            return 0;
        case I2C_SLAVE:
            slave_ = static_cast<std::uint16_t>(reinterpret_cast<unsigned long>(argument));
            if (driverBound_ != 0 && slave_ == driverBound_) {
                error = EBUSY;
                return -1;
            }
            return 0;
        case I2C_SMBUS:
            return quick(argument, error);
        case I2C_RDWR:
            return replay(argument, error);
        default:
            error = ENOTTY;
            return -1;
    }
}

int SimulatedI2cAdapter::failure(const TransactionRecord& r, int& error) {
    if (r.sdaStuckLow) {
        error = EIO;
        return -1;
    }
    if (!r.sent.empty() && r.sent[0].ack == 0) {
        error = ENXIO;
        return -1;
    }
    if (r.anyNack()) {
        error = EREMOTEIO;
        return -1;
    }
    return 0;
}

int SimulatedI2cAdapter::quick(void* argument, int& error) {
    const auto* data = static_cast<const i2c_smbus_ioctl_data*>(argument);
    if ((functions_ & I2C_FUNC_SMBUS_QUICK) == 0 || data->size != I2C_SMBUS_QUICK) {
        error = EOPNOTSUPP;
        return -1;
    }
    Transfer t;
    t.messages = {
        {.address = static_cast<std::uint8_t>((slave_ << 1) | data->read_write), .write = {}}};
    const auto r = wire_.run(t);
    if (!r) {
        error = EBUSY;
        return -1;
    }
    return failure(*r, error);
}

int SimulatedI2cAdapter::replay(void* argument, int& error) {
    const auto* data = static_cast<const i2c_rdwr_ioctl_data*>(argument);
    if ((functions_ & I2C_FUNC_I2C) == 0) {
        error = EOPNOTSUPP;
        return -1;
    }
    if (data->nmsgs == 0 || data->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS) {
        error = EINVAL;
        return -1;
    }
    Transfer t;
    std::vector<bool> ignored;  // per byte sent: its missing acknowledge does not count
    for (__u32 i = 0; i < data->nmsgs; ++i) {
        const i2c_msg& m = data->msgs[i];
        const bool read = (m.flags & I2C_M_RD) != 0;
        const bool ignoreNak = (m.flags & I2C_M_IGNORE_NAK) != 0;
        if (ignoreNak && (functions_ & I2C_FUNC_PROTOCOL_MANGLING) == 0) {
            error = EOPNOTSUPP;
            return -1;
        }
        ignored.insert(ignored.end(), static_cast<std::size_t>(read ? 1 : 1 + m.len), ignoreNak);
        Message message{.address = static_cast<std::uint8_t>((m.addr << 1) | (read ? 1 : 0)),
                        .write = {}};
        if (read)
            message.read = m.len;
        else
            message.write.assign(m.buf, m.buf + m.len);
        t.messages.push_back(std::move(message));
    }
    const i2c_msg* m = data->msgs;
    const bool eepromRead = data->nmsgs == 2 && (m[0].flags & I2C_M_RD) == 0 && m[0].len == 2 &&
                            m[0].buf[0] >= 0x80 && (m[1].flags & I2C_M_RD) != 0 &&
                            m[0].addr == m[1].addr;
    if (eepromRead && chip_ != nullptr) chip_->expectEepromRead();
    auto r = wire_.run(t);
    if (!r) {
        error = EBUSY;
        return -1;
    }
    for (std::size_t k = 0; k < r->sent.size() && k < ignored.size(); ++k)
        if (ignored[k] && r->sent[k].ack == 0) r->sent[k].ack = 1;
    if (failure(*r, error) < 0) return -1;
    std::size_t next = 0;
    for (__u32 i = 0; i < data->nmsgs; ++i) {
        const i2c_msg& m = data->msgs[i];
        if ((m.flags & I2C_M_RD) == 0) continue;
        for (__u16 k = 0; k < m.len && next < r->received.size(); ++k)
            m.buf[k] = r->received[next++];
    }
    return static_cast<int>(data->nmsgs) - (stopShort_ ? 1 : 0);
}

}  // namespace kestrel
