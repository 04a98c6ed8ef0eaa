// What a client sends the SCPI server: any bytes, in two pieces. Whatever
// they are, the session never crashes, never hands the bus more jobs than
// the messages that read cleanly hold bus commands (a malformed, oversized
// or binary message reaches no bus), and a last message that was refused
// leaves an error in the queue.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "remote/client_session.h"

namespace {

using namespace kestrel::remote;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class Runner final : public BusRunner {
  public:
    std::uint64_t run(Work, std::function<void(BusReply&)> done) override {
        pending.push_back(std::move(done));
        return ++jobs;
    }
    void stop(std::uint64_t) override {}
    std::vector<std::function<void(BusReply&)>> pending;
    std::uint64_t jobs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);

    // What the session should make of it, read on its own.
    Framer framer;
    std::vector<Framer::Framed> framed;
    framer.feed(bytes, framed);
    std::uint64_t busCalls = 0;
    bool lastRefused = false;
    for (const Framer::Framed& f : framed) {
        lastRefused = true;
        if (f.error) continue;
        const Resolved r = resolve(parseMessage(f.text));
        if (r.error) continue;
        lastRefused = false;
        for (const Call& c : r.calls) busCalls += (c.flags() & kBus) != 0 ? 1 : 0;
    }

    Shared shared;
    Runner runner;
    std::string written;
    ClientSession session(1, shared, runner, [&](const std::string& s) {
        check(!s.empty() && s.back() == '\n');
        written += s;
    });
    session.receive(std::string_view(bytes).substr(0, cut));
    session.receive(std::string_view(bytes).substr(cut));
    // Every job ends with nothing read: the session goes on to its end.
    while (!runner.pending.empty()) {
        auto done = std::move(runner.pending.front());
        runner.pending.erase(runner.pending.begin());
        BusReply reply;
        done(reply);
    }
    check(runner.jobs <= busCalls);
    check(session.pending() == 0 && !session.busy());
    if (lastRefused) check(session.errorCount() > 0);
    return 0;
}
