#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <clocale>

#include "bus/crc8.h"
#include "bus/record_export.h"
#include "bus_monitor/bus_monitor_model.h"
#include "bus_monitor/bus_monitor_window.h"
#include "support/app_rig.h"
#include "support/capture_files.h"
#include "support/random_session.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

TEST(BusMonitor, ListsTransactionsHighlightsFaultsAndExportsWhatItLists) {
    testing::AppRig app;
    BusMonitorWindow* w = app.open<BusMonitorWindow>("mnuBusMonitor", "frm_BusMonitor");
    ASSERT_NE(w, nullptr);
    BusMonitorModel& model = w->model();
    auto& chip = app.board().kestrel();

    app.click("ByteReadCMD");
    EXPECT_EQ(app.status(), "") << "no fault, no message";
    chip.setPresent(false);
    app.click("ByteReadCMD");
    EXPECT_EQ(app.status(), "No acknowledge from AEh");
    chip.setPresent(true);
    app.click("ByteReadCMD");
    EXPECT_EQ(app.status(), "") << "a clean transaction takes the note away";
    chip.setCorruptPec(true);
    app.click("ByteReadCMD");
    const unsigned pec = smbusPec({0xAE, 0x00, 0xAF, 0x01});  // Status1 reads 01h
    EXPECT_EQ(app.status(), "PEC mismatch at 00h: received " + testing::hex(pec ^ 0x5A, 2) +
                                ", expected " + testing::hex(pec, 2));
    chip.setCorruptPec(false);
    app.choose("SlaveAddress", "A2h");
    app.click("ByteWriteCMD");
    EXPECT_EQ(app.status(), "No acknowledge from A2h");
    app.choose("SlaveAddress", "AEh");
    app.board().wire().setSdaStuckLow(true);
    app.click("ByteReadCMD");
    EXPECT_EQ(app.status(), "SDA stuck low");
    app.board().wire().setSdaStuckLow(false);

    model.flush();
    ASSERT_EQ(model.rowCount(), 6);
    const std::vector<bool> faulty = {false, true, false, true, true, true};
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(model.data(model.index(row, 0), Qt::BackgroundRole).isValid(), faulty[row])
            << row;
        EXPECT_EQ(
            model.data(model.index(row, BusMonitorModel::Result), Qt::DisplayRole).toString() ==
                "ok",
            !faulty[row])
            << row;
    }
    EXPECT_EQ(model.data(model.index(0, BusMonitorModel::Kind), Qt::DisplayRole).toString(),
              "Read Byte");
    EXPECT_EQ(model.data(model.index(0, BusMonitorModel::Target), Qt::DisplayRole).toString(),
              "00h");
    EXPECT_TRUE(model.data(model.index(0, BusMonitorModel::Pec), Qt::DisplayRole)
                    .toString()
                    .endsWith(" ok"));

    w->togglePause();
    app.click("ByteReadCMD");
    model.flush();
    EXPECT_EQ(model.rowCount(), 6) << "paused";
    w->togglePause();
    w->clear();
    EXPECT_EQ(model.rowCount(), 0);

    app.board().wire().setSdaStuckLow(true);
    app.trigger("mnuPortTest");
    EXPECT_EQ(app.dialogs.messages.back(), "KESTREL Eval|Port test: SDA stuck low");
    app.trigger("mnuBusClear");
    EXPECT_EQ(app.status(), "Bus clear: SDA is still held low.");
    app.board().wire().setSdaStuckLow(false);
    w->clear();

    // The exported VCD decodes to the listed bytes, and the CSV has a row each.
    QTemporaryDir dir;
    app.click("ByteReadCMD");
    app.click("Command1");
    app.click("EEByteReadCMD");
    app.board().kestrel().setPresent(false);
    app.click("ByteReadCMD");
    app.board().kestrel().setPresent(true);

    const QString vcd = dir.filePath("bus.vcd"), csv = dir.filePath("bus.csv");
    app.dialogs.fileNames = {vcd, csv};
    w->exportVcd();
    w->exportCsv();

    std::vector<std::string> listed;
    std::vector<bool> listedAcks;
    for (const TransactionRecord* r : w->model().records()) {
        listed.push_back("S");
        for (const auto& b : r->sent) {
            listed.push_back(testing::hex(b.value, 2).toStdString());
            if (b.ack >= 0) listedAcks.push_back(b.ack == 1);
        }
        for (std::uint8_t b : r->received) listed.push_back(testing::hex(b, 2).toStdString());
        listed.push_back("P");
    }
    auto decoded = testing::decodeVcd(testing::fileBytes(vcd).toStdString()).tokens;
    // The decoder also shows repeated STARTs, which the monitor's byte list does not.
    decoded.erase(std::remove(decoded.begin(), decoded.end(), "Sr"), decoded.end());
    EXPECT_EQ(decoded, listed);
    EXPECT_EQ(std::count(listedAcks.begin(), listedAcks.end(), false), 3)
        << "the three bytes sent to no device";

    const QList<QByteArray> rows = testing::fileBytes(csv).split('\n');
    EXPECT_EQ(rows.size(), 7);  // header, five transactions, empty after the last line end
    EXPECT_TRUE(rows[1].contains(",Read Byte,AE,00,"));
    EXPECT_TRUE(rows[5].contains("no acknowledge"));
}

