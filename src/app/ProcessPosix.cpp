#include "Process.h"

namespace app {

QStringList commandArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QStringList startOptionWords(const QStringList& arguments) {
    return arguments;
}

void useParentConsole() {}

} // namespace app
