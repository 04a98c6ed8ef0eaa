#pragma once

#include <memory>
#include <string>

#include "connection/bus_owner.h"
#include "device/outcome.h"
#include "remote/client_session.h"
#include "remote/command_tree.h"

// The bus work of the remote commands, each run as one job on the bus
// owner's thread. A query whose transaction failed answers nothing and
// queues the reason in the windows' own words: never a made-up byte.
namespace kestrel::remote {

// One command's job, with everything it needs copied in: the job never
// touches its client, which may be gone by the time it ends.
struct BusTask {
    Call call;
    std::shared_ptr<const script::Script> script;
    std::shared_ptr<const snapshot::Snapshot> snapshot;
    int reg = -1, highBit = 0, lowBit = 0;  // REGister:FIELD
    std::string pattern;                    // REGister:FIELD: the setting's bits
    // The EEPROM is saved here before this command changes it; empty: no
    // backup (--no-backup, or this client has one already).
    std::string backupFolder;
    bool backupWanted = false;
};

BusReply runOnBus(JobControl& control, const BusTask& task);

// The error for an operation that did not go through: refused (with the
// reason), the port failed, no acknowledge, PEC mismatch.
Error outcomeError(const Outcome& o, const std::string& where);

// "KESTREL-EVAL,<port>,<chip>,<version>" without the reads (for a test).
std::string identity(const std::string& port, const std::string& chip);

}  // namespace kestrel::remote
