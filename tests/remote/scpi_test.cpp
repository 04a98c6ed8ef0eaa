// The SCPI server's reading of what clients send, and each client's session,
// without a network or a bus: what reaches the bus is what a fake runner is
// handed.
#include <gtest/gtest.h>

#include <filesystem>

#include "remote/client_session.h"
#include "remote/limits.h"

namespace kestrel::remote {
namespace {

TEST(ScpiParser, EachMessageIsMatchedAndCheckedWhole) {
    struct Case {
        std::string text;
        int code;  // 0: accepted
        std::vector<CommandId> ids = {};
        std::vector<std::int64_t> numbers = {};  // of the last command
    };
    const std::vector<Case> cases = {
        {"*IDN?", 0, {CommandId::Idn}},
        {"reg? 14", 0, {CommandId::RegisterQuery}, {14}},
        {":REGISTER:VALUE? #H0E", 0, {CommandId::RegisterQuery}, {14}},
        {"REG 14,#B101 ;*OPC?", 0, {CommandId::Register, CommandId::OperationCompleteQuery}},
        {"REG? 1E1", 0, {CommandId::RegisterQuery}, {10}},
        {"SYST:LOCK:REQ?;REL", 0, {CommandId::LockRequest, CommandId::LockRelease}},
        {"SYST:ERR?;:SYST:ERR:NEXT?", 0, {CommandId::ErrorNext, CommandId::ErrorNext}},
        {"EEPROM:DATA? 32768,512", 0, {CommandId::EepromDataQuery}, {0x8000, 512}},
        {"EEPROM:ERAS:AUTO ON", 0, {CommandId::EraseAuto}, {1}},
        {"REG:FIELD \"Gain\",'175x'", 0, {CommandId::Field}},
        {"   ", 0, {}},
        {"REGI? 14", code::kUndefinedHeader},
        {"*IDN", code::kUndefinedHeader},
        {"REG? 256", code::kOutOfRange},
        {"REG? 1.5", code::kOutOfRange},
        {"REG? \"14\"", code::kDataType},
        {"REG?", code::kMissingParameter},
        {"REG? 1,2", code::kParameterNotAllowed},
        {"REG? 14 15", code::kSyntax},
        {"REG? 14;", code::kSyntax},
        {"REG?14", code::kSyntax},
        {"REG? 5MS", code::kSyntax},
        {"REG:FIELD? \"Gain", code::kSyntax},
        {std::string("REG? \x01\xff", 7), code::kSyntax},
        {"EEPROM:DATA? #H81FF,2", code::kOutOfRange},
        {"EEPROM:ERAS #H8001", code::kOutOfRange},
        {"EEPROM:DATA 32768,#15abc", code::kSyntax},
        {"EEPROM:DATA 32768,#0abc", code::kDataType},
        {"EEPROM:DATA 32768,#10", code::kMissingParameter},
        {"SWIT 145,1", code::kOutOfRange},
        // A fault anywhere refuses the whole message: nothing before it runs.
        {"REG 14,1;BOGUS", code::kUndefinedHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Resolved r = resolve(parseMessage(c.text));
        EXPECT_EQ(r.error ? r.error->code : 0, c.code) << (r.error ? r.error->detail : "");
        if (c.code != 0) {
            EXPECT_TRUE(r.calls.empty());
            continue;
        }
        ASSERT_EQ(r.calls.size(), c.ids.size());
        for (std::size_t k = 0; k < c.ids.size(); ++k) EXPECT_TRUE(r.calls[k].is(c.ids[k]));
        if (!c.numbers.empty()) {
            EXPECT_EQ(r.calls.back().numbers, c.numbers);
        }
    }
}

TEST(ScpiFramer, BlocksCarryAnyBytesAndLimitsDropWhatTheyRefuse) {
    Framer f;
    std::vector<Framer::Framed> out;
    // A block's LF is data; a string's LF ends the message (a lost quote
    // never swallows the next lines).
    f.feed("EEPROM:DATA 32768,#15a\nb\ncd\nREG? \"x\n*IDN?\n", out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].text,
              "EEPROM:DATA 32768,#15a\nb\nc"
              "d");
    EXPECT_EQ(out[1].text, "REG? \"x");
    EXPECT_EQ(out[2].text, "*IDN?");

    // A line past the limit: -363, its rest dropped, the next one read.
    out.clear();
    f.feed(std::string(kMaxLineBytes + 10, 'A') + "\n*CLS\n", out);
    ASSERT_EQ(out.size(), 2u);
    ASSERT_TRUE(out[0].error);
    EXPECT_EQ(out[0].error->code, code::kInputOverrun);
    EXPECT_TRUE(out[0].text.empty());
    EXPECT_EQ(out[1].text, "*CLS");

    // A block past the limit: -223, and its bytes (commands among them)
    // are skipped unread, never taken for messages.
    out.clear();
    const std::size_t big = kMaxBlockBytes + 1;
    std::string bytes = "EEPROM:DATA 32768,#7" + std::to_string(big);
    const std::size_t header = bytes.size();
    while (bytes.size() < header + big) bytes += "REG 14,0\n";
    bytes.resize(header + big);
    f.feed(bytes + "\n*OPC?\n", out);
    ASSERT_EQ(out.size(), 2u);
    ASSERT_TRUE(out[0].error);
    EXPECT_EQ(out[0].error->code, code::kTooMuchData);
    EXPECT_EQ(out[1].text, "*OPC?");
    EXPECT_LT(f.held(), 16u);
}

// Hands bus work to the test: nothing runs until the test says so.
class FakeRunner final : public BusRunner {
  public:
    std::uint64_t run(Work work, std::function<void(BusReply&)> done) override {
        jobs.push_back({++last, std::move(work), std::move(done)});
        return last;
    }
    void stop(std::uint64_t id) override { stopped.push_back(id); }
    // Ends the oldest job with `reply`.
    void finish(BusReply reply) {
        auto job = std::move(jobs.front());
        jobs.erase(jobs.begin());
        job.done(reply);
    }
    struct Job {
        std::uint64_t id;
        Work work;
        std::function<void(BusReply&)> done;
    };
    std::vector<Job> jobs;
    std::vector<std::uint64_t> stopped;
    std::uint64_t last = 0;
};

struct Client {
    Client(Shared& shared, std::uint64_t id)
        : session(id, shared, runner, [this](const std::string& s) { written += s; }) {}
    std::string ask(const std::string& text) {
        written.clear();
        session.receive(text);
        return written;
    }
    FakeRunner runner;
    std::string written;
    ClientSession session;
};

TEST(ScpiSession, BadInputLeavesAnErrorAndNeverABusJob) {
    Shared shared;
    Client c(shared, 1);
    for (const char* bad : {"REG 14,1;BOGUS\n", "REG? 300\n", "\x80\x81\x82\n", "REG? #H\n"})
        c.ask(bad);
    EXPECT_TRUE(c.runner.jobs.empty());
    EXPECT_EQ(c.ask("SYST:ERR:COUN?;*ESR?;*STB?\n"), "4;48;4\n")
        << "four errors, command and execution errors in the event status, error available in the "
           "status byte";
    EXPECT_EQ(c.ask("SYST:ERR?\n"), "-113,\"Undefined header; BOGUS\"\n");
    // The queue keeps its length; what overflows is said once, in the last entry.
    for (std::size_t k = 0; k < kErrorQueueLength + 5; ++k) c.ask("X\n");
    EXPECT_EQ(c.session.errorCount(), kErrorQueueLength);
    for (std::size_t k = 1; k < kErrorQueueLength; ++k) c.ask("SYST:ERR?\n");
    EXPECT_EQ(c.ask("SYST:ERR?\n").substr(0, 5), "-350,");
    EXPECT_EQ(c.ask("SYST:ERR?\n"), "0,\"No error\"\n");
}

TEST(ScpiSession, CommandsRunInOrderOneJobAtATime) {
    Shared shared;
    Client c(shared, 1);
    // The answers of one message come together, in order, once its job is done.
    EXPECT_EQ(c.ask("*OPC?;REG? 14;SYST:VERS?\nREG? 15\n"), "");
    ASSERT_EQ(c.runner.jobs.size(), 1u) << "the second message waits for the first";
    BusReply value;
    value.response = "4";
    c.runner.finish(value);
    EXPECT_EQ(c.written, "1;4;1999.0\n");
    ASSERT_EQ(c.runner.jobs.size(), 1u);
    // A query whose read failed answers nothing; its error is queued.
    BusReply failed;
    failed.errors.push_back({code::kNoAcknowledge, "No acknowledge from AEh"});
    c.written.clear();
    c.runner.finish(failed);
    EXPECT_EQ(c.written, "");
    EXPECT_EQ(c.ask("SYST:ERR?\n"), "1,\"No acknowledge; No acknowledge from AEh\"\n");

    // *RST acts as it arrives: the job under way is stopped, what waited dropped.
    c.ask("REG? 1\n");
    c.ask("REG? 2\n*RST;*OPC?\n");
    ASSERT_EQ(c.runner.jobs.size(), 1u);
    EXPECT_EQ(c.runner.stopped, std::vector<std::uint64_t>{c.runner.jobs[0].id});
    c.written.clear();
    c.runner.finish(value);
    EXPECT_EQ(c.written, "4\n1\n") << "REG? 2 was dropped";
    EXPECT_TRUE(c.runner.jobs.empty());

    // EEPROM:DATA erases what it writes only when told it may.
    c.ask("EEPROM:DATA 32768,#232" + std::string(32, 'x') + "\n");
    EXPECT_TRUE(c.runner.jobs.empty());
    EXPECT_EQ(c.ask("SYST:ERR?\n").substr(0, 5), "-221,");
    c.ask("EEPROM:ERAS:AUTO ON;:EEPROM:DATA 32768,#232" + std::string(32, 'x') + "\n");
    EXPECT_EQ(c.runner.jobs.size(), 1u);
}

TEST(ScpiSession, TheLockAndReadOnlyKeepOthersOffTheBus) {
    Shared shared;
    Client a(shared, 1), b(shared, 2);
    EXPECT_EQ(a.ask("SYST:LOCK:REQ?\n"), "1\n");
    EXPECT_EQ(b.ask("SYST:LOCK:REQ?;:REG? 14;REG 14,0;*OPC?\n"), "0;1\n");
    EXPECT_TRUE(b.runner.jobs.empty());
    EXPECT_EQ(b.ask("SYST:ERR:COUN?;:SYST:ERR?\n").substr(0, 7), "2;-203,");
    a.ask("REG? 14\n");
    EXPECT_EQ(a.runner.jobs.size(), 1u);
    a.ask("SYST:LOCK:REL\n");  // given back after the job it waits for
    a.runner.finish({});
    b.ask("REG? 14\n");
    EXPECT_EQ(b.runner.jobs.size(), 1u);
    {
        Client c(shared, 3);
        EXPECT_EQ(c.ask("SYST:LOCK:REQ?\n"), "1\n");
    }
    EXPECT_EQ(shared.lockHolder, 0u) << "a client that goes gives the lock back";

    Shared readOnly;
    readOnly.settings.readOnly = true;
    Client r(readOnly, 1);
    for (const char* writes :
         {"REG 14,0\n", "EEPROM:ERAS 32768\n", "SWIT 144,1\n", "SCR:RUN #210write 0E 0\n"})
        r.ask(writes);
    EXPECT_TRUE(r.runner.jobs.empty());
    EXPECT_EQ(r.ask("SYST:ERR:COUN?;:SYST:ERR?\n").substr(0, 7), "4;-203,");
    r.ask("SCR:RUN #17read 0E\n");
    EXPECT_EQ(r.runner.jobs.size(), 1u) << "a script that only reads runs";
}

TEST(ScpiSession, ScriptsNameFilesOnlyInsideTheFilesFolder) {
    const std::string dir = ::testing::TempDir() + "scpi-files";
    std::filesystem::create_directories(dir + "/in");
    struct Case {
        std::string folder, file;
        bool taken;
    };
    for (const Case& c : std::vector<Case>{{"", "out.snap", false},
                                           {dir + "/in", "out.snap", true},
                                           {dir + "/in", "../out.snap", false},
                                           {dir + "/in", "/etc/passwd", false}}) {
        SCOPED_TRACE(c.folder + " " + c.file);
        Shared shared;
        shared.settings.filesDir = c.folder;
        Client client(shared, 1);
        const std::string script = "snapshot save " + c.file + "\n";
        client.ask("SCR:RUN #2" + std::to_string(script.size()) + script + "\n");
        EXPECT_EQ(client.runner.jobs.size(), c.taken ? 1u : 0u);
        EXPECT_EQ(client.session.errorCount(), c.taken ? 0u : 1u);
    }
}

}  // namespace
}  // namespace kestrel::remote
