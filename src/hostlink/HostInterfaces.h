#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

// The measurement host as the program uses it: the objects and members the host's automation
// interface offers. Behind these interfaces stands the socket client (the host simulator here,
// the real host's automation on Windows) or, in tests, the simulator's model in-process.
namespace host {

// What went wrong with a host call, so that the caller can say it in the user's language.
enum class HostFault {
    Refused,      // the host answered with an error of its own (an object gone, a member unknown)
    Closed,       // the connection ended
    TimedOut,     // no answer within the time limit
    Protocol,     // an answer that breaks the protocol; the connection was closed
    ForeignHost,  // the server end belongs to another user
    UnsafeFolder, // the socket's folder is not the user's own
};

// Any host call that failed. The text is the host's own words or an English description; detail
// is the variable part of it (seconds, a user id, a path).
class HostError : public std::runtime_error {
public:
    explicit HostError(const QString& what, HostFault fault = HostFault::Refused, QString detail = {})
        : std::runtime_error(what.toStdString()), m_text(what), m_fault(fault), m_detail(std::move(detail)) {}
    const QString& text() const { return m_text; }
    HostFault fault() const { return m_fault; }
    const QString& detail() const { return m_detail; }

private:
    QString m_text;
    HostFault m_fault;
    QString m_detail;
};

class HostDimension {
public:
    virtual ~HostDimension() = default;
    virtual double Bonus() = 0;
    virtual double Deviation() = 0;
    virtual QString Name() = 0;
    virtual QString Feature1() = 0;
    virtual QString Feature2() = 0;
    virtual QString Feature3() = 0;
    virtual double Length() = 0;
    virtual double Nominal() = 0;
    virtual double Max() = 0;
    virtual double Measured() = 0;
    virtual double Min() = 0;
    virtual double MinusTol() = 0; // a positive magnitude
    virtual double PlusTol() = 0;
    virtual double OutTol() = 0; // 0 = in tolerance
    virtual int OutputMode() = 0;
    virtual int Units() = 0; // 0 inch, 1 millimetre
    virtual QString AxisLabel() = 0;
    virtual bool IsLocationAxis() = 0;
    virtual bool IsTruePositionAxis() = 0;
    virtual QString Datum1() = 0;
    virtual QString Datum2() = 0;
    virtual QString Datum3() = 0;
};

class HostComment {
public:
    virtual ~HostComment() = default;
    virtual int CommentType() = 0; // 1 = report comment
    virtual QString Text() = 0;
    virtual QString Line(int line) = 0; // 1-based; "" past the last line
};

class HostAssignment {
public:
    virtual ~HostAssignment() = default;
    virtual QString Name() = 0;  // the assigned variable
    virtual QString Value() = 0; // the value expression
};

class HostCommand {
public:
    virtual ~HostCommand() = default;
    virtual QString IdText() = 0;
    virtual int Type() = 0;
    virtual std::shared_ptr<HostDimension> Dimension() = 0;
    virtual bool IsDimension() = 0;
    virtual bool Marked() = 0;
    // The object moves to the previous command of the program.
    virtual void GoPrevious() = 0;
    // The host brings this command into view.
    virtual void Present() = 0;
    virtual std::shared_ptr<HostComment> Comment() = 0;
    virtual bool IsComment() = 0;
    virtual std::shared_ptr<HostAssignment> Assignment() = 0;
    virtual QString GetFieldText(int field, int index) = 0;
    virtual void GetUniqueId(std::int32_t& id1, std::int32_t& id2) = 0;
};

// The for-each walk over the commands in program order.
class HostCommandEnumerator {
public:
    virtual ~HostCommandEnumerator() = default;
    // Nothing after the last command.
    virtual std::shared_ptr<HostCommand> Next() = 0;
};

class HostCommands {
public:
    virtual ~HostCommands() = default;
    virtual int Count() = 0;
    // The command at a position of the program order, 0-based.
    virtual std::shared_ptr<HostCommand> Item(int index) = 0;
    virtual std::unique_ptr<HostCommandEnumerator> Enumerate() = 0;
    // Nothing when no command has this id.
    virtual std::shared_ptr<HostCommand> FindByUniqueId(std::int32_t id1, std::int32_t id2) = 0;
};

class HostPartProgram {
public:
    virtual ~HostPartProgram() = default;
    virtual QString PartName() = 0;
    virtual QString Folder() = 0; // without trailing separator
    virtual QString Revision() = 0;
    virtual QString DrawingNumber() = 0;
    virtual QString FileName() = 0;
    virtual QString FullName() = 0; // ends in a four-character extension
    virtual std::shared_ptr<HostCommands> Commands() = 0;
    virtual void Save() = 0;
};

// What a subscriber is told. Handlers run on the program's thread, one at a time.
class HostEventListener {
public:
    virtual ~HostEventListener() = default;
    virtual void OnObjectExecuted(std::shared_ptr<HostPartProgram> partProg,
                                  std::shared_ptr<HostCommand> cmmd) = 0;
    virtual void OnEndExecution(std::shared_ptr<HostPartProgram> partProg, int terminationType) = 0;
    virtual void OnAddObject(std::shared_ptr<HostPartProgram> partProg,
                             std::shared_ptr<HostCommand> command) = 0;
    // The connection ended (or broke) while subscribed: no more events will come.
    virtual void OnConnectionLost(const HostError& /*why*/) {}
};

// The host's event source. Holding it with a listener set is the subscription; releasing the
// object (or clearing the listener) ends it.
class HostApplicationEvents {
public:
    virtual ~HostApplicationEvents() = default;
    virtual void setListener(HostEventListener* listener) = 0;
};

class HostApplication {
public:
    virtual ~HostApplication() = default;
    // Nothing when no part program is open.
    virtual std::shared_ptr<HostPartProgram> ActivePartProgram() = 0;
    virtual std::shared_ptr<HostApplicationEvents> Events() = 0;
    virtual QString Version() = 0;
    // The host's window placement members (dispatch numbers 10 to 13).
    virtual void SetPlacement(int dispid, double value) = 0;
};

} // namespace host
