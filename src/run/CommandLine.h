#pragma once

#include "model/Classification.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace run {

using StartArgsArray = std::array<QString, 6>; // index 1 to 5

// The Windows command-line text after the program path: "/" and tab separate, blanks are
// ordinary characters, at most max arguments, each trimmed.
StartArgsArray ParseCommandLine(const QString& text, int max = 5);

// On POSIX the shell has split the words: each is one argument in order, trimmed; a "/" before
// a switch word (a, m, o, ALL, OOT, ALO in any case) is dropped.
StartArgsArray StartArgsFromWords(const QStringList& words, int max = 5);

// The start options as this platform reads its command line: Windows scans the text, POSIX
// takes the shell's words.
StartArgsArray startArgsOf(const QStringList& words);

bool isRunMode(const QString& mode); // a A m M o O

// What the program was asked to do by its command line.
struct CommandLine {
    enum class Action {
        Window,
        Run,
        Help,
        Version,
        Error,
        History,
        HistoryDb,
        HistoryOutbox,
        HistoryRetry,
        HistoryDeliver,
        HistoryPrune,
        HistoryBackup,
        HistorySetup
    };
    Action action = Action::Window;
    QStringList words;   // the start options (at most five), without the program's own options
    QStringList ignored; // start options after the fifth
    bool quiet = false;  // an unattended run does not list the files it wrote
    QString error;       // for Error: what is wrong, in English (a command-line tool's text)
    // For History: the part program, the characteristic ("ID.Achse"; empty: all) and the start.
    QString historyProgram;
    QString historyCharacteristic;
    std::optional<QDateTime> historySince;
    std::optional<QDateTime> historyBefore; // HistoryPrune: parts measured before it are removed
    QString historyBackupFile;              // HistoryBackup: the copy to write
    // For History: the values themselves, or what a quality engineer reads from them.
    enum class HistoryReport { Values, Capability, ControlLimits };
    HistoryReport historyReport = HistoryReport::Values;
    int historySubgroup = 1;            // parts per subgroup, 1 for individual parts
    bool historySubgroupSpread = false; // subgroups judged by their standard deviation, not range
};
// "--help"/"-h" and "--version"/"-v" anywhere win; "--quiet"/"-q" anywhere is taken out; any
// other word with a leading "-" is an error. Start options after the fifth are set aside; a
// first one that is no run mode (a, m, o in any case, with or without "/") means the window.
// "--history PROGRAM [CHARACTERISTIC] [--since DATE]", "--history-db", "--history-outbox" and
// "--history-retry", "--history-deliver" stand alone, as do "--history-prune --before DATE" and
// "--history-backup FILE". "--capability" or "--control-limits" after "--history" ask for the
// figures instead of the values; "--subgroup N" (2 to 25) and "--chart xbar-r|xbar-s|i-mr" choose
// the subgroups and the chart.
CommandLine parseCommandLine(const QStringList& words);
bool isOfflineMode(const QString& mode); // a A m M
bool isOnlineMode(const QString& mode);  // o O

// The rows an unattended run outputs (the choice of the fourth argument); entry k for row k + 1.
model::Selection chooseRows(const model::MerkmalTable& table, int entries, const StartArgsArray& args);
// The correction rows (the "OOT" rule) with the mode's condition.
model::Selection chooseCorrectionRows(const model::MerkmalTable& table, int entries,
                                      const StartArgsArray& args);

} // namespace run
