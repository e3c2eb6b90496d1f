#include "common/UserName.h"

#include <windows.h>

namespace common {

QString systemUserName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) ? QString::fromWCharArray(name, int(size) - 1) : QString();
}

} // namespace common
