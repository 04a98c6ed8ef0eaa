#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bus/transfer.h"
#include "remote/command_tree.h"
#include "remote/scpi_parser.h"

namespace kestrel {
class JobControl;
namespace script {
struct Script;
}
namespace snapshot {
struct Snapshot;
}
}  // namespace kestrel

// One client of the remote server: its own framer, parser, error queue and
// status bytes, and its commands run one after another in the order they
// came. Bus work goes to the bus owner as a job; the client's next command
// waits for it, the server does not. No Qt and no sockets: the server feeds
// it bytes and sends what it writes.
namespace kestrel::remote {

// How the server was started; the same for every client.
struct ServerSettings {
    bool readOnly = false;  // every command that writes is refused (-203)
    // Files a script may name are inside this folder; none at all when empty.
    std::string filesDir;
    bool noBackup = false;  // no automatic EEPROM backup before a change
    unsigned slave = 0xAE;  // the KESTREL's address byte
    // Where the automatic EEPROM backups go; "" when there is no folder.
    std::function<std::string()> backupFolder;
};

// The last transactions in the bus monitor's words, for BUS:MONitor?.
class MonitorLines final : public TransactionObserver {
  public:
    void transactionEnded(const TransactionRecord& record) override;
    // The last `n` (fewer when there are not so many), oldest first.
    std::vector<std::string> last(std::size_t n) const;

  private:
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
};

// What every client of one server shares.
struct Shared {
    ServerSettings settings;
    std::uint64_t lockHolder = 0;  // the client holding SYSTem:LOCK, 0 for none
    MonitorLines monitor;
};

// What a bus job hands back to its client.
struct BusReply {
    std::optional<std::string> response;  // nothing: the query has no answer
    std::vector<Error> errors;
    std::optional<std::vector<std::string>> steps;  // SCRipt:RUN's step table
    bool backedUp = false;                          // the EEPROM backup was taken
};

// Where a client's bus work runs: on the bus owner's thread, its reply
// back on the client's thread (never when the client is gone by then).
class BusRunner {
  public:
    using Work = std::function<BusReply(JobControl&)>;
    virtual ~BusRunner() = default;
    // The job's id; 0 when nothing more is taken (the program is ending).
    virtual std::uint64_t run(Work work, std::function<void(BusReply&)> done) = 0;
    virtual void stop(std::uint64_t id) = 0;
};

class ClientSession {
  public:
    // `write` sends bytes to the client.
    ClientSession(std::uint64_t id, Shared& shared, BusRunner& runner,
                  std::function<void(const std::string&)> write);
    // Gives the lock back. A job under way finishes on its own.
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Bytes from the client: each message they complete is checked as a
    // whole (a fault anywhere in it: one error, nothing of it runs) and
    // queued; commands run as far as they can without waiting.
    void receive(std::string_view bytes);

    std::uint64_t id() const { return id_; }
    // A job of this client is on the bus or waiting for it.
    bool busy() const { return job_ != 0; }
    // Messages checked and waiting to run.
    std::size_t pending() const { return queue_.size(); }
    std::size_t errorCount() const { return errors_.size(); }
    // What the client is doing, for the server's list of clients.
    const std::string& lastCommand() const { return lastCommand_; }

  private:
    // A call with what was read for it from its parameters beforehand.
    struct Prepared {
        Call call;
        std::shared_ptr<const script::Script> script;
        std::shared_ptr<const snapshot::Snapshot> snapshot;
        int reg = -1, highBit = 0, lowBit = 0;  // REGister:FIELD
        std::string pattern;                    // REGister:FIELD: the setting's bits
    };
    struct Pending {
        std::uint64_t serial = 0;
        std::optional<Error> error;  // the message stands for this error alone
        std::vector<Prepared> calls;
        std::size_t next = 0;
        std::vector<std::string> responses;
    };

    std::optional<Error> prepare(Prepared& p) const;
    void pump();
    void reset();
    void immediate(const Prepared& p, Pending& m);
    bool submit(const Prepared& p);
    void finished(std::uint64_t serial, BusReply& reply);
    void pushError(Error e);
    std::uint8_t statusByte() const;

    std::uint64_t id_;
    Shared& shared_;
    BusRunner& runner_;
    std::function<void(const std::string&)> write_;
    Framer framer_;
    std::deque<Pending> queue_;
    std::uint64_t serials_ = 0;
    std::uint64_t job_ = 0;  // the job in flight, 0 for none
    std::deque<Error> errors_;
    std::uint8_t esr_ = 0, ese_ = 0, sre_ = 0;
    bool eraseAuto_ = false;
    bool backedUp_ = false;
    std::vector<std::string> steps_;  // the last script's step table
    std::string lastCommand_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace kestrel::remote
