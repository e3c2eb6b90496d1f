#include "common/UserName.h"

#include <pwd.h>
#include <unistd.h>

namespace common {

QString systemUserName() {
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

} // namespace common
