#pragma once

#include "common/TempSettings.h"
#include "host/PartProgramReader.h"

// What one read of a part program needs: settings in a temporary place, the language table, the
// tables the reader fills and the host link.
struct ReaderSetup {
    TempSettings tmp;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::ReaderContext context;
    model::HeaderRows header;
    host::HostLink link;
};
