// Check scripts: any text. The checker either refuses it with a message for
// each error, each naming file:line:column, or hands on a script whose loops
// pair up and stay under the step limit. Accepted scripts without batch
// commands (which could name files) run on a simulated board, with waits
// that take no time, and end with one of the run's exit codes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "batch/batch_session.h"
#include "script/runner.h"
#include "script/script.h"
#include "simulator/simulated_board.h"

namespace {

using namespace kestrel;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<script::ParseError> errors;
    const auto parsed = script::parseScript(text, "fuzz.kes", errors);
    if (!parsed) {
        check(!errors.empty());
        for (const auto& e : errors) check(e.text.rfind("fuzz.kes", 0) == 0);
        return 0;
    }
    check(errors.empty());
    check(parsed->steps <= script::kMaxSteps);
    bool notRun = false;
    for (std::size_t i = 0; i < parsed->program.size(); ++i) {
        const script::Instruction& in = parsed->program[i];
        notRun = notRun || in.op == script::Op::Command;
        // A poll reads until its timeout: keep the runs short.
        if (in.op == script::Op::Poll &&
            (in.ms.variable >= 0 || in.every.variable >= 0 || in.ms.value / in.every.value > 50))
            notRun = true;
        if (in.op == script::Op::Repeat || in.op == script::Op::For) {
            check(in.partner > i && in.partner < parsed->program.size());
            check(parsed->program[in.partner].op == script::Op::End);
            check(parsed->program[in.partner].partner == i);
        }
    }
    if (notRun || parsed->steps > 5000) return 0;  // not run
    sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    batch::Environment env;
    env.port = &board;
    std::ostringstream err;
    batch::Session session(batch::Options{}, env, err);
    double now = 0;
    script::Hooks hooks;
    hooks.nowMs = [&now] { return now; };
    hooks.sleep = [&now](unsigned ms) {
        now += ms;
        return true;
    };
    script::RunSettings settings;
    settings.backup = false;
    script::Runner runner(*parsed, session, settings, hooks);
    runner.runAll();
    const int code = runner.exitCode();
    check(code == 0 || code == 2 || code == 5);
    check(runner.stepsDone() <= parsed->steps);
    return 0;
}
