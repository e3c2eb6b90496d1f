#pragma once

#include "common/Message.h"
#include "hostlink/HostInterfaces.h"
#include "model/MerkmalTable.h"
#include "protocol/ProtocolRows.h"
#include "settings/LanguageTable.h"
#include "settings/ResultFileName.h"
#include "settings/SettingsStore.h"

#include <QLocale>

#include <functional>
#include <optional>

namespace protocol {

// What the AQDEF and PDF writers need from the program.
struct ProtocolWriteInput {
    const settings::SettingsStore& store;
    const settings::LanguageTable& texts;
    common::MessageFn message;
    model::MerkmalTable& table;
    model::KommentarTable& comments;
    const model::Selection& selection;
    const model::HeaderRows& header;
    host::HostPartProgram* program = nullptr; // nothing when the host is gone
    ProgramInfo info;
    settings::NamingContext naming; // its date and time also stamp the values
    QLocale locale = QLocale::system();
    // The result file written just before: the same name with another extension, so that the
    // files of one part belong together. Nothing: a name of its own from the output settings.
    std::optional<settings::ResultFileName> beside;
    // Called with each name just before the writer claims it; tests take the name there.
    std::function<void(const QString&)> beforeClaim;
};

struct ProtocolWriteResult {
    bool written = false;
    QString planned; // the name the settings give
    QString path;    // the name written: another counter when the planned one was taken
    QString note;    // what the user should know about the file's content, or nothing
};

// One ".dfq" file of the chosen rows. Reports refusals and failures itself; a file is complete
// or not there, and never replaces another.
ProtocolWriteResult WriteAqdefFile(ProtocolWriteInput& in);
// The QIF results file, named as the AQDEF file is.
ProtocolWriteResult WriteQifFile(ProtocolWriteInput& in);

// The ".pdf" measurement protocol of the chosen rows, with the same guarantees. Needs a
// QGuiApplication for its fonts.
ProtocolWriteResult WritePdfProtocol(ProtocolWriteInput& in);

// The header data value of the row with this name (names compared trimmed); nothing for no name.
QString headerValue(const model::HeaderRows& header, const QString& name);

} // namespace protocol
