#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// An annotation sigrok-cli printed: its first and last sample and its text.
struct Annotation {
    unsigned long long start = 0, end = 0;
    std::string text;
};

inline bool haveSigrok() {
    return std::system("command -v sigrok-cli >/dev/null 2>&1") == 0;
}

// Whether a test that needs sigrok-cli can run. Without it the test fails
// on CI (CI=true: the suite must not pass untested there) and is skipped
// elsewhere; either way the test body does not run after `return` on false
// (in SetUp too).
inline bool sigrokAvailable() {
    if (haveSigrok()) return true;
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true")
        GTEST_MESSAGE_("sigrok-cli is not installed, and CI runs every test",
                       ::testing::TestPartResult::kFatalFailure);
    else
        GTEST_MESSAGE_("sigrok-cli is not installed", ::testing::TestPartResult::kSkip);
    return false;
}

// Runs `sigrok-cli -I vcd` with `decoders` over a VCD text: the annotations
// of the decoder `name` by their start sample; any other line into `other`.
inline std::vector<Annotation> runSigrok(const std::string& vcd, const std::string& decoders,
                                         const std::string& name, std::string& other) {
    char path[] = "/tmp/kestrel_sigrok_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0) ::close(fd);
    std::ofstream(path, std::ios::binary) << vcd;
    const std::string command = "sigrok-cli -I vcd -i " + std::string(path) + " " + decoders +
                                " --protocol-decoder-samplenum 2>&1";
    const std::string format = "%llu-%llu " + name + ": %999[^\n]";
    std::vector<Annotation> out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, p)) {
            Annotation a;
            char text[1000] = {};
            if (std::sscanf(line, format.c_str(), &a.start, &a.end, text) == 3) {
                a.text = text;
                out.push_back(a);
            } else {
                other += line;
            }
        }
        ::pclose(p);
    }
    std::remove(path);
    std::stable_sort(out.begin(), out.end(),
                     [](const Annotation& a, const Annotation& b) { return a.start < b.start; });
    return out;
}

}  // namespace kestrel::testing
