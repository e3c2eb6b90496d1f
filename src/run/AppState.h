#pragma once

#include "common/Message.h"
#include "host/HostConnection.h"
#include "host/PartProgramReader.h"
#include "model/Classification.h"
#include "model/MerkmalTable.h"
#include "settings/LanguageTable.h"
#include "settings/SettingsStore.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace run {

// What the main window shows of the connected part program.
struct ProgramData {
    QString fileName;
    QString partName;
    QString revision;
    QString drawingNumber;
};

// How complete the values shown are: a read the host broke off is shown, never written unasked.
struct ReadExtent {
    bool complete = true;
    int commandsRead = 0;
    int commandCount = 0;
    bool inHistory = false; // this read is stored in the history (once, whatever is written from it)
};

// The process-wide state: made in main, changed by the run object, shown by the windows.
struct AppState {
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::ReaderContext context;
    host::HostLink link;
    model::HeaderRows header; // the header data grid's rows below its title row

    settings::SettingsStore store;
    settings::LanguageTable texts;

    // The characteristic list: one entry per listed row (entry k for row k + 1), and which
    // entries are chosen for output.
    QStringList entries;
    model::Selection selection;
    // Counts and lamp after a classification; nothing while the view is cleared.
    std::optional<model::ClassificationResult> classification;
    ProgramData program;
    ReadExtent read;
    bool online = false; // online reception is on
    QString status;      // the status line's text
    // The file the last output wrote, for opening it or its folder.
    QString lastOutput;
    // What the last step wants the user to know beside its status: warnings too long for a line.
    QStringList notes;

    // The up to five start arguments, index 1 to 5; all empty in interactive use.
    std::array<QString, 6> StartArgs{};
    // The raw command-line arguments the start options are parsed from at each start-up.
    QStringList commandLine;
    bool SaveAsChosen = false;

    // How the host is found (the socket client; tests may put an in-process host here).
    host::HostFinder findHost;
    // Every message box of the program.
    common::MessageFn message;
    // Starts storing the parts waiting in the history's outbox, in a process of its own that
    // outlives the run; empty: a part is stored in the run itself.
    std::function<void()> deliverHistoryLater;

    host::ReaderState readerState() { return host::ReaderState{table, comments, context, header, {}, &link}; }

    QString text(const QString& section, int line) const { return texts.text(section, line); }
};

} // namespace run
