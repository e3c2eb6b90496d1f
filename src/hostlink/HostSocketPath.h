#pragma once

#include <QString>

#include <optional>

// Where the host's local socket lives, and who is at its other end. The host and the converter
// resolve the place the same way; only the user's own host is trusted.
namespace host {

// The socket's full path: in $XDG_RUNTIME_DIR when that is set, else in a folder of the user's own
// under the temporary folder, created with mode 0700 when missing. Throws HostError (UnsafeFolder)
// when the folder is not a directory of this user closed to everyone else.
QString hostSocketPath();

// The user at the other end of a connected local socket; nothing when the system cannot tell.
std::optional<unsigned> peerUser(qintptr socketDescriptor);

// This process's effective user.
unsigned currentUser();

} // namespace host
