#pragma once

#include <string>
#include <vector>

#include "files/snapshot.h"

// Two snapshots side by side, A and B, in the chip's terms: which registers
// and named settings differ, which EEPROM bytes, and what is the same.
namespace kestrel::snapshot {

// A named setting that differs: "Gain", "175x" on A, "230x" on B.
struct FieldChange {
    std::string field;
    std::string a;
    std::string b;
};

struct RegisterComparison {
    int reg = 0;  // 00h..1Dh, or 2Ah..2Ch
    int a = 0;
    int b = 0;
    // The register takes writes and differs in a bit the chip stores: a
    // difference that applying a snapshot mends.
    bool differs = false;
    // A read-only or status register whose values differ: for information.
    bool informationDiffers = false;
    std::vector<FieldChange> fields;  // the named settings that differ
};

struct EepromDifference {
    unsigned address = 0;
    int a = 0;
    int b = 0;
};

struct Comparison {
    std::vector<RegisterComparison> registers;  // 00h..1Dh, then 2Ah..2Ch
    std::vector<EepromDifference> eeprom;       // the bytes that differ, by address

    int registerDifferences() const;
    int writableRegisters() const;
    // No register difference and no EEPROM difference; status, read-only
    // registers, address, time and version do not count.
    bool identical() const;
};

Comparison compare(const Snapshot& a, const Snapshot& b);

// "register 16h Current Sense Config 1: 2Dh on A, 35h on B  Gain: 175x on A, 230x on B"
std::string registerLine(const RegisterComparison& r);
// "EEPROM 8105h: 12h on A, 34h on B"
std::string eepromLine(const EepromDifference& d);
// "identical: 23 of 25 writable registers, 511 of 512 EEPROM bytes"
std::string summaryLine(const Comparison& c);

// The whole report: one line per difference, the summary, then one line per
// difference that is for information only ("for information: ...").
std::vector<std::string> reportLines(const Comparison& c);

}  // namespace kestrel::snapshot