TEST(EepromVerify, OfferedAfterTheWriteAndListsMismatches) {
    testing::AppRig app;
    app.click("ReadEECMD");
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::No};
    app.click("WriteEECMD");
    EXPECT_TRUE(app.status().contains("Click Verify"));
    EXPECT_EQ(app.clicked("VerifyEECMD").size(), app.eepromByBlock() ? 2u : 32u);
    EXPECT_EQ(app.status(), "Verify 8100h-811Fh: all 32 bytes match.");

    // Past the end of the EEPROM nothing is stored: every byte differs.
    auto* list = app.find<QListWidget>("EEData");
    list->clear();
    for (int i = 0; i < 32; ++i)
        list->addItem(QStringLiteral("81F0h: %1h").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    app.type("EEBaseAddress", "81F0");
    app.click("VerifyEECMD");
    EXPECT_EQ(app.status(), "Verify 81F0h-820Fh: 32 bytes differ.");
    ASSERT_FALSE(app.dialogs.messages.isEmpty());
    EXPECT_TRUE(app.dialogs.messages.back().contains("8200h: expected 10, read FF"));
}

// Through an I2C adapter the monitor lists the transactions; the VCD export
// says it needs the lines and writes nothing, the CSV export still works.
TEST(BusMonitor, OnAnI2cAdapterTheListStaysAndTheVcdSaysWhy) {
    testing::AppRig app;
    Connection& connection = app.program->connection();
    ASSERT_EQ(connection.useAdapter("/dev/i2c-0"), "");
    BusMonitorWindow* w = app.open<BusMonitorWindow>("mnuBusMonitor", "frm_BusMonitor");
    ASSERT_NE(w, nullptr);
    app.click("ByteReadCMD");
    w->model().flush();
    ASSERT_EQ(w->model().rowCount(), 1);
    EXPECT_EQ(w->model().record(0).sent.size(), 3u);

    QTemporaryDir dir;
    const QString vcd = dir.filePath("bus.vcd"), csv = dir.filePath("bus.csv");
    app.dialogs.fileNames = {csv};
    w->exportVcd();
    EXPECT_FALSE(QFile::exists(vcd));
    EXPECT_EQ(app.dialogs.fileNames.size(), 1u) << "no file name asked for";
    ASSERT_FALSE(app.dialogs.messages.isEmpty());
    EXPECT_TRUE(app.dialogs.messages.last().contains("needs the parallel port's lines"));
    w->exportCsv();
    EXPECT_EQ(testing::fileBytes(csv).count('\n'), 2) << "a header and the one transaction";
}

// Times are read from a capture and written to the export with a decimal
// point whatever the user's locale: under de_DE.UTF-8 (a decimal comma) a
// Saleae export opens and exports the same bytes as under C.
TEST(BusMonitor, ACaptureOpensAndExportsTheSameUnderAGermanLocale) {
    testing::AppRig app;
    BusMonitorWindow* w = app.open<BusMonitorWindow>("mnuBusMonitor", "frm_BusMonitor");
    ASSERT_NE(w, nullptr);
    QTemporaryDir dir;
    const testing::Session session = testing::randomSession(5, 7);
    const QString capture = testing::writeFile(
        dir.filePath("export.csv"), QByteArray::fromStdString(testing::saleaeCsv(
                                        testing::levelsOfVcd(session.vcd), {"SCL", "SDA"})));
    struct Restored {
        std::string locale = std::setlocale(LC_ALL, nullptr);
        ~Restored() { std::setlocale(LC_ALL, locale.c_str()); }
    } restored;
    QByteArray exported[2];
    const char* locales[] = {"C", "de_DE.UTF-8"};
    for (int k : {0, 1}) {
        ASSERT_NE(std::setlocale(LC_ALL, locales[k]), nullptr)
            << "no " << locales[k] << " locale: scripts/install-deps.sh makes it";
        app.dialogs.fileNames = {capture};
        w->findChild<QAction*>("openCapture")->trigger();
        // A capture that does not open leaves the list as it was: no message.
        ASSERT_TRUE(app.dialogs.messages.isEmpty())
            << locales[k] << ": " << app.dialogs.messages.join('\n').toStdString();
        ASSERT_EQ(w->model().rowCount(), static_cast<int>(session.records.size()));
        const QString csv = dir.filePath(QStringLiteral("bus-%1.csv").arg(k));
        app.dialogs.fileNames = {csv};
        w->exportCsv();
        exported[k] = testing::fileBytes(csv);
    }
    EXPECT_TRUE(exported[0].startsWith("time_ms,kind,")) << exported[0].toStdString();
    EXPECT_EQ(exported[1], exported[0]);
}

