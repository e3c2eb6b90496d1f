#include "common/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace common {

QString programDir() {
    const QString env = qEnvironmentVariable("DOZIDUVOV_PROGRAM_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString programFile(const QString& name) {
    return programDir() + QLatin1Char('/') + name;
}

} // namespace common
