#include "device/eeprom.h"

#include <algorithm>
#include <cctype>

#include "device/block_read.h"
#include "device/text_rules.h"

namespace kestrel::eeprom {

namespace {

constexpr unsigned kBlock = chip::kEepromPageSize;

void stop(Run& run, const Outcome& o) {
    run.refusal = o.refusal;
    run.busRefusal = o.busRefusal;
}

Step stepOf(unsigned address, int value, const Outcome& o) {
    return {address & 0xFFFFu, value, o.acknowledged(), o.pecOk(), o.problem()};
}

// Appends one byte read; false when the run must end (refused, the port
// failed, or the caller stopped it).
bool readByte(Device& device, unsigned address, Run& run, const OnStep& onStep) {
    const ByteOutcome o = device.EEPROMReadByte(address);
    if (o.refused()) {
        stop(run, o);
        return false;
    }
    Step s = stepOf(address, o.received().empty() ? 0xFF : o.received()[0], o);
    if (s.ok() && !s.pecOk) s.problem = "No PEC read at " + text::suffixedAddressText(address);
    run.steps.push_back(s);
    run.portFailed = o.portFailed();
    if (onStep && !onStep(s)) {
        run.refusal = "Stopped; nothing more was sent.";
        return false;
    }
    return !run.portFailed;
}

// The block of 32 bytes from `start` by the chip's block read: the data, or
// why the block cannot be trusted.
struct Block {
    std::vector<int> data;
    std::string problem;
};

std::optional<Block> readBlock(Device& device, unsigned start, Run& run,
                               const char* kind = chip::kBlockRead) {
    const auto transfers = blockReadTransfers(device, start, true, kind);
    const Outcome o = device.transferHeld(transfers, true);
    if (o.refused()) {
        stop(run, o);
        return std::nullopt;
    }
    Block block;
    block.problem = o.problem();
    run.portFailed = o.portFailed();
    const std::vector<std::uint8_t>& bytes = o.received();
    if (block.problem.empty() && (o.records.size() != 2 || bytes.size() != 2 + kBlock))
        block.problem = "Block read at " + text::suffixedAddressText(start) + " cut short";
    if (!block.problem.empty()) return block;
    block.data.assign(bytes.begin() + 1, bytes.end() - 1);
    if (bytes.front() != chip::kBlockReadCount)
        block.problem = "Block count " + text::byteText(bytes.front()) + "h at " +
                        text::suffixedAddressText(start) + ", expected 20h";
    return block;
}

// A run that would reach an address below 8000h is refused as a whole,
// before its first step.
bool refusedRange(unsigned base, unsigned count, Run& run) {
    run.refusal = registerSpaceRefusal(base, count);
    return run.refused();
}

}  // namespace

std::size_t Run::failed() const {
    return static_cast<std::size_t>(
        std::count_if(steps.begin(), steps.end(), [](const Step& s) { return !s.ok(); }));
}

const Step* Run::firstFailure() const {
    const auto it = std::find_if(steps.begin(), steps.end(), [](const Step& s) { return !s.ok(); });
    return it == steps.end() ? nullptr : &*it;
}

std::string Run::failedAddresses() const {
    std::string ranges;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        if (steps[k].ok()) continue;
        std::size_t last = k;
        while (last + 1 < steps.size() && !steps[last + 1].ok() &&
               steps[last + 1].address == steps[last].address + 1)
            ++last;
        if (!ranges.empty()) ranges += ", ";
        ranges += text::suffixedAddressText(steps[k].address);
        if (last > k) ranges += "-" + text::suffixedAddressText(steps[last].address);
        k = last;
    }
    return ranges;
}

std::vector<int> Run::values() const {
    std::vector<int> v;
    v.reserve(steps.size());
    for (const Step& s : steps) v.push_back(s.value);
    return v;
}

std::string inSentence(const std::string& problem) {
    // An ordinary word starts lower case after a colon ("no acknowledge",
    // "byte 12h"); names written in capitals keep them ("PEC", "SDA",
    // "EEPROM", "I2C").
    if (problem.size() > 1 && std::isupper(static_cast<unsigned char>(problem[0])) &&
        std::islower(static_cast<unsigned char>(problem[1])))
        return static_cast<char>(std::tolower(static_cast<unsigned char>(problem[0]))) +
               problem.substr(1);
    return problem;
}

