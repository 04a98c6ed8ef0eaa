// The simulated board's state file loader: any text either loads or leaves
// the board as it was, and a board that loaded saves a text that loads back
// to the same board.
#include <cstdint>
#include <string>

#include "simulator/simulated_board.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kestrel::sim::SimulatedBoard board;
    const std::string fresh = board.stateText();
    std::string error;
    if (!board.loadStateText(text, &error)) {
        if (error.empty()) __builtin_trap();               // a refusal says why
        if (board.stateText() != fresh) __builtin_trap();  // and changes nothing
        return 0;
    }
    const std::string saved = board.stateText();
    kestrel::sim::SimulatedBoard copy;
    if (!copy.loadStateText(saved, &error)) __builtin_trap();
    if (copy.stateText() != saved) __builtin_trap();
    // Every register and EEPROM byte the file can name is in range.
    for (int r = 0; r < kestrel::sim::KestrelModel::kRegisterSpace; ++r)
        (void)board.kestrel().reg(r);
    for (int a = 0x8000; a < 0x8200; ++a) (void)board.kestrel().eeprom(a);
    return 0;
}
