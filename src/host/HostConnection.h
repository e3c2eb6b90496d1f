#pragma once

#include "common/Message.h"
#include "hostlink/HostInterfaces.h"
#include "model/MerkmalTable.h"
#include "settings/LanguageTable.h"

#include <functional>
#include <memory>

namespace host {

// The host objects held from a successful connect until the program lets go of the host.
struct HostLink {
    std::shared_ptr<HostApplication> application;
    std::shared_ptr<HostPartProgram> partProgram;
    std::shared_ptr<HostCommands> commands;
    std::shared_ptr<HostCommand> command; // the current command
    std::shared_ptr<HostDimension> dimension;
    std::shared_ptr<HostComment> comment;
    std::shared_ptr<HostAssignment> assignment;

    bool hasPartProgram() const { return partProgram != nullptr; }
};

// Finds the running host; nothing when there is no host window.
using HostFinder = std::function<std::shared_ptr<HostApplication>()>;

// The caption of the two connect messages.
inline QString connectionCaption() {
    return QStringLiteral("Korvex Connection");
}

// A failed host call in the user's language: the connection's faults by the language file's texts,
// the host's own error words as they came.
QString hostErrorText(const HostError& e, const settings::LanguageTable& texts);

// A part program's name as the program compares it: FullName without its extension.
QString TeileProgrammNameOf(const QString& fullName);

// Connects; name receives the part program's name, and is empty when the connect failed (after a
// message saying why). Never throws: a host that fails while being attached is a failed connect.
void Verbinden(HostLink& link, QString& name, const HostFinder& find, const settings::LanguageTable& texts,
               const common::MessageFn& message);

// Makes the host present the dimension of a row: its group start for an axis of a group.
// False when the host no longer knows the command.
bool presentRow(HostLink& link, const model::MerkmalRow& row);

// Lets go of every host object; never fails.
bool Trennen(HostLink& link);

} // namespace host
