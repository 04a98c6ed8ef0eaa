#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel::testing {

// A small I2C decoder over a VCD text, as a protocol analyser would run it:
// START/STOP from SDA changing while SCL is high, a bit on every rising SCL.
struct Decoded {
    std::vector<std::string> tokens;  // "S", "Sr", "P", "AE", ...
    int sclRises = 0;
    std::vector<bool> acks;  // per byte: SDA low in its ninth clock
};

inline Decoded decodeVcd(const std::string& vcd) {
    Decoded d;
    std::istringstream in(vcd);
    std::string line;
    bool scl = true, sda = true, inTx = false, defs = true;
    int bits = 0, value = 0;
    while (std::getline(in, line)) {
        if (defs) {
            if (line.find("$enddefinitions") != std::string::npos) defs = false;
            continue;
        }
        if (line.size() != 2 || (line[0] != '0' && line[0] != '1')) continue;
        const bool level = line[0] == '1';
        if (line[1] == '!') {
            if (level && !scl) {
                ++d.sclRises;
                if (inTx) {
                    if (bits < 8) value = (value << 1) | (sda ? 1 : 0);
                    if (++bits == 9) {
                        d.acks.push_back(!sda);
                        char buf[4];
                        std::snprintf(buf, sizeof buf, "%02X", value);
                        d.tokens.push_back(buf);
                        bits = 0;
                        value = 0;
                    }
                }
            }
            scl = level;
        } else if (line[1] == '"') {
            if (scl && sda && !level) {
                d.tokens.push_back(inTx ? "Sr" : "S");
                inTx = true;
                bits = value = 0;
            } else if (scl && !sda && level) {
                d.tokens.push_back("P");
                inTx = false;
            }
            sda = level;
        }
    }
    return d;
}

}  // namespace kestrel::testing
