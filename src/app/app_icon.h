#pragma once

#include <QIcon>

namespace kestrel {

// The program's icon: a chip package with the two bus lines, drawn at start.
QIcon appIcon();

}  // namespace kestrel
