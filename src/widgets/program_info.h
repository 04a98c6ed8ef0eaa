#pragma once

#include <QString>

namespace kestrel {

// The program's title: captions every message box and the About window.
inline const QString kProgramTitle = QStringLiteral("KESTREL Eval");
// The version comes from the CMake project, like the package's and the man page's.
inline const QString kProgramVersion = QStringLiteral(KESTREL_VERSION);

}  // namespace kestrel
