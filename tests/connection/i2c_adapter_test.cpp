#include "bus/i2c_adapter.h"

#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>

#include "bus/bus.h"
#include "bus/record_export.h"
#include "connection/connection.h"
#include "connection/simulated_i2c_adapter.h"
#include "device/bus_probe.h"
#include "device/eeprom.h"
#include "simulator/simulated_board.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

// The shared rig's device layer, or one through an I2C adapter whose calls
// the same wire answers.
struct AdapterRig : testing::SimRig {
    SimulatedI2cAdapter kernel{board};
    // The chip's EEPROM cycle passes on the fake clock, on either side.
    I2cAdapterExecutor adapter{kernel, "/dev/i2c-0",
                               [this](int ms) { clock.now += static_cast<std::uint32_t>(ms); }};
    Device onAdapter{g, adapter};
    Device* device;

    // `functions`: what the adapter offers, when not the simulated default.
    explicit AdapterRig(bool viaAdapter = true, unsigned long functions = 0)
        : device(viaAdapter ? &onAdapter : &this->SimRig::device) {
        if (functions != 0) kernel.setFunctions(functions);
        if (viaAdapter) {
            EXPECT_EQ(adapter.open(), "");
        }
    }
};

TEST(I2cAdapter, EachTransactionIsOneIoctlAndAMissingChipOrAnOddOneIsAFailure) {
    AdapterRig rig;
    const unsigned opened = rig.kernel.ioctlCount();
    EXPECT_EQ(rig.kernel.ioctlCount(I2C_FUNCS), 1u) << "functions asked once, at open";

    const ByteOutcome read = rig.device->ReadRegister(0x1D);
    EXPECT_EQ(read.value, 0x21);
    EXPECT_EQ(read.problem(), "");
    EXPECT_EQ(rig.kernel.ioctlCount() - opened, 1u) << "a Read Byte is one I2C_RDWR";
    EXPECT_EQ(rig.log().back().substr(0, 16), "S AE+ 1D+ Sr AF+");

    // A PEC the chip got wrong is caught on the adapter too.
    ASSERT_TRUE(rig.board.applyFault("corrupt-pec"));
    const std::string problem = rig.device->ReadRegister(0x1D).problem();
    EXPECT_EQ(problem.rfind("PEC mismatch at 1Dh", 0), 0u) << problem;
    rig.board.kestrel().setCorruptPec(false);

    ASSERT_TRUE(rig.board.applyFault("missing"));
    EXPECT_EQ(rig.device->WriteRegister(0x0E, 0x04).problem(), "No acknowledge from AEh");
    EXPECT_EQ(rig.device->EEPROMReadByte(0x8100).problem(), "No acknowledge from AEh");

    // An adapter that ran only part of a transaction gave no whole answer.
    rig.board.kestrel().setPresent(true);
    rig.kernel.setStopShort(true);
    EXPECT_EQ(rig.device->ReadRegister(0x1D).problem(), "I2C adapter ran 1 of 2 messages");
    rig.kernel.setStopShort(false);

    // Three parts after one START are more than the adapters carry.
    Transfer odd;
    odd.messages = {{.address = 0xAE, .write = {0x01}},
                    {.address = 0xAE, .write = {0x02}},
                    {.address = 0xAF, .write = {}, .read = 1}};
    const unsigned before = rig.kernel.ioctlCount();
    const Outcome r = rig.device->transfer(odd);
    ASSERT_FALSE(r.refused());
    EXPECT_EQ(r.problem(), "This transaction cannot be carried by an I2C adapter");
    EXPECT_EQ(rig.kernel.ioctlCount(), before) << "nothing reached the adapter";
}

// The chip's EEPROM cycle: SCL low for 30 ms before the STOP on the port; on
// an adapter, 30 ms after the STOP in which nothing else is sent.
TEST(I2cAdapter, TheEepromCycleIsAPauseAfterTheStop) {
    AdapterRig rig(false);
    std::vector<unsigned> ioctlsAtPause;
    I2cAdapterExecutor adapter{rig.kernel, "/dev/i2c-0", [&](int ms) {
                                   EXPECT_EQ(ms, 30);
                                   ioctlsAtPause.push_back(rig.kernel.ioctlCount());
                               }};
    ASSERT_EQ(adapter.open(), "");
    Device d(rig.g, adapter);
    const unsigned opened = rig.kernel.ioctlCount();

    const Outcome erased = d.EEPROMPageErase(0x8120);
    EXPECT_EQ(erased.problem(), "");
    EXPECT_EQ(ioctlsAtPause, std::vector<unsigned>{opened + 1})
        << "one pause, after the erase's ioctl";
    EXPECT_EQ(rig.kernel.ioctlCount(), opened + 1);
    EXPECT_EQ(rig.log().back(), "S AE+ A2+ 81+ 20+ FF+ P");
}

