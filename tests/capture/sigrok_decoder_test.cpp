// The sigrok decoder (sigrok/kestrel) against the bus monitor: sigrok-cli
// runs the i2c decoder and ours on the program's own trace of a random
// session, and every transaction it names must be the one the monitor's CSV
// export lists, with the same PEC verdict; a PEC byte changed on the wire
// must show as a PEC error, in sigrok and in the capture decoder alike.
#include <gtest/gtest.h>

#include <sstream>

#include "bus/record_export.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "device/register_map.h"
#include "support/capture_files.h"
#include "support/random_session.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

using testing::Annotation;

// sigrok-cli with the i2c decoder and ours stacked on it.
std::vector<Annotation> runDecoder(const std::string& vcd, std::string* errors) {
    ::setenv("SIGROKDECODE_DIR", KESTREL_SIGROK_DECODERS, 1);
    return testing::runSigrok(vcd, "-P i2c:scl=SCL:sda=SDA,kestrel -A kestrel", "kestrel-1",
                              *errors);
}

bool isTransaction(const std::string& t) {
    return t.rfind("PEC", 0) != 0 && t.rfind("No acknowledge", 0) != 0 &&
           t.rfind("Malformed", 0) != 0 && t.rfind("Block count", 0) != 0 &&
           t.rfind("Page erase", 0) != 0;
}

// One transaction as sigrok shows it: its text, then its PEC verdict and
// whether a byte went unacknowledged.
std::vector<std::string> decoderView(const std::vector<Annotation>& annotations) {
    std::vector<const Annotation*> tx;
    for (const Annotation& a : annotations)
        if (isTransaction(a.text)) tx.push_back(&a);
    std::vector<std::string> out;
    for (const Annotation* t : tx) {
        std::string line = t->text, pec, nack;
        for (const Annotation& a : annotations) {
            if (a.start < t->start || a.end > t->end || &a == t) continue;
            if (a.text.rfind("PEC", 0) == 0) pec = " | " + a.text;
            if (a.text.rfind("No acknowledge", 0) == 0) nack = " | no acknowledge";
        }
        out.push_back(line + pec + nack);
    }
    return out;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep)
            out.emplace_back();
        else if (c != '\r')
            out.back() += c;
    }
    return out;
}

// The same from the monitor's CSV export, worded as the decoder words it.
std::vector<std::string> monitorView(const std::string& csv) {
    std::vector<std::string> out;
    std::istringstream in(csv);
    std::string row;
    std::getline(in, row);  // header
    while (std::getline(in, row)) {
        const auto f = split(row, ',');  // time,kind,address,target,bytes,pec,pec_expected,problem
        const std::string& kind = f.at(1);
        const std::string& address = f.at(2);
        const std::string& target = f.at(3);
        std::vector<std::string> sent, read;
        for (const std::string& b : split(f.at(4), ' ')) {
            if (b.empty()) continue;
            if (b[0] == '<')
                read.push_back(b.substr(1));
            else
                sent.push_back(b.substr(0, 2));
        }
        std::string t;
        const std::string name =
            target.size() == 2 ? std::string(kRegisterMap.at(std::stoul(target, nullptr, 16)).name)
                               : "";
        if (kind == "Read Byte")
            t = "Read Byte " + target + "h " + name + ": " + read.at(0) + "h";
        else if (kind == "Write Byte")
            t = "Write Byte " + target + "h " + name + ": " + sent.back() + "h";
        else if (kind == "Switch Write")
            t = "Switch Write " + address + "h: " + sent.back() + "h";
        else if (kind == "EEPROM Read")
            t = "EEPROM Read " + target + "h: " + read.at(0) + "h";
        else if (kind == "EEPROM Write")
            t = "EEPROM Write " + target + "h: " + sent.back() + "h";
        else if (kind == "Page Erase")
            t = "Page Erase " + target + "h, confirmed FFh";
        else if (kind == "Zero Write" || kind == "Address Pointer")
            t = kind + " " + target + "h";
        else if (kind == "Probe")
            t = "Probe " + address + "h";
        else if (kind == "Block Read") {
            t = "Block Read " + target + "h, count " + read.at(0) + "h:";
            for (std::size_t i = 1; i + 1 < read.size(); ++i) t += " " + read[i];
        } else
            t = "unknown kind " + kind;
        if (!f.at(5).empty())
            t += f.at(5) == f.at(6) ? " | PEC " + f.at(5) + "h correct"
                                    : " | PEC error: " + f.at(5) + "h, expected " + f.at(6) + "h";
        if (f.at(7) == "no acknowledge") t += " | no acknowledge";
        out.push_back(t);
    }
    return out;
}

std::string csvOf(const std::vector<TransactionRecord>& records) {
    std::vector<const TransactionRecord*> p;
    for (const auto& r : records) p.push_back(&r);
    std::ostringstream csv;
    record_export::writeCsv(csv, p);
    return csv.str();
}

