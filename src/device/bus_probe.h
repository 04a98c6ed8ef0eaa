#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/device.h"

// Which slaves answer on the bus.
namespace kestrel {

// Failed: the probe itself did not run (an I2C adapter's error); the
// address may or may not answer.
enum class ProbeAnswer { Acknowledged, NotAcknowledged, SdaStuckLow, Failed };

// START, the address byte (write direction), one acknowledge clock with its
// sample, STOP: nothing else is sent, so no slave sees a command or data.
// Nothing when the bus refused.
std::optional<ProbeAnswer> probeAddress(Device& device, int addressByte);

// The first and last address bytes a scan probes, as i2cdetect does: 7-bit
// 03h-77h, leaving out the general call and the reserved addresses.
inline constexpr int kFirstProbedAddress = 0x06;
inline constexpr int kLastProbedAddress = 0xEE;

struct ScanResult {
    std::vector<int> acknowledged;  // address bytes, ascending
    bool sdaStuckLow = false;       // the scan stopped: SDA held low
    std::vector<int> failed;        // address bytes whose probe did not run
    std::string firstProblem;       // why the first of them failed
};

// Probes every even address byte from `first` to `last`. Stops at the first
// probe that finds SDA stuck low. Nothing when the bus refused.
std::optional<ScanResult> scanAddresses(Device& device, int first = kFirstProbedAddress,
                                        int last = kLastProbedAddress);

}  // namespace kestrel
