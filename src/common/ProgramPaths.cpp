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

QString installedDataDir() {
    const QString bin = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QDir::cleanPath(bin + QLatin1Char('/') + QStringLiteral(DOZIDUVOV_DATA_FROM_BIN));
}

QString programFile(const QString& name) {
    return programDir() + QLatin1Char('/') + name;
}

} // namespace common
