#include "SimHost.h"

#include <QFileInfo>

#include <algorithm>

namespace sim {

namespace {

using host::HostError;

class Dimension : public host::HostDimension {
public:
    Dimension(std::shared_ptr<SimHost> h, int i) : m_host(std::move(h)), m_index(i) {}
    double Bonus() override { return d().bonus; }
    double Deviation() override { return d().deviation; }
    QString Name() override { return d().name; }
    QString Feature1() override { return d().feature1; }
    QString Feature2() override { return d().feature2; }
    QString Feature3() override { return d().feature3; }
    double Length() override { return d().length; }
    double Nominal() override { return d().nominal; }
    double Max() override { return d().max; }
    double Measured() override { return d().measured; }
    double Min() override { return d().min; }
    double MinusTol() override { return d().minusTol; }
    double PlusTol() override { return d().plusTol; }
    double OutTol() override { return d().outTol; }
    int OutputMode() override { return d().outputMode; }
    int Units() override { return d().units; }
    QString AxisLabel() override { return d().axisLabel; }
    bool IsLocationAxis() override { return d().isLocationAxis; }
    bool IsTruePositionAxis() override { return d().isTruePositionAxis; }
    QString Datum1() override { return d().datum1; }
    QString Datum2() override { return d().datum2; }
    QString Datum3() override { return d().datum3; }

private:
    const SimDimension& d() {
        const SimCommand& c = m_host->program()->commands.at(static_cast<std::size_t>(m_index));
        if (!c.dimension)
            throw HostError(QStringLiteral("command %1 is not a dimension").arg(c.id));
        return *c.dimension;
    }
    std::shared_ptr<SimHost> m_host;
    int m_index;
};

class Comment : public host::HostComment {
public:
    Comment(std::shared_ptr<SimHost> h, int i) : m_host(std::move(h)), m_index(i) {}
    int CommentType() override { return c().commentType; }
    QString Text() override { return c().text; }
    QString Line(int line) override {
        const auto& lines = c().lines;
        if (line < 1 || line > static_cast<int>(lines.size()))
            return {};
        return lines[static_cast<std::size_t>(line - 1)];
    }

private:
    const SimComment& c() {
        const SimCommand& cmd = m_host->program()->commands.at(static_cast<std::size_t>(m_index));
        if (!cmd.comment)
            throw HostError(QStringLiteral("command %1 is not a comment").arg(cmd.id));
        return *cmd.comment;
    }
    std::shared_ptr<SimHost> m_host;
    int m_index;
};

class Assignment : public host::HostAssignment {
public:
    Assignment(std::shared_ptr<SimHost> h, int i) : m_host(std::move(h)), m_index(i) {}
    QString Name() override { return a().name; }
    QString Value() override { return a().value; }

private:
    const SimAssignment& a() {
        const SimCommand& cmd = m_host->program()->commands.at(static_cast<std::size_t>(m_index));
        if (!cmd.assignment)
            throw HostError(QStringLiteral("command %1 is not an assignment").arg(cmd.id));
        return *cmd.assignment;
    }
    std::shared_ptr<SimHost> m_host;
    int m_index;
};

class Command : public host::HostCommand {
public:
    Command(std::shared_ptr<SimHost> h, int i) : m_host(std::move(h)), m_index(i) {}
    QString IdText() override { return c().id; }
    int Type() override { return c().type; }
    std::shared_ptr<host::HostDimension> Dimension() override {
        return std::make_shared<sim::Dimension>(m_host, m_index);
    }
    bool IsDimension() override { return c().dimension.has_value(); }
    bool Marked() override { return c().marked; }
    void GoPrevious() override {
        if (m_index <= 0)
            throw HostError(QStringLiteral("no command before the first one"));
        --m_index;
    }
    void Present() override { m_host->writeLog(QStringLiteral("present ") + c().id); }
    std::shared_ptr<host::HostComment> Comment() override {
        return std::make_shared<sim::Comment>(m_host, m_index);
    }
    bool IsComment() override { return c().comment.has_value(); }
    std::shared_ptr<host::HostAssignment> Assignment() override {
        return std::make_shared<sim::Assignment>(m_host, m_index);
    }
    QString GetFieldText(int field, int index) override {
        return field == 169 && index == 0 ? c().fieldText169 : QString();
    }
    void GetUniqueId(std::int32_t& id1, std::int32_t& id2) override {
        id1 = c().uniqueId1;
        id2 = c().uniqueId2;
    }
    int index() const { return m_index; }

private:
    const SimCommand& c() {
        SimProgram* p = m_host->program();
        if (!p || m_index < 0 || m_index >= static_cast<int>(p->commands.size()))
            throw HostError(QStringLiteral("command %1 does not exist").arg(m_index));
        return p->commands[static_cast<std::size_t>(m_index)];
    }
    std::shared_ptr<SimHost> m_host;
    int m_index;
};

class Enumerator : public host::HostCommandEnumerator {
public:
    explicit Enumerator(std::shared_ptr<SimHost> h) : m_host(std::move(h)) {}
    std::shared_ptr<host::HostCommand> Next() override {
        if (m_next >= m_host->commandCount())
            return nullptr;
        return m_host->command(m_next++);
    }

private:
    std::shared_ptr<SimHost> m_host;
    int m_next = 0;
};

class Commands : public host::HostCommands {
public:
    explicit Commands(std::shared_ptr<SimHost> h) : m_host(std::move(h)) {}
    int Count() override { return m_host->commandCount(); }
    std::shared_ptr<host::HostCommand> Item(int index) override {
        if (index < 0 || index >= Count())
            throw HostError(QStringLiteral("command %1 does not exist").arg(index));
        return std::make_shared<Command>(m_host, index);
    }
    std::unique_ptr<host::HostCommandEnumerator> Enumerate() override {
        return std::make_unique<Enumerator>(m_host);
    }
    std::shared_ptr<host::HostCommand> FindByUniqueId(std::int32_t id1, std::int32_t id2) override {
        const auto& cs = m_host->program()->commands;
        for (std::size_t i = 0; i < cs.size(); ++i)
            if (cs[i].uniqueId1 == id1 && cs[i].uniqueId2 == id2)
                return std::make_shared<Command>(m_host, static_cast<int>(i));
        return nullptr;
    }

private:
    std::shared_ptr<SimHost> m_host;
};

class PartProgram : public host::HostPartProgram {
public:
    explicit PartProgram(std::shared_ptr<SimHost> h) : m_host(std::move(h)) {}
    QString PartName() override { return p().partName; }
    QString Folder() override { return QFileInfo(p().path).absolutePath(); }
    QString Revision() override { return p().revision; }
    QString DrawingNumber() override { return p().drawingNumber; }
    QString FileName() override { return p().path; }
    QString FullName() override { return p().path; }
    std::shared_ptr<host::HostCommands> Commands() override {
        return std::make_shared<sim::Commands>(m_host);
    }
    void Save() override {
        try {
            saveProgram(p());
        } catch (const ProgramFileError& e) {
            throw HostError(QString::fromStdString(e.what()));
        }
        m_host->writeLog(QStringLiteral("save ") + p().path);
    }

private:
    SimProgram& p() {
        if (!m_host->program())
            throw HostError(QStringLiteral("no part program is open"));
        return *m_host->program();
    }
    std::shared_ptr<SimHost> m_host;
};

class Events : public host::HostApplicationEvents {
public:
    explicit Events(std::shared_ptr<SimHost> h) : m_host(std::move(h)) {}
    ~Events() override { setListener(nullptr); }
    void setListener(host::HostEventListener* listener) override {
        if (m_listener)
            m_host->unsubscribe(m_listener);
        m_listener = listener;
        if (m_listener)
            m_host->subscribe(m_listener);
    }

private:
    std::shared_ptr<SimHost> m_host;
    host::HostEventListener* m_listener = nullptr;
};

class Application : public host::HostApplication {
public:
    explicit Application(std::shared_ptr<SimHost> h) : m_host(std::move(h)) {}
    std::shared_ptr<host::HostPartProgram> ActivePartProgram() override { return m_host->partProgram(); }
    std::shared_ptr<host::HostApplicationEvents> Events() override {
        return std::make_shared<sim::Events>(m_host);
    }
    QString Version() override { return m_host->version(); }
    void SetPlacement(int dispid, double value) override {
        m_host->writeLog(QStringLiteral("placement %1 %2").arg(dispid).arg(value));
    }

private:
    std::shared_ptr<SimHost> m_host;
};

} // namespace

std::shared_ptr<SimHost> SimHost::create(std::optional<SimProgram> program, QString version) {
    std::shared_ptr<SimHost> h(new SimHost());
    if (version.isEmpty() && program)
        version = program->version;
    h->m_program = std::move(program);
    h->m_version = std::move(version);
    return h;
}

std::shared_ptr<host::HostApplication> SimHost::application() {
    return std::make_shared<Application>(shared_from_this());
}

std::shared_ptr<host::HostPartProgram> SimHost::partProgram() {
    if (!m_program)
        return nullptr;
    return std::make_shared<PartProgram>(shared_from_this());
}

std::shared_ptr<host::HostCommand> SimHost::command(int index) {
    return std::make_shared<Command>(shared_from_this(), index);
}

void SimHost::subscribe(host::HostEventListener* listener) {
    m_listeners.push_back(listener);
    writeLog(QStringLiteral("subscribe"));
}

void SimHost::unsubscribe(host::HostEventListener* listener) {
    const auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end())
        return;
    m_listeners.erase(it);
    writeLog(QStringLiteral("unsubscribe"));
}