TEST(BusMonitor, OpensACaptureInPlaceOfTheLiveTrafficAndKeepsItsListOnABadFile) {
    testing::AppRig app;
    BusMonitorWindow* w = app.open<BusMonitorWindow>("mnuBusMonitor", "frm_BusMonitor");
    ASSERT_NE(w, nullptr);
    app.click("ByteReadCMD");
    w->model().flush();
    ASSERT_EQ(w->model().rowCount(), 1);
    QTemporaryDir dir;
    auto write = [&](const QString& name, const std::string& text) {
        return testing::writeFile(dir.filePath(name), QByteArray::fromStdString(text));
    };
    const QString bad = write("bad.csv", "Time [s],SCL,SDA\n0,1,1\n1,1,X\n");
    // Channels named "clock" and "data", beside a 4-bit bus.
    const QString good = write("plover.vcd", testing::handDrawnVcd("1 us", {0x90, 0x06}, true));

    app.dialogs.fileNames = {bad};
    w->findChild<QAction*>("openCapture")->trigger();
    ASSERT_EQ(app.dialogs.messages.size(), 1);
    EXPECT_TRUE(app.dialogs.messages[0].contains("bad.csv: line 3: SDA is \"X\""))
        << app.dialogs.messages[0].toStdString();
    EXPECT_EQ(w->model().rowCount(), 1) << "the list is as it was";
    EXPECT_EQ(w->model().record(0).kind, "Read Byte");

    ASSERT_TRUE(w->loadCapture(good));
    EXPECT_EQ(w->sclChoice()->currentText(), "clock") << "guessed from the name";
    EXPECT_EQ(w->sdaChoice()->currentText(), "data");
    ASSERT_EQ(w->model().rowCount(), 1);
    EXPECT_EQ(w->model().record(0).kind, "Switch Write");
    EXPECT_EQ(record_export::bytesText(w->model().record(0)), "90+ 06+");
    EXPECT_TRUE(w->windowTitle().contains("plover.vcd"));
    // Live traffic does not mix into a capture.
    app.click("ByteReadCMD");
    w->model().flush();
    EXPECT_EQ(w->model().rowCount(), 1);

    // SCL and SDA swapped: no transaction is left to decode.
    w->sclChoice()->setCurrentText("data");
    w->sdaChoice()->setCurrentText("clock");
    ASSERT_TRUE(w->decodeCapture());
    for (int row = 0; row < w->model().rowCount(); ++row)
        EXPECT_NE(w->model().record(row).kind, "Switch Write");

    // The list keeps the most recent transactions and says how many it dropped.
    auto* dropped = w->findChild<QLabel*>("droppedTransactions");
    std::deque<TransactionRecord> many(BusMonitorModel::kCapacity + 3);
    many[3].kind = "Probe";
    w->model().showRecords(std::move(many));
    EXPECT_EQ(w->model().rowCount(), static_cast<int>(BusMonitorModel::kCapacity));
    EXPECT_EQ(w->model().record(0).kind, "Probe");
    EXPECT_TRUE(dropped->isVisibleTo(w));
    EXPECT_EQ(dropped->text(), "3 earlier transactions dropped");

    // Resume: the live traffic again.
    app.click("pauseMonitor", w);
    app.click("ByteReadCMD");
    w->model().flush();
    ASSERT_EQ(w->model().rowCount(), 1);
    EXPECT_EQ(w->model().record(0).kind, "Read Byte");
    EXPECT_FALSE(dropped->isVisibleTo(w));
}

}  // namespace
}  // namespace kestrel
