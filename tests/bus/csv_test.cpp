// The monitor's CSV export read back by Python's csv module: a port error
// with a comma and quotes, or with a line end, stays one field of its row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bus/record_export.h"
#include "support/python_csv.h"

namespace kestrel {
namespace {

TEST(Csv, TheMonitorsExportIsOneFieldPerColumnForPython) {
    TransactionRecord claimed;
    claimed.startMs = 29560.7241;
    claimed.kind = "Read Byte";
    claimed.sent = {{0xAE, 1}, {0x1D, -1}};
    claimed.portError = "LPT1 port error: cannot be claimed, another driver holds it (\"lp\")";
    TransactionRecord plain;
    plain.startMs = 29561.5;
    plain.kind = "Write Byte";
    plain.target = 0x0E;
    plain.sent = {{0xAE, 1}, {0x0E, 1}, {0x04, 0}};
    plain.portError = "I2C adapter error\r\nremoved";
    const std::string path = std::filesystem::temp_directory_path() /
                             ("kestrel_monitor_" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(path, std::ios::binary);
        record_export::writeCsv(out, {&claimed, &plain});
    }
    const auto rows = testing::pythonCsvRows(path);
    std::filesystem::remove(path);
    using Row = std::vector<std::string>;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (Row{"time_ms", "kind", "address", "target", "bytes", "pec", "pec_expected",
                            "problem"}));
    EXPECT_EQ(rows[1], (Row{"29560.724", "Read Byte", "AE", "", record_export::bytesText(claimed),
                            "", "", claimed.portError}));
    EXPECT_EQ(rows[2], (Row{"29561.500", "Write Byte", "AE", "0E", record_export::bytesText(plain),
                            "", "", plain.portError}));
}

}  // namespace
}  // namespace kestrel
