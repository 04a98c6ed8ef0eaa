#include "app/windows.h"

#include "app/program.h"

namespace kestrel {

void registerWindows(Program&) {}

}  // namespace kestrel
