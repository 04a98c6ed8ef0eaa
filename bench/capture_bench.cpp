// Opening a logic analyser's capture of 10 million transitions on SCL and
// SDA (about 100,000 register reads with PEC): reading the file and decoding
// it into the bus monitor's records, for each of the three formats. The
// files are written once before timing. Reported per format: the time of
// one open, the transactions found, and the peak resident memory an open
// adds (the kernel's high-water mark, reset before the opens).
#include <benchmark/benchmark.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bus/crc8.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kTransitions = 10'000'000;

// The line levels, one step per microsecond.
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
};

Steps session() {
    Steps s;
    s.add(true, true);
    for (unsigned n = 0; s.transitions < kTransitions; ++n) {
        const auto reg = static_cast<std::uint8_t>(n % 30);
        const auto value = static_cast<std::uint8_t>(n * 37);
        s.start();
        s.byte(0xAE, true);
        s.byte(reg, true);
        s.add(false, true);
        s.start();
        s.byte(0xAF, true);
        s.byte(value, true);
        s.byte(kestrel::smbusPec({0xAE, reg, 0xAF, value}), false);
        s.add(false, false);
        s.add(true, false);
        s.add(true, true);
    }
    s.add(true, true);
    return s;
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
        {
            std::ofstream out(vcd);
            out << "$timescale 1 us $end\n$var wire 1 ! SCL $end\n$var wire 1 \" SDA $end\n"
                   "$enddefinitions $end\n";
            std::uint8_t last = 0xFF;
            for (std::size_t i = 0; i < s.levels.size(); ++i) {
                const std::uint8_t v = s.levels[i];
                if (v == last) continue;
                out << '#' << i << '\n';
                if (last == 0xFF || ((v ^ last) & 1)) out << ((v & 1) ? "1!\n" : "0!\n");
                if (last == 0xFF || ((v ^ last) & 2)) out << ((v & 2) ? "1\"\n" : "0\"\n");
                last = v;
            }
            out << '#' << s.levels.size() << '\n';
        }
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
    std::size_t records = 0;
    (void)files();
    // The peak from here on: the opens, not the writing of the files.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = statusMb("VmRSS");
    for (auto _ : state) {
        const auto read = kestrel::capture::readCaptureFile(path, {});
        if (!read.lines) {
            state.SkipWithError(read.error.c_str());
            return;
        }
        if (read.lines->transitions() != files().transitions)
            state.SkipWithError("transitions lost");
        const auto decoded = kestrel::capture::decodeCapture(*read.lines);
        records = decoded.size();
        benchmark::DoNotOptimize(decoded.data());
    }
    state.counters["transitions"] = static_cast<double>(files().transitions);
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

}  // namespace
