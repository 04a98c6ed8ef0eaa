#include "bus/disk_calls.h"

#include <unistd.h>

namespace kestrel::disk {

Calls& calls() {
    static Calls current{::write, ::fsync, ::close};
    return current;
}

}  // namespace kestrel::disk
