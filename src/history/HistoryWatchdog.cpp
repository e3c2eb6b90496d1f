#include "history/HistoryDatabaseImpl.h"

namespace history {

SocketWatchdog::SocketWatchdog(int socket, std::chrono::steady_clock::time_point deadline) {
    m_thread = std::thread([this, socket, deadline] {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_until(lock, deadline, [this] { return m_done; }))
            return;
        m_fired = true;
        shutDownSocket(socket);
    });
}

SocketWatchdog::~SocketWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

} // namespace history
