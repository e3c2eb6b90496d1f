#pragma once

#include <QString>

namespace common {

// The program's own folder: where the language files and the fixed-name settings files live.
// DOZIDUVOV_PROGRAM_DIR replaces it when set, so tests and demos can use a folder of their own.
QString programDir();

// Where an installed program keeps its shared data (share/doziduvov beside bin/).
QString installedDataDir();

// programDir() joined with a file name.
QString programFile(const QString& name);

} // namespace common
