#pragma once

#include "hostlink/HostInterfaces.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdint>
#include <optional>
#include <vector>

// What the host holds of a command or part program at one moment, as typed fields: the simulator
// takes these from its objects and sends them (commands as a binary frame, the program as JSON),
// the socket client decodes each answer once and serves its reads from the fields.
namespace host {

// Comment lines a snapshot carries; the reader never asks beyond.
inline constexpr int kSnapshotCommentLines = 21;

struct DimensionSnapshot {
    double bonus = 0, deviation = 0, length = 0, nominal = 0, max = 0, measured = 0, min = 0;
    double minusTol = 0, plusTol = 0, outTol = 0;
    int outputMode = 0;
    int units = 0;
    QString name, feature1, feature2, feature3, axisLabel, datum1, datum2, datum3;
    bool isLocationAxis = false;
    bool isTruePositionAxis = false;
    bool operator==(const DimensionSnapshot&) const = default;
};

struct CommentSnapshot {
    int commentType = 0;
    QString text;
    std::vector<QString> lines; // lines 1 to kSnapshotCommentLines

    // "" past the lines the snapshot holds, as the host answers past the last line.
    QString line(int n) const {
        return n >= 1 && n <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(n - 1)]
                                                             : QString();
    }
    bool operator==(const CommentSnapshot&) const = default;
};

struct AssignmentSnapshot {
    QString name;
    QString value;
    bool operator==(const AssignmentSnapshot&) const = default;
};

struct CommandSnapshot {
    QString idText;
    int type = 0;
    bool isDimension = false;
    bool isComment = false;
    bool marked = false;
    std::int32_t uniqueId1 = 0;
    std::int32_t uniqueId2 = 0;
    QString fieldText169; // dimensions only
    std::optional<DimensionSnapshot> dimension;
    std::optional<CommentSnapshot> comment;
    std::optional<AssignmentSnapshot> assignment; // type 191 only
    bool operator==(const CommandSnapshot&) const = default;
};

struct ProgramSnapshot {
    QString partName, folder, revision, drawingNumber, fileName, fullName;
    bool operator==(const ProgramSnapshot&) const = default;
};

// Reads every member a snapshot holds through the host interface.
CommandSnapshot takeCommandSnapshot(HostCommand& command);
ProgramSnapshot takeProgramSnapshot(HostPartProgram& program);

QJsonObject toJson(const ProgramSnapshot& snapshot);
ProgramSnapshot programSnapshotFromJson(const QJsonObject& o);

// Command snapshots as one frame: their number, then each one with its parts, texts as UTF-16
// code units and numbers as their little-endian bits, so every value arrives exactly as sent.
class CommandFrameWriter {
public:
    CommandFrameWriter();
    void add(const CommandSnapshot& snapshot);
    // The frame; the writer starts over.
    QByteArray take();

private:
    QByteArray m_frame;
    int m_count = 0;
};

// HostError when the frame is cut short, holds more than its snapshots or makes no sense.
std::vector<CommandSnapshot> decodeCommandFrame(QByteArrayView frame);

inline QJsonObject programSnapshot(HostPartProgram& program) {
    return toJson(takeProgramSnapshot(program));
}

// One member, by the name it has in a snapshot ("type", "dimension.nominal", "comment.line").
QJsonValue readCommandMember(HostCommand& command, const QString& member, int arg);
QJsonValue readProgramMember(HostPartProgram& program, const QString& member);

} // namespace host
