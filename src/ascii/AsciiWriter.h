#pragma once

#include "common/Message.h"
#include "hostlink/HostInterfaces.h"
#include "model/Classification.h"
#include "model/MerkmalTable.h"
#include "settings/SettingsStore.h"
#include "settings/ResultFileName.h"
#include "settings/LanguageTable.h"

#include <QLocale>

#include <functional>

namespace ascii {

// What the writer needs from the program, passed in by the main window.
struct AsciiWriteInput {
    const settings::SettingsStore& store;
    const settings::LanguageTable& texts;
    common::MessageFn message;
    model::MerkmalTable& table;
    model::KommentarTable& comments;   // "<<" markers are removed from the table itself
    const model::Selection& selection; // one entry per list entry
    const model::HeaderRows& header;
    host::HostPartProgram* program = nullptr; // nothing when the host is gone
    std::function<void(const QString&)> status;
    settings::NamingContext naming;
    QLocale locale = QLocale::system();
    // Called with each name just before the writer claims it; tests take the name there.
    std::function<void(const QString&)> beforeClaim;
    // Someone is there to answer whether the documents folder replaces a result folder that
    // cannot be written (a first start of an installation whose default is the program folder).
    bool mayProposeFolder = false;
};

struct AsciiWriteResult {
    bool written = false;
    QString planned;               // the name the settings give
    QString path;                  // the name written: another one when the planned one was taken
    settings::ResultFileName name; // the same in parts, for files written beside it
    QString numbersHoldSeparator;  // the separator, when numbers hold it and were quoted
};

// Writes the selected rows into one new result file, as the layout and output settings say.
// Reports every refusal and failure itself; a file is either complete or not there at all, and
// never replaces another: a name that is taken gives way to the next free counter.
AsciiWriteResult WriteAsciiResults(AsciiWriteInput& in);

} // namespace ascii
