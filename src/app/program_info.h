#pragma once

#include <QString>

namespace kestrel {

// The program's title: captions every message box and the About window.
inline const QString kProgramTitle = QStringLiteral("KESTREL Eval");
inline const QString kProgramVersion = QStringLiteral("2.0.0");

}  // namespace kestrel
