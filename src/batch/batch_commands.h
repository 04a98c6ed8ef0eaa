#pragma once

#include <ostream>
#include <string>

#include "batch/batch_session.h"

// The batch commands, each on the same transactions the windows use. Each
// returns an exit code; bus faults seen meanwhile are added by the caller.
namespace kestrel::batch {

int readRegister(Session& s, unsigned reg, std::ostream& out);
int writeRegister(Session& s, unsigned reg, unsigned data);
int dumpRegisters(Session& s, std::ostream& out);
int status(Session& s, std::ostream& out);
int writeSwitch(Session& s, unsigned address, unsigned data);
int blockReadCommand(Session& s, unsigned base, std::ostream& out);
int eepromRead(Session& s, unsigned base, const std::string& outFile, std::ostream& out,
               std::ostream& err);
int eepromDump(Session& s, std::ostream& out);
int eepromWrite(Session& s, unsigned base, const std::string& file, bool erase, bool verify,
                std::ostream& err);
int eepromErase(Session& s, unsigned page);
int eepromZero(Session& s, unsigned page);

}  // namespace kestrel::batch
