// The sigrok decoder (sigrok/kestrel) against the bus monitor and the
// capture decoder: sigrok-cli runs the i2c decoder and ours on the program's
// own trace of a random session and on hand-drawn wires, and every
// transaction it names must be the one the monitor's CSV export lists, live
// and decoded from the trace, with the same PEC verdict.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "bus/crc8.h"
#include "bus/record_export.h"
#include "device/diagnostics.h"
#include "device/register_map.h"
#include "device/text_rules.h"
#include "support/capture_files.h"
#include "support/decoded_capture.h"
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
                read.push_back(b.substr(1, 2));
            else if (b != "Sr")
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
        else if (kind == "Other Device")
            t = "Other Device " + address + "h: " + f.at(4).substr(f.at(4).find(' ') + 1);
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
        if (!testing::sigrokAvailable()) return;
    }
};

TEST_F(SigrokDecoder, NamesEveryTransactionOfARandomSessionAsTheMonitorDoes) {
    const testing::Session s = testing::randomSession(1000, 29);
    std::string errors;
    const auto sigrok = decoderView(runDecoder(s.vcd, &errors));
    EXPECT_EQ(errors, "");
    const auto monitor = monitorView(csvOf(s.records));
    const auto decoded = testing::decodeVcdText(s.vcd);
    ASSERT_TRUE(decoded.read.ok) << decoded.read.error;
    EXPECT_EQ(monitorView(csvOf(decoded.records)), monitor) << "decode and the live monitor";
    ASSERT_EQ(monitor.size(), s.records.size());
    ASSERT_EQ(sigrok.size(), monitor.size());
    for (std::size_t i = 0; i < monitor.size(); ++i)
        ASSERT_EQ(sigrok[i], monitor[i]) << "transaction " << i;
    for (const auto& line : sigrok) EXPECT_EQ(line.find("PEC error"), std::string::npos) << line;
}

