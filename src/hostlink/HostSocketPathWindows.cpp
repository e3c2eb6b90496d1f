#include "hostlink/HostSocketPath.h"

#include "hostlink/HostProtocol.h"

#include <windows.h>

#include <algorithm>
#include <memory>

namespace host {

namespace {

// The user a process runs as; empty when the system does not say.
std::unique_ptr<char[]> userOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<char[]>(size);
    const bool ok = size > 0 && GetTokenInformation(token, TokenUser, user.get(), size, &size);
    CloseHandle(token);
    return ok ? std::move(user) : nullptr;
}

// The last part of a user's security identifier, as the user id a message names.
unsigned relativeId(PSID sid) {
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    return count > 0 ? static_cast<unsigned>(*GetSidSubAuthority(sid, count - 1u)) : 0u;
}

} // namespace

// The caller's own user is 0 here: another user is told by its relative id.
unsigned currentUser() {
    return 0;
}

// A named pipe in the pipe namespace; its default security lets other users read, never write,
// and the peer's user is checked as well.
QString hostSocketPath() {
    return QString::fromLatin1(protocol::kServerName);
}

std::optional<unsigned> peerUser(qintptr socketDescriptor) {
    ULONG pid = 0;
    const auto pipe = reinterpret_cast<HANDLE>(socketDescriptor);
    if (!GetNamedPipeServerProcessId(pipe, &pid) && !GetNamedPipeClientProcessId(pipe, &pid))
        return std::nullopt;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return std::nullopt;
    const auto peer = userOf(process);
    CloseHandle(process);
    const auto own = userOf(GetCurrentProcess());
    if (!peer || !own)
        return std::nullopt;
    const PSID peerSid = reinterpret_cast<TOKEN_USER*>(peer.get())->User.Sid;
    if (EqualSid(peerSid, reinterpret_cast<TOKEN_USER*>(own.get())->User.Sid))
        return currentUser();
    // Never 0, which is this user.
    return std::max(1u, relativeId(peerSid));
}

} // namespace host
