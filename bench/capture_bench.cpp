// Captures from logic analysers.
//
// Opening: a capture of 10 million transitions on SCL and SDA (about 100,000
// register reads with PEC) read and decoded as `decode` does, in each of the
// three formats; per format the time of one open, the transactions found and
// the peak resident memory an open adds (the kernel's high-water mark, reset
// before the opens).
//
// Against sigrok, side by side in one run: a sigrok session of 80,000
// transactions (about 50 million samples, written by sigrok-cli from a VCD)
// decoded by `kestrel-eval decode` and by `sigrok-cli -P i2c -A i2c`, each as
// a process of its own: the CPU time and peak memory of each (target: decode
// at most 64 MB, and at least 15 times faster).
//
// Hostile files, each through `kestrel-eval decode`: a sigrok session of a
// gigabyte of samples toggling on every one, an entry whose header claims
// 100 MB and holds 1,000 bytes, and a FIFO: the wall time and peak memory
// until the message (targets: under 5 s and 200 MB).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bus/crc8.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "support/capture_files.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kTransitions = 10'000'000;
constexpr unsigned kSigrokTransactions = 80'000;

// The line levels, one step per `quarter` microseconds of a bit.
struct Steps {
    std::vector<std::uint8_t> levels;  // bit 0 SCL, bit 1 SDA
    std::size_t transitions = 0;
    void add(bool scl, bool sda) {
        const auto v = static_cast<std::uint8_t>((scl ? 1 : 0) | (sda ? 2 : 0));
        if (!levels.empty())
            transitions += __builtin_popcount(static_cast<unsigned>(levels.back() ^ v));
        levels.push_back(v);
    }
    void byte(std::uint8_t b, bool ack) {
        for (int i = 7; i >= -1; --i) {
            const bool bit = i >= 0 ? ((b >> i) & 1) != 0 : !ack;
            add(false, bit);
            add(true, bit);
            add(false, bit);
        }
    }
    void start() {
        add(true, true);
        add(true, false);
        add(false, false);
    }
    // A register read with its PEC.
    void readByte(unsigned n) {
        const auto reg = static_cast<std::uint8_t>(n % 30);
        const auto value = static_cast<std::uint8_t>(n * 37);
        start();
        byte(0xAE, true);
        byte(reg, true);
        add(false, true);
        start();
        byte(0xAF, true);
        byte(value, true);
        byte(kestrel::smbusPec({0xAE, reg, 0xAF, value}), false);
        add(false, false);
        add(true, false);
        add(true, true);
    }
};

Steps session() {
    Steps s;
    s.add(true, true);
    for (unsigned n = 0; s.transitions < kTransitions; ++n) s.readByte(n);
    s.add(true, true);
    return s;
}

// Writes `s` as a VCD, each step `unitsPerStep` units of 1 us, idle `gap` units
// after each transaction's STOP.
void writeVcd(const std::string& path, const Steps& s, unsigned unitsPerStep = 1) {
    std::ofstream out(path);
    out << "$timescale 1 us $end\n$var wire 1 ! SCL $end\n$var wire 1 \" SDA $end\n"
           "$enddefinitions $end\n";
    std::uint8_t last = 0xFF;
    for (std::size_t i = 0; i < s.levels.size(); ++i) {
        const std::uint8_t v = s.levels[i];
        if (v == last) continue;
        out << '#' << i * unitsPerStep << '\n';
        if (last == 0xFF || ((v ^ last) & 1)) out << ((v & 1) ? "1!\n" : "0!\n");
        if (last == 0xFF || ((v ^ last) & 2)) out << ((v & 2) ? "1\"\n" : "0\"\n");
        last = v;
    }
    out << '#' << s.levels.size() * unitsPerStep << '\n';
}

struct Files {
    fs::path dir = fs::temp_directory_path() / "kestrel_capture_bench";
    std::string vcd, sr, csv;
    std::size_t transitions = 0;

    Files() {
        fs::create_directories(dir);
        const Steps s = session();
        transitions = s.transitions;
        vcd = (dir / "capture.vcd").string();
        sr = (dir / "capture.sr").string();
        csv = (dir / "capture.csv").string();
        writeVcd(vcd, s);
        {
            std::ofstream out(csv);
            out << "Time [s],SCL,SDA\n";
            std::uint8_t last = 0xFF;
            char row[64];
            for (std::size_t i = 0; i < s.levels.size(); ++i) {
                const std::uint8_t v = s.levels[i];
                if (v == last) continue;
                std::snprintf(row, sizeof row, "%.9f,%d,%d\n", static_cast<double>(i) * 1e-6, v & 1,
                              (v >> 1) & 1);
                out << row;
                last = v;
            }
        }
        {
            int error = 0;
            zip_t* z = zip_open(sr.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
            static const std::string version = "2";
            static const std::string metadata =
                "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal "
                "probes=2\n"
                "samplerate=1 MHz\ntotal analog=0\nprobe1=SCL\nprobe2=SDA\nunitsize=1\n";
            zip_file_add(z, "version", zip_source_buffer(z, version.data(), version.size(), 0), 0);
            zip_file_add(z, "metadata", zip_source_buffer(z, metadata.data(), metadata.size(), 0),
                         0);
            constexpr std::size_t kChunk = 4 << 20;  // as sigrok writes them
            for (std::size_t c = 0; c * kChunk < s.levels.size(); ++c) {
                const std::size_t n = std::min(kChunk, s.levels.size() - c * kChunk);
                zip_file_add(z, ("logic-1-" + std::to_string(c + 1)).c_str(),
                             zip_source_buffer(z, s.levels.data() + c * kChunk, n, 0), 0);
            }
            zip_close(z);
        }
    }
    ~Files() { fs::remove_all(dir); }
};

Files& files() {
    static Files f;
    return f;
}

// A line of /proc/self/status in megabytes ("VmHWM", "VmRSS").
double statusMb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(line.find(':') + 1)) / 1024.0;
    return -1;
}

