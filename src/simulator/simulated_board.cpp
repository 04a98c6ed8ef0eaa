#include "simulator/simulated_board.h"

#include <fstream>
#include <sstream>

namespace kestrel::sim {

SimulatedBoard::SimulatedBoard(std::uint32_t seed) : kestrel_(seed) {
    // The analyser first, so it sees each clock edge before the slaves react.
    wire_.attach(log_);
    wire_.attach(kestrel_);
    wire_.attach(plover90_);
    wire_.attach(plover98_);
}

void SimulatedBoard::Outport(std::uint16_t port, std::uint8_t value) {
    ++accesses_;
    if (port != kBase) return;
    if (!open_) {
        ++outside_;
        return;
    }
    // Data bit 0 pulls SCL low, bit 1 pulls SDA low.
    wire_.drive((value & 1) == 0, (value & 2) == 0);
}

std::uint16_t SimulatedBoard::Inport(std::uint16_t port) {
    ++accesses_;
    if (port != kBase + 1) return 0;
    if (!open_) {
        ++outside_;
        return 0;
    }
    return wire_.sda() ? 0 : kStatusSdaBit;
}

void SimulatedBoard::EnablePorts(std::int16_t, std::int16_t) {
    open_ = true;
}
void SimulatedBoard::DisablePorts(std::int16_t, std::int16_t) {
    open_ = false;
}

// File format, one item per line:
//   reg XX YY          register XX holds YY
//   ee XXXX YY YY ...  EEPROM bytes from address XXXX on
//   plover XX YY       switch byte YY of the PLOVER at XX
//   fault NAME [XX]    a fault for tests: missing, corrupt-pec, sda-stuck-low,
//                      block-count XX
bool SimulatedBoard::applyFault(const std::string& fault) {
    std::istringstream words(fault);
    std::string name;
    words >> name;
    if (name == "missing") {
        kestrel_.setPresent(false);
    } else if (name == "corrupt-pec") {
        kestrel_.setCorruptPec(true);
    } else if (name == "sda-stuck-low") {
        wire_.setSdaStuckLow(true);
    } else if (name == "block-count") {
        unsigned count = 0;
        if (!(words >> std::hex >> count)) return false;
        kestrel_.setBlockCount(static_cast<std::uint8_t>(count));
    } else {
        return false;
    }
    faults_.push_back(fault);
    return true;
}

bool SimulatedBoard::saveState(const std::string& path, std::string* error) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    out << std::hex << std::uppercase;
    out << "# kestrel-eval simulated board\n";
    for (int r = 0; r < KestrelModel::kRegisterSpace; ++r)
        out << "reg " << r << ' ' << static_cast<int>(kestrel_.reg(r)) << '\n';
    for (int a = 0; a < KestrelModel::kEepromSize; a += 16) {
        out << "ee " << KestrelModel::kEepromBase + a;
        for (int i = 0; i < 16; ++i)
            out << ' ' << static_cast<int>(kestrel_.eeprom(KestrelModel::kEepromBase + a + i));
        out << '\n';
    }
    for (const PloverModel* p : {&plover90_, &plover98_})
        out << "plover " << static_cast<int>(p->address()) << ' ' << static_cast<int>(p->switches())
            << '\n';
    for (const std::string& fault : faults_) out << "fault " << fault << '\n';
    out.flush();
    if (!out) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool SimulatedBoard::loadState(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#' || line == "\r") continue;
        std::istringstream words(line);
        words >> std::hex;
        std::string kind;
        words >> kind;
        if (kind == "fault") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            if (!applyFault(rest)) {
                if (error)
                    *error = path + ":" + std::to_string(lineNo) + ": unknown fault '" + rest + "'";
                return false;
            }
            continue;
        }
        unsigned a = 0, v = 0;
        if (!(words >> a)) {
            if (error) *error = path + ":" + std::to_string(lineNo) + ": missing address";
            return false;
        }
        if (kind == "reg" && a < KestrelModel::kRegisterSpace && (words >> v)) {
            kestrel_.setReg(static_cast<int>(a), static_cast<std::uint8_t>(v));
        } else if (kind == "ee") {
            while (words >> v)
                kestrel_.setEeprom(static_cast<int>(a++), static_cast<std::uint8_t>(v));
        } else if (kind == "plover" && (words >> v)) {
            for (PloverModel* p : {&plover90_, &plover98_})
                if (p->address() == (a & 0xFE)) p->setSwitches(static_cast<std::uint8_t>(v));
        } else {
            if (error) *error = path + ":" + std::to_string(lineNo) + ": not understood";
            return false;
        }
    }
    return true;
}

}  // namespace kestrel::sim
