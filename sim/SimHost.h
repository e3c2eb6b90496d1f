#pragma once

#include "PartProgramFile.h"
#include "hostlink/HostInterfaces.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

// The simulated host in-process: the host objects over a part program model. The socket server
// serves exactly these objects; tests use them directly.
class SimHost : public std::enable_shared_from_this<SimHost> {
public:
    static std::shared_ptr<SimHost> create(std::optional<SimProgram> program, QString version = {});

    std::shared_ptr<host::HostApplication> application();
    std::shared_ptr<host::HostPartProgram> partProgram(); // nothing without a program
    std::shared_ptr<host::HostCommand> command(int index);

    SimProgram* program() { return m_program ? &*m_program : nullptr; }
    QString version() const { return m_version; }
    int commandCount() const { return m_program ? static_cast<int>(m_program->commands.size()) : 0; }

    // What a user of the host would see: present, save, placement, subscribe, unsubscribe.
    std::function<void(const QString&)> log;

    void subscribe(host::HostEventListener* listener);
    void unsubscribe(host::HostEventListener* listener);
    bool hasSubscribers() const { return !m_listeners.empty(); }

    // Events to every subscriber, as the host sends them while executing.
    void executeCommand(int index);
    void endExecution(int terminationType = 0);
    void addObject(int index);
    // Executes the first n commands (all when n < 0), then ends the execution.
    void executeProgram(int n = -1);

    void writeLog(const QString& line) const {
        if (log)
            log(line);
    }

private:
    SimHost() = default;
    template <typename F> void broadcast(F f);

    std::optional<SimProgram> m_program;
    QString m_version;
    std::vector<host::HostEventListener*> m_listeners;
};

// The position of a simulated command object (the server needs it to name commands in events).
int commandIndexOf(host::HostCommand& command);

} // namespace sim
