#include "about/system_info.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace kestrel {

bool LinuxSystemInfo::fileExists(const QString& path) {
    return QFileInfo::exists(path);
}

bool LinuxSystemInfo::start(const QString& program) {
    return QProcess::startDetached(program, {});
}

QString LinuxSystemInfo::findOnPath(const QStringList& candidates) {
    for (const QString& name : candidates) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

}  // namespace kestrel