TEST(I2cAdapter, DetectUsesTheQuickCommandOrAOneByteRead) {
    for (const bool quick : {true, false}) {
        AdapterRig rig(true, I2C_FUNC_I2C | (quick ? I2C_FUNC_SMBUS_QUICK : 0));
        const auto found = scanAddresses(*rig.device, 0x08, 0xEE);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->acknowledged, (std::vector<int>{0x90, 0x98, 0xA0, 0xAE})) << quick;
        EXPECT_EQ(rig.kernel.ioctlCount(I2C_SMBUS) > 0, quick);
        EXPECT_EQ(rig.kernel.ioctlCount(I2C_RDWR) > 0, !quick);
        EXPECT_TRUE(found->failed.empty());
    }
    // An address a kernel driver holds cannot be probed: that is no silence.
    AdapterRig rig;
    rig.kernel.setDriverBound(0x98 >> 1);
    const auto found = scanAddresses(*rig.device, 0x08, 0xEE);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->failed, std::vector<int>{0x98});
    EXPECT_EQ(found->firstProblem, "I2C adapter error: Device or resource busy");
    EXPECT_EQ(found->acknowledged, (std::vector<int>{0x90, 0xA0, 0xAE}));
}

// Opening tells the user what to do; an adapter that was not opened sends
// nothing.
TEST(I2cAdapter, OpeningSaysWhatToLoadOrWhichGroupToJoin) {
    sim::SimulatedBoard board;
    SimulatedI2cAdapter kernel(board, 0);
    I2cAdapterExecutor absent(kernel, "/dev/i2c-9", nullptr);
    const std::string missing = absent.open();
    EXPECT_NE(missing.find("modprobe i2c-dev"), std::string::npos) << missing;
    EXPECT_NE(missing.find("until reboot"), std::string::npos) << missing;
    EXPECT_NE(missing.find("/etc/modules-load.d/"), std::string::npos) << missing;
    EXPECT_FALSE(absent.available());
    EXPECT_FALSE(absent.run(Transfer{}));

    kernel.setOpenError(EACCES);
    const std::string permission = I2cAdapterExecutor(kernel, "/dev/i2c-0", nullptr).open();
    EXPECT_NE(permission.find("i2c group"), std::string::npos) << permission;
    EXPECT_NE(permission.find("udev rule"), std::string::npos) << permission;

    kernel.setOpenError(0);
    kernel.setFunctions(I2C_FUNC_SMBUS_QUICK);
    I2cAdapterExecutor smbusOnly(kernel, "/dev/i2c-0", nullptr);
    EXPECT_NE(smbusOnly.open().find("cannot carry plain I2C transfers"), std::string::npos);
    EXPECT_FALSE(smbusOnly.isOpen());
    EXPECT_TRUE(board.log().describeAll().empty());
}

// The same device-layer work leaves the same chip and reports the same
// results on the port and on an adapter with or without protocol mangling,
// against the strict chip, which leaves the EEPROM read's address bytes'
// acknowledge slots to the master: the port holds SDA low there itself, an
// adapter with mangling goes on past them (I2C_M_IGNORE_NAK), and one
// without reads the 32-byte block that holds the byte instead.
enum class Path { BitBanged, Mangling, BlockReads };

class Executors : public ::testing::TestWithParam<Path> {};

