#pragma once

#include <string>
#include <vector>

#include "batch/batch_session.h"
#include "batch/command_line.h"
#include "batch/json.h"
#include "device/eeprom.h"
#include "device/outcome.h"

// The batch commands, on the device layer's transactions. Each fills a
// report; the caller prints it as text or JSON and exits with its code.
namespace kestrel::batch {

struct Report {
    int code = kOk;
    std::string text;                 // standard output in text mode
    std::vector<std::string> errors;  // why the command failed, one line each
    std::vector<std::string> notes;   // what else the user should know
    json::Object json;                // the command's own members of the JSON result

    // Adds a line saying why the command failed; the first failure sets the code.
    void fail(const std::string& line, int failCode = kBusFault) {
        errors.push_back(line);
        if (code == kOk || (failCode == kNoPort && code == kBusFault)) code = failCode;
    }
    // Takes a refused operation's reason (exit 3 when the bus refused, 1 for
    // an address refused before anything was sent); false when it was refused.
    bool ran(const Outcome& o);
    // The same for a run of EEPROM steps; a port that failed in it is exit 3.
    bool ran(const eeprom::Run& run);
    // At most this many failures are named one by one.
    static constexpr std::size_t kNamedFailures = 8;
};

// Runs `inv` (a Mode::Batch invocation). `input` holds the data bytes of the
// command's input file (eeprom write, eeprom restore), already checked;
// `output` is the prepared output file of eeprom read --out and eeprom backup.
class OutputFile;
void runCommand(Session& s, const Invocation& inv, const std::vector<int>& input,
                OutputFile* output, std::ostream& standardOutput, Report& report);

// Reads the whole EEPROM and saves it as a new file in `directory`, named
// after the slave address and `when`. False (with the reason in the report,
// code 2 or 1) when a byte could not be read or the file not written; the
// EEPROM has not been touched then.
bool backUpEeprom(Session& s, unsigned slave, const std::string& directory, std::time_t when,
                  Report& report, std::string& savedTo);

}  // namespace kestrel::batch