template <typename F> void SimHost::broadcast(F f) {
    auto prog = partProgram();
    if (!prog)
        return;
    // A handler may unsubscribe (an "EEK" comment does): work on a copy, skip the gone ones.
    const auto listeners = m_listeners;
    for (host::HostEventListener* l : listeners)
        if (std::find(m_listeners.begin(), m_listeners.end(), l) != m_listeners.end())
            f(*l, prog);
}

void SimHost::executeCommand(int index) {
    auto cmd = command(index);
    broadcast([&](host::HostEventListener& l, const std::shared_ptr<host::HostPartProgram>& p) {
        l.OnObjectExecuted(p, cmd);
    });
}

void SimHost::endExecution(int terminationType) {
    broadcast([&](host::HostEventListener& l, const std::shared_ptr<host::HostPartProgram>& p) {
        l.OnEndExecution(p, terminationType);
    });
}

void SimHost::addObject(int index) {
    auto cmd = command(index);
    broadcast([&](host::HostEventListener& l, const std::shared_ptr<host::HostPartProgram>& p) {
        l.OnAddObject(p, cmd);
    });
}

void SimHost::executeProgram(int n) {
    const int count = n < 0 ? commandCount() : std::min(n, commandCount());
    for (int i = 0; i < count; ++i)
        executeCommand(i);
    endExecution(0);
}

int commandIndexOf(host::HostCommand& command) {
    auto* c = dynamic_cast<Command*>(&command);
    if (!c)
        throw host::HostError(QStringLiteral("not a simulated command"));
    return c->index();
}

} // namespace sim
