#pragma once

#include "settings/ResultFileName.h"
#include "settings/SettingsStore.h"

#include <QLocale>
#include <QString>
#include <QStringList>

// Where result files go and how they are named, plus a few program-wide switches: what the
// output file settings dialog edits.
namespace settings {

struct OutputFileSettings {
    QString drive;  // DRIVE: the drive (on Linux a file system root)
    QString folder; // DIR
    bool partProgFolder = false;
    bool selectFolder = false;
    bool defaultFolder = true;
    int fileName[5] = {0, 1, 1, 1, 1};
    int separator = 1;
    bool fileCounter = false;
    bool header = true; // the hidden box; saving always stores 1
    bool multiLine = true;
    QString tolProzent = QStringLiteral("90");
    bool currentUser = false;
    bool minimize = false;
    bool aqdef = false; // an AQDEF file beside every ASCII result file
    bool pdf = false;   // a PDF protocol with every unattended run
    bool qif = false;   // a QIF results file beside every ASCII result file
    QString aqdefK0006; // the header data whose value goes into K0006 (batch/order)
    QString aqdefK0008; // ... into K0008 (operator)
};

// The extra outputs beside the result file, as the writers use them.
struct ProtocolSettings {
    bool aqdef = false;
    bool pdf = false;
    bool qif = false;
    QString k0006;
    QString k0008;
};
ProtocolSettings readProtocolSettings(const SettingsStore& store);

// Where result files go and how they are named, as the ASCII writer uses it.
struct ResultFileSettings {
    QString folder;              // DIR
    bool partProgFolder = false; // the part program's folder instead of DIR
    FileNameSelection naming;
};
// The one reading of these keys (missing values written back with their defaults).
ResultFileSettings readResultFileSettings(const SettingsStore& store, const QString& programDir);

// The folder is chosen before each ASCII export (SelectFolder stored as "-1").
bool folderChosenBeforeEachExport(const SettingsStore& store);

// A user's first start of the window: results go into the documents folder as CSV that this
// computer's spreadsheet program reads (";" where numbers carry a decimal comma). Only what was
// never stored is set, so stations whose batch files never opened the window write as before.
void storeFirstStartDefaults(const SettingsStore& store, const QString& documents, const QLocale& locale);

// Loads with the dialog's defaults (written back where the store allows).
OutputFileSettings loadOutputFileSettings(const SettingsStore& store, const QString& programDir);

// Stores in the dialog's order. With the current-user box ticked the store switches to the
// current-user root first, so that this save and every later write go there. Throws
// SettingsWriteError.
void saveOutputFileSettings(SettingsStore& store, const OutputFileSettings& s);

// "OutputFile_Settings.cfg": 17 lines.
QStringList exportOutputFileSettings(const OutputFileSettings& s);
// Unreadable items are skipped; a missing warning limit becomes "90".
void importOutputFileSettings(OutputFileSettings& s, const QStringList& lines);

QString outputFileSettingsFile();

// The folder's drive: its file system root ("/" here, "C:/" on Windows).
QString driveOf(const QString& folder);

} // namespace settings
