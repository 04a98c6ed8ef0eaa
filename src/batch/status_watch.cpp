#include "batch/status_watch.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "batch/batch_session.h"
#include "bus/decimal.h"
#include "chip/status_registers.h"
#include "device/outcome.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

struct Pass {
    std::array<int, 6> values{};  // -1: not read cleanly
    bool failed = false;
};

std::string value(int v) {
    return v < 0 ? std::string("XX") : text::byteText(static_cast<unsigned>(v));
}

}  // namespace

void statusWatch(Session& s, const Invocation& inv, std::ostream& out, Report& report) {
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const bool json = inv.options.json;
    if (inv.csv) out << "time_s,00h,01h,02h,2Ah,2Bh,2Ch\n";
    Pass last;
    bool first = true;
    for (unsigned long n = 0; inv.count == 0 || n < inv.count; ++n) {
        // A signal ends the wait between passes at once.
        if (n > 0 && !s.sleep(static_cast<unsigned>(inv.interval * 1000.0 + 0.5))) break;
        if (s.stopRequested()) break;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const double t = static_cast<double>(now.tv_sec - start.tv_sec) +
                         static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
        Pass pass;
        for (std::size_t i = 0; i < status::kRegisters.size(); ++i) {
            const ByteOutcome o = s.device().ReadRegister(status::kRegisters[i]);
            if (o.refused()) {
                report.code = kNoPort;
                report.errors.push_back(o.refusal);
                return;
            }
            pass.values[i] = o.ok() ? o.value : -1;
            if (!o.ok()) {
                pass.failed = true;
                report.code = o.portFailed() ? kNoPort : kBusFault;
                const std::string line =
                    "read of " + value(status::kRegisters[i]) + "h: " + o.problem();
                // Each distinct failure once, and only a few: a watch may run for days.
                if (report.errors.size() < 8 &&
                    std::find(report.errors.begin(), report.errors.end(), line) ==
                        report.errors.end())
                    report.errors.push_back(line);
            }
        }
        // The bits that changed since the last pass, by name.
        std::string changed;
        for (std::size_t i = 0; i < pass.values.size() && !first; ++i) {
            if (pass.values[i] < 0 || last.values[i] < 0) continue;
            const int diff = pass.values[i] ^ last.values[i];
            for (int bit = 7; bit >= 0; --bit) {
                if (((diff >> bit) & 1) == 0) continue;
                changed += std::string(changed.empty() ? "" : " ") +
                           status::bitName(static_cast<int>(i), bit) + "(" +
                           value(status::kRegisters[i]) + "h)" +
                           (((pass.values[i] >> bit) & 1) ? "+" : "-");
            }
        }
        const std::string time = decimal::fixed(t, 3);
        if (inv.csv) {
            out << time;
            for (int v : pass.values) out << ',' << (v < 0 ? std::string() : value(v) + "h");
            out << '\n';
        } else if (json) {
            out << "{\"time_s\":" << time << ",\"registers\":{";
            for (std::size_t i = 0; i < pass.values.size(); ++i)
                out << (i ? "," : "") << "\"" << value(status::kRegisters[i]) << "h\":"
                    << (pass.values[i] < 0 ? std::string("null")
                                           : "\"" + value(pass.values[i]) + "h\"");
            out << "},\"changed\":\"" << changed << "\"}\n";
        } else {
            out << time << " s ";
            for (std::size_t i = 0; i < pass.values.size(); ++i)
                out << ' ' << value(status::kRegisters[i]) << '=' << value(pass.values[i]);
            if (!changed.empty()) out << "  changed: " << changed;
            out << '\n';
        }
        out.flush();
        last = pass;
        first = false;
    }
}

}  // namespace kestrel::batch
