#pragma once

#include "host/HostInterfaces.h"

#include <QJsonObject>
#include <QJsonValue>

// Reading host objects into JSON and back: the simulator answers with these, the socket client
// serves its reads from them.
namespace host {

// Comment lines a snapshot carries; the reader never asks beyond.
inline constexpr int kSnapshotCommentLines = 21;

QJsonObject commandSnapshot(HostCommand& command);
QJsonObject programSnapshot(HostPartProgram& program);

// One member, by the name it has in a snapshot ("type", "dimension.nominal", "comment.line").
QJsonValue readCommandMember(HostCommand& command, const QString& member, int arg);
QJsonValue readProgramMember(HostPartProgram& program, const QString& member);

} // namespace host
