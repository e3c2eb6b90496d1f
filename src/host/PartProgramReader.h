#pragma once

#include "common/Message.h"
#include "host/HostConnection.h"
#include "model/Classification.h"
#include "model/MerkmalTable.h"
#include "settings/SettingsStore.h"
#include "settings/LanguageTable.h"

#include <functional>
#include <vector>

namespace host {

// Dimension type code -> type text; "UNKNOWN DIMENSION TYPE" for codes not in the table.
QString TypName(int code);
// Output mode code -> "STATISTIK", "PROTOKOLL", "BEIDE" or "KEINE".
QString AusgabeText(int code);
// A comment line as the table keeps it: at most 255 characters, line breaks as blanks.
QString ZeileBereinigen(const QString& text);
// Five decimals, as the table keeps the host's numbers.
double R5(double x);

// What the per-command rules work on, in a read and while online.
struct ReaderState {
    model::MerkmalTable& table;
    model::KommentarTable& comments;
    model::ReaderContext& context;
    model::HeaderRows& header;
    QString hostVersion;
    HostLink* link = nullptr; // receives the current command and its views
};

// Reads HEADER and MultiLine and re-creates the tables with the capacity, as a read and the
// online start both begin.
void PrepareReader(ReaderState& state, const settings::SettingsStore& store, int capacity);

// A report comment's lines into the comment table (single-line or multi-line mode).
void CollectComment(ReaderState& state, HostComment& comment);
// Header data from an assignment, group end and start, one row by the axis or single rule, and
// the end of a pending comment after a command that is neither a dimension nor a comment.
void ApplyCommand(ReaderState& state, const std::shared_ptr<HostCommand>& command);

struct ReaderCallbacks {
    std::function<void(int commandCount)> started; // progress maximum; the window clears itself
    std::function<void(int visited)> progress;
    std::function<void(const QString&)> status;
    std::function<void()> finished;
};

struct ReadResult {
    model::ClassificationResult classification;
    bool complete = true; // false: a host call failed and the read stopped there
    QString failure;      // what failed, in the user's language
    int commandsRead = 0; // commands visited
    int commandCount = 0; // commands the part program has
};

// Reads every command of the connected part program into the tables and classifies the rows.
// A host call that fails stops the read; the rows read so far stay and are classified, and the
// result says what failed (the caller tells the user).
ReadResult MerkmaleLesen(HostLink& link, ReaderState& state, const settings::SettingsStore& store,
                         const settings::LanguageTable& texts, const ReaderCallbacks& callbacks);

// Classifies with the stored warning limit.
model::ClassificationResult ClassifyWithStoredLimit(model::MerkmalTable& table,
                                                    const settings::SettingsStore& store);

} // namespace host
