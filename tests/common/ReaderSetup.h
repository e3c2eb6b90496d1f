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

// A comment's lines joined, as the writers put them side by side.
inline QString joinedLines(const model::KommentarBlock& block) {
    QString s;
    for (const QString& line : block.Zeile)
        s += line;
    return s;
}
