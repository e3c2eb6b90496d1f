#pragma once

#include "common/Message.h"
#include "host/mdl_Korvex_VERBINDEN.h"
#include "host/mdl_MERKMALE_LESEN.h"
#include "model/MerkmalTable.h"
#include "settings/SettingsStore.h"
#include "settings/modLanguage.h"

#include <QString>
#include <QStringList>

#include <array>

namespace mainwindow {

// The process-wide state: made in main and handed to the main window, which hands it on.
struct AppState {
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::ReaderContext context;
    host::HostLink link;
    host::HeaderRows header; // the header data grid's rows below its title row

    settings::SettingsStore store;
    settings::LanguageTable texts;

    // The up to five start arguments, index 1 to 5; all empty in interactive use.
    std::array<QString, 6> StartArgs{};
    // The raw command-line arguments the start options are parsed from at each start-up.
    QStringList commandLine;
    bool SaveAsChosen = false;

    // An unattended run without a display: it never waits, and its exit status says whether
    // it wrote its outputs without an error message.
    bool headless = false;
    bool outputsWritten = false;
    bool errorShown = false;

    // How the host is found (the socket client; tests may put an in-process host here).
    host::HostFinder findHost;
    // Every message box of the program.
    common::MessageFn message;

    host::ReaderState readerState() { return host::ReaderState{table, comments, context, header, {}, &link}; }

    QString text(const QString& section, int line) const { return texts.text(section, line); }
};

} // namespace mainwindow
