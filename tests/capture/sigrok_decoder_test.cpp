// The sigrok decoder (sigrok/kestrel) against the bus monitor: sigrok-cli
// runs the i2c decoder and ours on the program's own trace of a random
// session, and every transaction it names must be the one the monitor's CSV
// export lists, with the same PEC verdict; a wrong PEC on the wire must
// show as a PEC error, in sigrok and in the capture decoder alike.
#include <gtest/gtest.h>

#include <sstream>

#include "bus/record_export.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "device/register_map.h"
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

// A chip that sends a wrong PEC (the right one XOR 5Ah) in every
// transaction that has one: each is a PEC error, in sigrok and in the
// capture decoder alike.
TEST_F(SigrokDecoder, EveryWrongPecIsAPecError) {
    const testing::Session s = testing::randomSession(300, 7, false, "corrupt-pec");
    int withPec = 0;
    for (const auto& r : s.records) withPec += r.pecReceived >= 0;
    ASSERT_GT(withPec, 40);
    std::string errors;
    int pecErrors = 0, pecCorrect = 0;
    for (const auto& line : decoderView(runDecoder(s.vcd, &errors))) {
        pecErrors += line.find("| PEC error") != std::string::npos;
        pecCorrect += line.find("correct") != std::string::npos;
    }
    EXPECT_EQ(errors, "");
    EXPECT_EQ(pecErrors, withPec);
    EXPECT_EQ(pecCorrect, 0);

    std::istringstream in(s.vcd);
    const auto read = capture::readVcd(in, "trace.vcd", {});
    ASSERT_TRUE(read.lines) << read.error;
    int mismatches = 0;
    for (const auto& r : capture::decodeCapture(*read.lines)) mismatches += r.pecMismatch();
    EXPECT_EQ(mismatches, withPec);
}

}  // namespace
}  // namespace kestrel
