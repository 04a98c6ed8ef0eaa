// Check scripts: the cost of parsing and checking a long script, and of
// running register steps on the simulated board in one process, with the
// port accesses each step takes (a figure that does not depend on the
// machine). bench/script_vs_batch.sh times the same steps as one batch
// process each.
#include <benchmark/benchmark.h>

#include <sstream>

#include "batch/batch_session.h"
#include "bus/counting_port.h"
#include "script/runner.h"
#include "script/script.h"
#include "simulator/simulated_board.h"

namespace {

using namespace kestrel;

// 10,000 lines of every kind a script has, loops included.
std::string longScript() {
    std::string s = "on-error continue\n";
    static const char* const kinds[] = {
        "write 10 5A\n",
        "read 1D\n",
        "expect 10 5A mask F0\n",
        "log trim 09 00 01\n",
        "expect-eeprom 8000 01\n",
        "wait 0\n",
        "poll 0E 04 mask 04 timeout 10 every 1\n",
        "eeprom read 8100 4\n",
    };
    int lines = 1;
    while (lines + 3 <= 10000) {
        s += "for r in 3..1B step 4\n  write $r 00\nend\n";
        lines += 3;
        for (int k = 0; k < 8 && lines < 10000; ++k, ++lines) s += kinds[k];
    }
    return s;
}

void BM_ParseAndCheck10000Lines(benchmark::State& state) {
    const std::string source = longScript();
    for (auto _ : state) {
        std::vector<script::ParseError> errors;
        auto parsed = script::parseScript(source, "long.kes", errors);
        if (!parsed) state.SkipWithError(errors.front().text.c_str());
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["lines"] = 10000;
}
BENCHMARK(BM_ParseAndCheck10000Lines)->Unit(benchmark::kMillisecond);

// 10,000 register steps: 5,000 turns of a write and an expect.
void BM_Run10000RegisterSteps(benchmark::State& state) {
    std::vector<script::ParseError> errors;
    const auto parsed =
        script::parseScript("repeat 5000\nwrite 10 5A\nexpect 10 5A\nend\n", "steps.kes", errors);
    sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    CountingPort port(board);
    batch::Environment env;
    env.port = &port;
    std::ostringstream err;
    batch::Session session(batch::Options{}, env, err);
    std::uint64_t accesses = 0, steps = 0;
    for (auto _ : state) {
        script::RunSettings settings;
        settings.backup = false;
        const std::uint64_t before = port.accesses();
        script::Runner runner(*parsed, session, settings, {});
        runner.runAll();
        if (runner.exitCode() != 0 || runner.results().size() != 10000)
            state.SkipWithError("the steps did not all pass");
        accesses += port.accesses() - before;
        steps += runner.results().size();
    }
    state.counters["port_accesses_per_step"] =
        static_cast<double>(accesses) / static_cast<double>(steps);
    state.counters["steps_per_second"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Run10000RegisterSteps)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
