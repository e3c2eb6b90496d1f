#pragma once

#include <QString>

namespace common {

// The name the system knows the running user by, whatever the environment says; empty when it
// knows none.
QString systemUserName();

} // namespace common
