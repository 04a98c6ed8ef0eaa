#pragma once

namespace kestrel {

class Program;

// Registers every secondary window with the program's window registry and
// adds the main-window menu entries that open them.
void registerWindows(Program& program);

}  // namespace kestrel