// The VCD with the level of SDA inverted from just before a chosen rising
// SCL edge to the falling edge after it: one bit changed on the wire.
class VcdEditor {
  public:
    explicit VcdEditor(const std::string& vcd)
        : header_(vcd.substr(0, vcd.find("$enddefinitions $end\n") + 21)),
          steps_(testing::levelsOfVcd(vcd)) {}
    // Per transaction (START to STOP), the step of each byte's first
    // rising SCL edge, found as a protocol analyser finds them.
    std::vector<std::vector<std::size_t>> bytes() const {
        std::vector<std::vector<std::size_t>> out;
        bool open = false;
        int bit = 0;
        for (std::size_t i = 1; i < steps_.size(); ++i) {
            const testing::Level &a = steps_[i - 1], &b = steps_[i];
            if (a.scl && b.scl && a.sda != b.sda) {
                // The clock a START or STOP stands in starts no byte.
                if (open && bit == 1) out.back().pop_back();
                if (!b.sda) {
                    if (!open) out.emplace_back();
                    open = true;
                    bit = 0;
                } else {
                    open = false;
                }
            } else if (!a.scl && b.scl && open) {
                if (bit == 0) out.back().push_back(i);
                bit = (bit + 1) % 9;
            }
        }
        return out;
    }
    // The rising SCL edge `bits` clocks after the one at step `first`.
    std::size_t riseAfter(std::size_t first, int bits) const {
        std::size_t i = first;
        while (bits-- > 0) {
            do ++i;
            while (steps_[i - 1].scl || !steps_[i].scl);
        }
        return i;
    }
    void flipBitAt(std::size_t rise) {
        std::size_t fall = rise;
        while (steps_[fall].scl) ++fall;
        for (std::size_t i = rise; i < fall; ++i) steps_[i].sda = !steps_[i].sda;
        // SDA changes a nanosecond before SCL rises, so that no START shows.
        testing::Level before = steps_[rise - 1];
        before.t = steps_[rise].t - 1;
        before.sda = steps_[rise].sda;
        steps_.insert(steps_.begin() + static_cast<std::ptrdiff_t>(rise), before);
    }
    std::string text() const {
        std::string out = header_;
        bool scl = true, sda = true, first = true;
        for (const testing::Level& s : steps_) {
            out += "#" + std::to_string(s.t) + "\n";
            if (first || s.scl != scl) out += std::string(s.scl ? "1" : "0") + "!\n";
            if (first || s.sda != sda) out += std::string(s.sda ? "1" : "0") + "\"\n";
            scl = s.scl;
            sda = s.sda;
            first = false;
        }
        return out;
    }

  private:
    std::string header_;
    testing::Levels steps_;
};

class SigrokDecoder : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::haveSigrok()) GTEST_SKIP() << "sigrok-cli is not installed";
    }
};

TEST_F(SigrokDecoder, NamesEveryTransactionOfARandomSessionAsTheMonitorDoes) {
    const testing::Session s = testing::randomSession(1000, 29);
    std::string errors;
    const auto sigrok = decoderView(runDecoder(s.vcd, &errors));
    EXPECT_EQ(errors, "");
    const auto monitor = monitorView(csvOf(s.records));
    ASSERT_EQ(monitor.size(), s.records.size());
    ASSERT_EQ(sigrok.size(), monitor.size());
    for (std::size_t i = 0; i < monitor.size(); ++i)
        ASSERT_EQ(sigrok[i], monitor[i]) << "transaction " << i;
    for (const auto& line : sigrok) EXPECT_EQ(line.find("PEC error"), std::string::npos) << line;
}

TEST_F(SigrokDecoder, EveryChangedPecBitIsAPecError) {
    const testing::Session s = testing::randomSession(300, 7, false);
    // The PEC is the last byte of each transaction that ends with one.
    VcdEditor flipped(s.vcd);
    const auto bytes = flipped.bytes();
    ASSERT_EQ(bytes.size(), s.records.size());
    std::vector<std::size_t> pecs;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (s.records[i].pecReceived >= 0) pecs.push_back(bytes[i].back());
    ASSERT_GT(pecs.size(), 40u);
    // Each PEC byte gets one bit changed, bit 7 - n % 8 for the n-th, so all
    // eight positions are changed many times over in one trace; the edits go
    // from the end so that earlier steps keep their indexes.
    for (std::size_t n = pecs.size(); n-- > 0;)
        flipped.flipBitAt(flipped.riseAfter(pecs[n], static_cast<int>(n % 8)));
    const std::string vcd = flipped.text();
    const std::size_t flips = pecs.size();

    std::string errors;
    int pecErrors = 0, pecCorrect = 0;
    for (const auto& line : decoderView(runDecoder(vcd, &errors))) {
        pecErrors += line.find("| PEC error") != std::string::npos;
        pecCorrect += line.find("correct") != std::string::npos;
    }
    EXPECT_EQ(errors, "");
    EXPECT_EQ(pecErrors, static_cast<int>(flips));
    EXPECT_EQ(pecCorrect, 0);

    // The capture decoder finds the same, and nothing in the clean trace.
    for (const std::string* text : {&s.vcd, &vcd}) {
        std::istringstream in(*text);
        const auto read = capture::readVcd(in, "trace.vcd", {});
        ASSERT_TRUE(read.lines) << read.error;
        int mismatches = 0;
        for (const auto& r : capture::decodeCapture(*read.lines)) mismatches += r.pecMismatch();
        EXPECT_EQ(mismatches, text == &s.vcd ? 0 : static_cast<int>(flips));
    }
}

}  // namespace
}  // namespace kestrel
