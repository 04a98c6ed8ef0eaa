#pragma once

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bus/kernel_calls.h"
#include "bus/parallel_port.h"
#include "bus/port_access.h"

namespace kestrel::testing {

// The kernel as the parallel port sees it: its list of ports (parport0 at
// 378h, parport1 without an address), the ppdev nodes and, when a board is
// given, the wire behind parport0: a claim opens the board's port access,
// data writes and status reads go to it. Every call is written down, and
// opening, claiming or any port access can be made to fail.
class FakePpdev final : public KernelCalls {
  public:
    std::map<std::string, std::string> files;  // procfs texts
    std::set<std::string> nodes{"/dev/parport0"};
    int openError = 0, exclError = 0, claimError = 0;
    // The port access (PPWDATA or PPRSTATUS, counted from 1) that fails with
    // `accessError`, and every one after it; 0 for none.
    long failAtAccess = 0;
    int accessError = EIO;
    long accesses = 0;            // PPWDATA and PPRSTATUS calls made
    int openNodes = 0;            // opened and not closed again
    unsigned char status = 0x10;  // read back when there is no board
    std::vector<std::string> calls;

    explicit FakePpdev(PortAccess* board = nullptr) : board_(board) {
        files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n";
        files["/proc/sys/dev/parport/parport1/irq"] = "-1\n";  // no base address: a USB port
        files["/proc/sys/dev/parport/default/timeslice"] = "200\n";
    }

    std::vector<std::string> listFolder(const std::string& path) override {
        calls.push_back("list " + path);
        std::set<std::string> names;
        for (const auto& [file, text] : files)
            if (file.rfind(path + "/", 0) == 0)
                names.insert(file.substr(path.size() + 1,
                                         file.find('/', path.size() + 1) - path.size() - 1));
        return {names.begin(), names.end()};
    }
    bool readText(const std::string& path, std::string& text) override {
        calls.push_back("read " + path);
        const auto it = files.find(path);
        if (it == files.end()) return false;
        text = it->second;
        return true;
    }
    int openNode(const std::string& path, int& error) override {
        calls.push_back("open " + path);
        error = !nodes.count(path) ? ENOENT : openError;
        if (error != 0) return -1;
        ++openNodes;
        return 7;
    }
    void closeNode(int fd) override {
        calls.push_back("close " + std::to_string(fd));
        --openNodes;
    }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        error = 0;
        std::string name = "other";
        if (request == PPEXCL) {
            name = "PPEXCL";
            error = exclError;
        } else if (request == PPCLAIM) {
            name = "PPCLAIM";
            error = claimError;
            if (error == 0 && board_) board_->EnablePorts(0, 2);
        } else if (request == PPRELEASE) {
            name = "PPRELEASE";
            if (board_) board_->DisablePorts(0, 2);
        } else if (request == PPWDATA || request == PPRSTATUS) {
            const bool write = request == PPWDATA;
            auto* byte = static_cast<unsigned char*>(argument);
            name = write ? "PPWDATA " + std::to_string(*byte) : "PPRSTATUS";
            ++accesses;
            if (failAtAccess > 0 && accesses >= failAtAccess)
                error = accessError;
            else if (write && board_)
                board_->Outport(0x378, *byte);
            else if (!write)
                *byte = board_ ? static_cast<unsigned char>(board_->Inport(0x379)) : status;
        }
        calls.push_back(name + " " + std::to_string(fd));
        return error == 0 ? 0 : -1;
    }
    bool exists(const std::string& path) override { return nodes.count(path) > 0; }
    bool readWritable(const std::string& path) override {
        return nodes.count(path) && openError != EACCES && openError != EPERM;
    }

  private:
    PortAccess* board_;
};

// A parallel port on a FakePpdev the test keeps a hand on.
struct FakeParallelPort {
    FakePpdev* kernel = nullptr;  // owned by the port
    std::vector<std::string> notices;
    std::unique_ptr<ParallelPort> port;

    explicit FakeParallelPort(PortAccess* board = nullptr) {
        auto fake = std::make_unique<FakePpdev>(board);
        kernel = fake.get();
        port = std::make_unique<ParallelPort>(
            [this](const std::string& s) { notices.push_back(s); }, std::move(fake));
    }
};

}  // namespace kestrel::testing
