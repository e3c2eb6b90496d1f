#pragma once

#include "SimHost.h"

#include <QLocalServer>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

class QLocalSocket;

namespace sim {

struct ServerOptions {
    bool executeOnSubscribe = false;
    int delayMs = 0;
    int stopAfter = -1; // all commands
};

// Serves the simulated host's objects on the local socket named after the host window class.
class SimServer : public QObject {
    Q_OBJECT

public:
    SimServer(std::shared_ptr<SimHost> host, ServerOptions options, QObject* parent = nullptr);
    ~SimServer() override;

    // False (with the reason) when the socket cannot be served.
    bool listen(const QString& name, QString* error);

    // Executes the program for every subscriber, command by command, delayMs apart.
    void startExecution();
    void addObject(int index);

private:
    struct Connection;

    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void onDisconnected(QLocalSocket* socket);
    // The answer's value, or the frame the answer is (command snapshots).
    QJsonValue handle(Connection& conn, const QJsonObject& request, QByteArray& frame);
    void executeStep();

    std::shared_ptr<SimHost> m_host;
    ServerOptions m_options;
    QLocalServer m_server;
    std::map<QLocalSocket*, std::unique_ptr<Connection>> m_connections;
    bool m_executing = false;
    int m_nextCommand = 0;
    int m_lastCommand = 0;
};

} // namespace sim
