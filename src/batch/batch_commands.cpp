#include "batch/batch_commands.h"

#include <cstdio>

#include "batch/batch.h"
#include "device/block_read.h"
#include "device/eeprom_ops.h"
#include "device/text_rules.h"
#include "device/image_file.h"
#include "device/register_map.h"

namespace kestrel::batch {

namespace {

constexpr int kBlock = 32;

// A transaction the bus refused: it has said why on standard error.
constexpr int kRefused = kNoPort;

std::string hex2(unsigned v) {
    return text::byteText(v);
}

}  // namespace

int readRegister(Session& s, unsigned reg, std::ostream& out) {
    const auto v = s.device().ReadRegister(static_cast<int>(reg & 0xFF));
    if (!v) return kRefused;
    out << hex2(static_cast<unsigned>(*v)) << '\n';
    return kOk;
}

int writeRegister(Session& s, unsigned reg, unsigned data) {
    return s.device().WriteRegister(static_cast<int>(reg & 0xFF), static_cast<int>(data & 0xFF))
               ? kOk
               : kRefused;
}

// "REG VALUE NAME" per line: the 30 RAM registers, then the latched status.
int dumpRegisters(Session& s, std::ostream& out) {
    for (std::size_t r = 0; r < kRegisterMap.size(); ++r) {
        const auto v = s.device().ReadRegister(static_cast<int>(r));
        if (!v) return kRefused;
        out << hex2(static_cast<unsigned>(r)) << ' ' << hex2(static_cast<unsigned>(*v)) << ' '
            << kRegisterMap[r].name << '\n';
    }
    for (int i = 0; i < 3; ++i) {
        const auto v = s.device().ReadRegister(0x2A + i);
        if (!v) return kRefused;
        out << hex2(0x2Au + static_cast<unsigned>(i)) << ' ' << hex2(static_cast<unsigned>(*v))
            << " Latched Status" << i + 1 << '\n';
    }
    return kOk;
}

int status(Session& s, std::ostream& out) {
    static const char* const names[] = {"Status1",         "Status2",         "Status3",
                                        "Latched Status1", "Latched Status2", "Latched Status3"};
    const int regs[] = {0x00, 0x01, 0x02, 0x2A, 0x2B, 0x2C};
    for (int i = 0; i < 6; ++i) {
        const auto v = s.device().ReadRegister(regs[i]);
        if (!v) return kRefused;
        out << hex2(static_cast<unsigned>(regs[i])) << ' ' << hex2(static_cast<unsigned>(*v)) << ' '
            << names[i] << '\n';
    }
    return kOk;
}

int writeSwitch(Session& s, unsigned address, unsigned data) {
    return s.device().WriteSwitch(static_cast<int>(address & 0xFF), static_cast<int>(data & 0xFF))
               ? kOk
               : kRefused;
}

// The 34 lines of the block read window.
int blockReadCommand(Session& s, unsigned base, std::ostream& out) {
    const auto r = blockRead(s.device(), base);
    if (!r) return kRefused;
    out << "Bytes: " << hex2(static_cast<unsigned>(r->count)) << "h\n";
    for (int i = 0; i < kBlock; ++i)
        out << text::imageLine(base + static_cast<unsigned>(i),
                               static_cast<unsigned>(r->data[static_cast<std::size_t>(i)]))
            << '\n';
    out << "PEC: " << hex2(static_cast<unsigned>(r->pec)) << "h\n";
    return kOk;
}

int eepromRead(Session& s, unsigned base, const std::string& outFile, std::ostream& out,
               std::ostream& err) {
    std::vector<std::string> lines;
    s.device().bus().openAccess();
    for (int i = 0; i < kBlock; ++i) {
        const unsigned address = base + static_cast<unsigned>(i);
        const auto d = eeprom::readByteAt(s.device(), address);
        if (!d) return kRefused;
        lines.push_back(text::imageLine(address, static_cast<unsigned>(*d)));
    }
    s.device().bus().closeAccess();
    if (outFile.empty()) {
        for (const std::string& line : lines) out << line << '\n';
        return kOk;
    }
    std::string error;
    if (!image_file::save(outFile, lines, kBlock, &error)) {
        err << "kestrel-eval: " << error << '\n';
        return kUsage;
    }
    return kOk;
}

// All 512 bytes, sixteen to a row under a column header, like register-dump tools.
int eepromDump(Session& s, std::ostream& out) {
    out << "     ";
    for (int c = 0; c < 16; ++c) out << ' ' << hex2(static_cast<unsigned>(c));
    out << '\n';
    s.device().bus().openAccess();
    for (unsigned row = 0x8000; row < 0x8200; row += 16) {
        out << text::addressText(row) << ':';
        for (unsigned c = 0; c < 16; ++c) {
            const auto d = eeprom::readByteAt(s.device(), row + c);
            if (!d) return kRefused;
            out << ' ' << hex2(static_cast<unsigned>(*d));
        }
        out << '\n';
    }
    s.device().bus().closeAccess();
    return kOk;
}

int eepromWrite(Session& s, unsigned base, const std::string& file, bool erase, bool verify,
                std::ostream& err) {
    std::vector<std::string> lines;
    std::string error;
    if (!image_file::load(file, lines, &error)) {
        err << "kestrel-eval: " << error << '\n';
        return kUsage;
    }
    std::vector<int> data;
    for (int i = 0; i < kBlock; ++i)
        data.push_back(text::imageLineData(text::listItem(lines, static_cast<std::size_t>(i))));
    if (erase) {
        const eeprom::RunResult erased = eeprom::eraseBlockPages(s.device(), base, kBlock);
        if (erased.refused) return kRefused;
        if (!erased.ok()) {
            err << "kestrel-eval: page erase at " << text::addressText(erased.firstFailedAddress)
                << "h failed: " << eeprom::inSentence(erased.firstProblem)
                << "; nothing was written\n";
            return kBusFault;
        }
    }
    const eeprom::RunResult written = eeprom::writeBlock(s.device(), base, data);
    s.device().bus().closeAccess();
    if (written.refused) return kRefused;
    if (!written.ok()) {
        err << "kestrel-eval: block write failed: " << written.failed << " of " << written.attempted
            << " writes not acknowledged (" << eeprom::inSentence(written.firstProblem) << ")\n";
        return kBusFault;
    }
    if (!verify) return kOk;
    const eeprom::VerifyResult result = eeprom::verify(s.device(), base, data);
    if (result.run.refused) return kRefused;
    if (!result.run.ok()) {
        err << "kestrel-eval: Verify failed at " << text::addressText(result.run.firstFailedAddress)
            << "h: " << eeprom::inSentence(result.run.firstProblem) << '\n';
        return kBusFault;
    }
    for (const auto& m : result.mismatches)
        err << "kestrel-eval: verify mismatch at " << text::addressText(m.address) << "h: expected "
            << hex2(static_cast<unsigned>(m.expected)) << ", read "
            << hex2(static_cast<unsigned>(m.read)) << '\n';
    return result.mismatches.empty() ? kOk : kBusFault;
}

int eepromErase(Session& s, unsigned page) {
    return s.device().EEPROMPageErase(text::addressText(page)) ? kOk : kRefused;
}

int eepromZero(Session& s, unsigned page) {
    const eeprom::RunResult r = eeprom::writeZerosToPage(s.device(), page);
    if (r.refused) return kRefused;
    return r.ok() ? kOk : kBusFault;
}

}  // namespace kestrel::batch