TEST_P(Executors, RegistersAndEepromWorkAlikeOnTheStrictChip) {
    const Path path = GetParam();
    AdapterRig rig(path != Path::BitBanged,
                   path == Path::Mangling ? I2C_FUNC_I2C | I2C_FUNC_PROTOCOL_MANGLING : 0);
    rig.board.setStrict(true);
    Device& d = *rig.device;
    EXPECT_EQ(d.eepromReadsByBlock(), path == Path::BlockReads);
    EXPECT_TRUE(d.WriteRegister(0x14, 0x5A).ok());
    EXPECT_EQ(d.ReadRegister(0x14).value, 0x5A);
    EXPECT_EQ(d.WriteSwitch(0x90, 0x06).problem(), "");

    std::vector<int> data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<int>(i * 5 + 1);
    EXPECT_TRUE(eeprom::erasePages(d, 0x8110, 40).ok());
    EXPECT_TRUE(eeprom::writeBlock(d, 0x8110, data).ok());
    for (const auto speed : {eeprom::Speed::Bytes, eeprom::Speed::Blocks})
        EXPECT_TRUE(eeprom::verify(d, 0x8110, data, speed).passed());
    const ByteOutcome one = d.EEPROMReadByte(0x8125);
    EXPECT_EQ(one.problem(), "");
    EXPECT_EQ(one.value, 21 * 5 + 1);
    EXPECT_TRUE(eeprom::zeroFill(d, 0x81E0).ok());
    for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(rig.board.kestrel().eeprom(0x81E0 + i), 0);

    // 32 bytes read byte by byte: one I2C_RDWR each with mangling, one
    // pointer write and one block read in all without.
    const unsigned before = rig.kernel.ioctlCount();
    const eeprom::Run page = eeprom::read(d, 0x8100, 32, eeprom::Speed::Bytes);
    EXPECT_TRUE(page.ok());
    if (path != Path::BitBanged) {
        EXPECT_EQ(rig.kernel.ioctlCount() - before, path == Path::Mangling ? 32u : 2u);
    }
    // The monitor shows which way a byte was read: the master's own slots
    // (low on the wire; an adapter's unseen), or the block read's transactions.
    rig.board.log().clear();
    struct Kinds : TransactionObserver {
        std::vector<std::string> seen;
        void transactionEnded(const TransactionRecord& r) override {
            seen.push_back(r.kind + " " + record_export::bytesText(r).substr(0, 10));
        }
    } kinds;
    d.executor().addObserver(&kinds);
    (void)d.EEPROMReadByte(0x8105);
    d.executor().removeObserver(&kinds);
    const std::vector<std::string> expected =
        path == Path::BlockReads ? std::vector<std::string>{"Address Pointer AE+ 81+ 00",
                                                            "EEPROM Read (block) AE+ A1+ Sr"}
        : path == Path::Mangling ? std::vector<std::string>{"EEPROM Read AE+ 81 05 "}
                                 : std::vector<std::string>{"EEPROM Read AE+ 81+ 05"};
    EXPECT_EQ(kinds.seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, Executors,
                         ::testing::Values(Path::BitBanged, Path::Mangling, Path::BlockReads),
                         [](const auto& info) {
                             return info.param == Path::BitBanged  ? "BitBanged"
                                    : info.param == Path::Mangling ? "AdapterWithMangling"
                                                                   : "AdapterBlockReads";
                         });

// The simulated adapter says only what it offers: a message that asks to go
// on past a missing acknowledge is refused without protocol mangling, and
// honoured with it; with the chip leaving the address slots to the master,
// an EEPROM read without that flag fails as on a real adapter.
TEST(I2cAdapter, IgnoringAMissingAcknowledgeNeedsProtocolMangling) {
    sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    board.kestrel().setOptions(sim::KestrelModel::Options::strict());
    board.kestrel().setEeprom(0x8105, 0x3C);
    SimulatedI2cAdapter kernel(board);
    int error = 0;
    const int fd = kernel.openNode(kernel.path(), error);
    auto eepromRead = [&](__u16 flags, std::uint8_t* got) {
        std::uint8_t address[2] = {0x81, 0x05};
        std::uint8_t bytes[2] = {0, 0};
        i2c_msg msgs[2] = {{0x57, flags, 2, address}, {0x57, I2C_M_RD, 2, bytes}};
        i2c_rdwr_ioctl_data data{msgs, 2};
        const int rc = kernel.ioctl(fd, I2C_RDWR, &data, error);
        *got = bytes[0];
        return rc;
    };
    std::uint8_t got = 0;
    for (const bool mangling : {false, true}) {
        SCOPED_TRACE(mangling);
        kernel.setFunctions(I2C_FUNC_I2C | (mangling ? I2C_FUNC_PROTOCOL_MANGLING : 0));
        EXPECT_EQ(eepromRead(0, &got), -1);
        EXPECT_EQ(error, EREMOTEIO) << "the address bytes were not acknowledged";
        EXPECT_EQ(eepromRead(I2C_M_IGNORE_NAK, &got), mangling ? 2 : -1);
        EXPECT_EQ(error, mangling ? 0 : EOPNOTSUPP);
        EXPECT_EQ(got, mangling ? 0x3C : 0x00);
    }
    EXPECT_EQ(board.log().describeAll().back().substr(0, 17), "S AE+ 81- 05- Sr ");
}

}  // namespace
}  // namespace kestrel