namespace {

// One block read per 32-byte block the range touches, for an executor that
// cannot read single bytes (Device::eepromReadsByBlock).
Run readAligned(Device& device, unsigned base, unsigned count, const OnStep& onStep) {
    Run run;
    const unsigned end = base + count;
    run.steps.reserve(count);
    for (unsigned start = base & ~(kBlock - 1); start < end; start += kBlock) {
        const auto block = readBlock(device, start, run, Device::kByteReadsByBlock);
        if (!block) return run;
        for (unsigned a = std::max(base, start); a < std::min(end, start + kBlock); ++a) {
            Step s{a & 0xFFFFu, 0xFF, block->problem.empty(), block->problem.empty(),
                   block->problem};
            if (block->problem.empty()) s.value = block->data[a - start];
            run.steps.push_back(s);
            if (onStep && !onStep(s)) {
                run.refusal = "Stopped; nothing more was sent.";
                return run;
            }
        }
        if (run.portFailed) return run;
    }
    return run;
}

// Failed steps for `count` bytes from `address` on, which the run did not read.
void notRead(Run& run, unsigned address, unsigned count, const std::string& problem,
             bool sent = true) {
    for (unsigned i = 0; i < count; ++i)
        run.steps.push_back({(address + i) & 0xFFFFu, 0xFF, false, false, problem, sent});
}

Run readSteps(Device& device, unsigned base, unsigned count, Speed speed, const OnStep& onStep) {
    Run run;
    if (refusedRange(base, count, run)) return run;
    if (device.eepromReadsByBlock()) return readAligned(device, base, count, onStep);
    run.steps.reserve(count);
    const unsigned end = base + count;
    unsigned address = base;
    while (address < end) {
        const unsigned n = std::min(kBlock, end - address);
        if (speed == Speed::Blocks && n >= kBulkMinimum) {
            unsigned start = address;
            if (address < chip::kEepromEnd && address + kBlock > chip::kEepromEnd)
                start = chip::kEepromEnd - kBlock;
            const auto block = readBlock(device, start, run);
            if (!block) return run;
            if (run.portFailed) {
                notRead(run, address, n, block->problem);
                return run;
            }
            if (block->problem.empty()) {
                for (unsigned i = 0; i < n; ++i) {
                    const Step s{address + i, block->data[address + i - start], true, true, {}};
                    run.steps.push_back(s);
                    if (onStep && !onStep(s)) {
                        run.refusal = "Stopped; nothing more was sent.";
                        return run;
                    }
                }
                address += n;
                continue;
            }
            run.fallbacks.push_back("Block read at " + text::suffixedAddressText(start) +
                                    " failed (" + block->problem + "); read byte by byte");
        }
        for (unsigned i = 0; i < n; ++i)
            if (!readByte(device, (address + i) & 0xFFFFu, run, onStep)) return run;
        address += n;
    }
    return run;
}

}  // namespace

Run read(Device& device, unsigned base, unsigned count, Speed speed, const OnStep& onStep) {
    Run run = readSteps(device, base, count, speed, onStep);
    run.asked = count;
    if (run.steps.size() < count) {
        const std::string why = run.portFailed  ? std::string("the port failed")
                                : run.refused() ? inSentence(run.refusal)
                                                : std::string("the read stopped");
        notRead(run, base + static_cast<unsigned>(run.steps.size()),
                count - static_cast<unsigned>(run.steps.size()), "Not read: " + why, false);
    }
    return run;
}

Run writeBlock(Device& device, unsigned base, const std::vector<int>& data) {
    Run run;
    run.asked = data.size();
    if (refusedRange(base, static_cast<unsigned>(data.size()), run)) return run;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        const Outcome o = device.EEPROMWriteByte(address, data[i]);
        if (o.refused()) {
            stop(run, o);
            break;
        }
        run.steps.push_back(stepOf(address, data[i] & 0xFF, o));
        run.portFailed = o.portFailed();
        if (run.portFailed) break;
    }
    return run;
}

Run erasePages(Device& device, unsigned base, unsigned count) {
    Run run;
    if (count == 0 || refusedRange(base, count, run)) return run;
    const unsigned last = base + count - 1;
    run.asked = last / kBlock - base / kBlock + 1;
    for (unsigned page = base / kBlock; page <= last / kBlock; ++page) {
        const unsigned address =
            page == base / kBlock ? base : std::min(last, page * kBlock + kBlock - 1);
        const Outcome o = device.EEPROMPageErase(address);
        if (o.refused()) {
            stop(run, o);
            break;
        }
        run.steps.push_back(stepOf(address, chip::kEraseConfirm, o));
        run.portFailed = o.portFailed();
        if (!o.ok()) break;
    }
    return run;
}

Run zeroFill(Device& device, unsigned page) {
    Run run;
    run.asked = kBlock;
    if (refusedRange(page, kBlock, run)) return run;
    for (unsigned i = 0; i < kBlock; ++i) {
        const unsigned address = (page + i) & 0xFFFFu;
        const Outcome o = device.EEPROMWriteZero(address);
        if (o.refused()) {
            stop(run, o);
            break;
        }
        run.steps.push_back(stepOf(address, 0, o));
        run.portFailed = o.portFailed();
        if (run.portFailed) break;
    }
    return run;
}

std::string VerifyFailure::text() const {
    if (!problem.empty())
        return "Verify failed at " + text::suffixedAddressText(address) + ": " +
               inSentence(problem);
    return "verify mismatch at " + text::suffixedAddressText(address) + ": expected " +
           text::byteText(static_cast<unsigned>(expected)) + ", read " +
           text::byteText(static_cast<unsigned>(read));
}

Verify verify(Device& device, unsigned base, const std::vector<int>& expected, Speed speed) {
    Verify v;
    v.run = read(device, base, static_cast<unsigned>(expected.size()), speed);
    for (std::size_t i = 0; i < v.run.steps.size(); ++i) {
        const Step& s = v.run.steps[i];
        const int want = expected[i] & 0xFF;
        if (!s.ok() || s.value != want) v.failures.push_back({s.address, want, s.value, s.problem});
    }
    return v;
}

std::string writeFailureText(const Run& writes) {
    const Step* first = writes.firstFailure();
    if (first == nullptr) return {};
    return std::to_string(writes.failed()) + " of " + std::to_string(writes.steps.size()) +
           " writes not acknowledged; first at " + text::suffixedAddressText(first->address) +
           ": " + inSentence(first->problem);
}

}  // namespace kestrel::eeprom