// Wires drawn by hand, each in both decoders: what the capture decoder
// lists, and the same transaction in sigrok's words.
TEST(HandDrawnWires, DecodeAlikeInBothDecoders) {
    using W = testing::Drawing;
    const std::uint8_t pec = smbusPec({0xAE, 0x0E, 0xAF, 0x04});
    std::vector<std::uint8_t> block = {0xAE, 0xA1, 0xAF, 0x10};
    for (int i = 0; i < 32; ++i) block.push_back(static_cast<std::uint8_t>(0xC0 + i));
    const std::uint8_t blockPec = smbusPec(block);
    struct Case {
        std::function<void(testing::Drawing&)> draw;
        std::string bytes, kind, problem;
    } cases[] = {
        // The master acknowledges the PEC and ends the read in that clock.
        {[&](W& w) {
             w.start();
             w.byte(0xAE, true), w.byte(0x0E, true);
             w.start();
             w.byte(0xAF, true), w.byte(0x04, true);
             w.byteStoppedInItsAckClock(pec);
         },
         "AE+ 0E+ Sr AF+ <04+ <" + text::byteText(pec) + "+", "Read Byte", ""},
        // An EEPROM chip's read ended the same way after a data byte.
        {[](W& w) {
             w.start();
             w.byte(0xA0, true), w.byte(0x00, true);
             w.start();
             w.byte(0xA1, true), w.byte(0xC0, true);
             w.byteStoppedInItsAckClock(0xC1);
         },
         "A0+ 00+ Sr A1+ <C0+ <C1+", "Other Device", ""},
        // A repeated START in the acknowledge clock of a NACKed address, then
        // acknowledge polling: three address bytes to another device.
        {[](W& w) {
             w.start();
             w.byteRestartedInItsAckClock(0xA0);
             w.byteRestartedInItsAckClock(0xA0);
             w.byte(0xA0, true), w.byte(0x00, true);
             w.start();
             w.byte(0xA1, true), w.byte(0xC0, true), w.byte(0xC1, false);
             w.stop();
         },
         "A0- Sr A0- Sr A0+ 00+ Sr A1+ <C0+ <C1-", "Other Device", "No acknowledge from A0h"},
        // The zero write's hold: 2 and 14 ms are a write of 00h, 16 ms a zero write.
        {[](W& w) {
             w.start();
             for (std::uint8_t b : {0xAE, 0x81, 0x20, 0x00}) w.byte(b, true);
             w.hold(2);
             w.stop();
         },
         "AE+ 81+ 20+ 00+", "EEPROM Write", ""},
        {[](W& w) {
             w.start();
             for (std::uint8_t b : {0xAE, 0x81, 0x20, 0x00}) w.byte(b, true);
             w.hold(14);
             w.stop();
         },
         "AE+ 81+ 20+ 00+", "EEPROM Write", ""},
        {[](W& w) {
             w.start();
             for (std::uint8_t b : {0xAE, 0x81, 0x20, 0x00}) w.byte(b, true);
             w.hold(16);
             w.stop();
         },
         "AE+ 81+ 20+ 00+", "Zero Write", ""},
        // A block read whose count says 16 bytes, after its address pointer.
        {[](W& w) {
             w.start();
             for (std::uint8_t b : {0xAE, 0x81, 0x00}) w.byte(b, true);
             w.stop();
         },
         "AE+ 81+ 00+", "Address Pointer", ""},
        {[&](W& w) {
             w.start();
             w.byte(0xAE, true), w.byte(0xA1, true);
             w.start();
             for (std::size_t i = 2; i < block.size(); ++i) w.byte(block[i], true);
             w.byte(blockPec, false);
             w.stop();
         },
         "", "Block Read", "Block count 10h, 32 bytes read"},
    };
    testing::Drawing all;
    for (const Case& c : cases) {
        testing::Drawing w;
        c.draw(w);
        c.draw(all);
        const auto d = testing::decodeVcdText(w.vcd());
        ASSERT_TRUE(d.read.ok) << d.read.error;
        ASSERT_EQ(d.records.size(), 1u) << c.bytes;
        if (!c.bytes.empty()) {
            EXPECT_EQ(record_export::bytesText(d.records[0]), c.bytes);
        }
        EXPECT_EQ(d.records[0].kind, c.kind) << c.bytes;
        EXPECT_FALSE(d.records[0].pecMismatch()) << c.bytes;
        EXPECT_EQ(diagnose(d.records[0]), c.problem) << c.bytes;
    }
    // Eight bits, then a STOP before the ninth clock: the byte is kept
    // without an acknowledge, and the transaction is Malformed. (sigrok's i2c
    // decoder waits for the ninth clock through the STOP: only ours.)
    testing::Drawing cut;
    cut.start();
    cut.byte(0xAE, true), cut.byte(0x0E, true);
    cut.start();
    cut.byte(0xAF, true), cut.byte(0x04, true);
    cut.bits(0xD0, 7), cut.to(false, false), cut.to(true, false), cut.to(true, true);
    const auto d = testing::decodeVcdText(cut.vcd());
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(record_export::bytesText(d.records[0]), "AE+ 0E+ Sr AF+ <04+ <D0(none)");
    EXPECT_EQ(d.records[0].kind, "Malformed");

    if (!testing::sigrokAvailable()) return;
    std::string errors;
    const auto sigrok = decoderView(runDecoder(all.vcd(), &errors));
    EXPECT_EQ(errors, "");
    const auto decoded = testing::decodeVcdText(all.vcd());
    EXPECT_EQ(sigrok, monitorView(csvOf(decoded.records)));
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

    const auto decoded = testing::decodeVcdText(s.vcd);
    ASSERT_TRUE(decoded.read.ok) << decoded.read.error;
    int mismatches = 0;
    for (const auto& r : decoded.records) mismatches += r.pecMismatch();
    EXPECT_EQ(mismatches, withPec);
}

}  // namespace
}  // namespace kestrel
