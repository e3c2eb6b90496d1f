#pragma once

#include "hostlink/HostSnapshot.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

// The simulator's part program: what a part program file (JSON, conventionally *.PRG) holds.
namespace sim {

// A dimension's members are exactly what the host hands out for it.
using SimDimension = host::DimensionSnapshot;

struct SimComment {
    int commentType = 0;
    QString text;
    std::vector<QString> lines;
};

struct SimAssignment {
    QString name;
    QString value;
};

struct SimCommand {
    int type = 0;
    QString id;
    bool marked = false;
    std::int32_t uniqueId1 = 0;
    std::int32_t uniqueId2 = 0;
    QString fieldText169;
    std::optional<SimDimension> dimension;
    std::optional<SimComment> comment;
    std::optional<SimAssignment> assignment;
};

struct SimProgram {
    QString path; // absolute
    QString version;
    QString partName, revision, drawingNumber;
    std::vector<SimCommand> commands;
    QJsonObject document; // as read, written back by Save
};

class ProgramFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The unique id a command without one gets: derived from its position, so it is stable.
std::pair<std::int32_t, std::int32_t> defaultUniqueId(int position);

SimProgram parseProgram(const QJsonObject& document, const QString& path);
// Throws ProgramFileError naming the file and what is wrong with it.
SimProgram loadProgram(const QString& path);
// Writes the program's document back to its file.
void saveProgram(const SimProgram& program);

} // namespace sim