void open(benchmark::State& state, const std::string& path) {
    std::uint64_t records = 0, transitions = 0;
    (void)files();
    // The peak from here on: the opens, not the writing of the files.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = statusMb("VmRSS");
    for (auto _ : state) {
        records = 0;
        kestrel::capture::CaptureDecoder decoder([&](kestrel::TransactionRecord&) { ++records; },
                                                 0xAE, false);
        const auto read = kestrel::capture::readCaptureFile(path, {}, decoder);
        if (!read.ok) {
            state.SkipWithError(read.error.c_str());
            return;
        }
        transitions = read.transitions;
    }
    if (transitions != files().transitions) state.SkipWithError("transitions lost");
    state.counters["transitions"] = static_cast<double>(transitions);
    state.counters["transactions"] = static_cast<double>(records);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
    state.counters["peak_MB"] = statusMb("VmHWM") - before;
}

void Vcd(benchmark::State& state) {
    open(state, files().vcd);
}
void SigrokSession(benchmark::State& state) {
    open(state, files().sr);
}
void SaleaeCsv(benchmark::State& state) {
    open(state, files().csv);
}
BENCHMARK(Vcd)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SigrokSession)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SaleaeCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

// A command run as a process of its own, its output thrown away.
struct Run {
    int status = -1;
    double cpuSeconds = 0, wallSeconds = 0, peakMb = 0;
};
Run run(const std::vector<std::string>& args) {
    Run r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    struct rusage usage {};
    wait4(pid, &r.status, 0, &usage);
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return r;
}

void DecodeBesideSigrok(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / "kestrel_capture_bench_sigrok";
    fs::create_directories(dir);
    const std::string vcd = (dir / "session.vcd").string(), sr = (dir / "session.sr").string();
    std::size_t samples = 0;
    {
        // Three microseconds a step, a pause after each transaction.
        Steps s;
        s.add(true, true);
        for (unsigned n = 0; n < kSigrokTransactions; ++n) {
            s.readByte(n);
            for (int i = 0; i < 56; ++i) s.add(true, true);
        }
        writeVcd(vcd, s, 3);
        samples = s.levels.size() * 3;
    }
    if (run({"sigrok-cli", "-I", "vcd", "-i", vcd, "-o", sr}).status != 0) {
        state.SkipWithError("sigrok-cli could not write the session");
        return;
    }
    Run ours, theirs;
    for (auto _ : state) {
        ours = run({KESTREL_EVAL_BINARY, "decode", sr});
        theirs = run({"sigrok-cli", "-i", sr, "-P", "i2c", "-A", "i2c"});
    }
    if (ours.status != 0 || theirs.status != 0) state.SkipWithError("a decoder failed");
    state.counters["samples_M"] = static_cast<double>(samples) / 1e6;
    state.counters["decode_cpu_s"] = ours.cpuSeconds;
    state.counters["decode_peak_MB"] = ours.peakMb;
    state.counters["sigrok_cpu_s"] = theirs.cpuSeconds;
    state.counters["sigrok_peak_MB"] = theirs.peakMb;
    state.counters["times_faster"] = theirs.cpuSeconds / ours.cpuSeconds;
    fs::remove_all(dir);
}
BENCHMARK(DecodeBesideSigrok)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// `kestrel-eval decode` on a hostile file: until its message.
void hostile(benchmark::State& state, const std::string& name, const std::string& content) {
    const fs::path dir = fs::temp_directory_path() / "kestrel_capture_bench_hostile";
    fs::create_directories(dir);
    const std::string path = (dir / name).string();
    if (content.empty())
        mkfifo(path.c_str(), 0600);
    else
        std::ofstream(path, std::ios::binary) << content;
    Run r;
    for (auto _ : state) r = run({KESTREL_EVAL_BINARY, "decode", path});
    if (r.status == -1 || !WIFEXITED(r.status) || WEXITSTATUS(r.status) != 1)
        state.SkipWithError("decode did not refuse the file");
    state.counters["wall_s"] = r.wallSeconds;
    state.counters["peak_MB"] = r.peakMb;
    fs::remove_all(dir);
}

const std::string kMetadata =
    "[device 1]\ncapturefile=logic-1\nsamplerate=1 MHz\nprobe1=SCL\nprobe2=SDA\nunitsize=1\n";

void TogglingGigabyte(benchmark::State& state) {
    using namespace kestrel::testing;
    hostile(state, "toggling.sr",
            handMadeZip({storedEntry("version", "2"), storedEntry("metadata", kMetadata),
                         togglingEntry("logic-1-1", 1u << 30)}));
}
void LyingEntryHeader(benchmark::State& state) {
    using namespace kestrel::testing;
    auto lying = deflatedEntry("logic-1-1", std::string(1000, '\x03'));
    lying.size = 100'000'000;
    hostile(state, "lying.sr",
            handMadeZip({storedEntry("version", "2"), storedEntry("metadata", kMetadata), lying}));
}
void Fifo(benchmark::State& state) {
    hostile(state, "capture.vcd", "");
}
BENCHMARK(TogglingGigabyte)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(LyingEntryHeader)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(Fifo)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
