#pragma once

#include "common/Message.h"
#include "settings/LanguageTable.h"
#include "settings/TextCodec.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What an unattended run leaves for those who were not there when it ended: an entry in the run
// log a batch file asks for, and a desktop notification of a failure.
namespace run {

// Names the file a run appends its entry to; the batch files set it.
inline const char* runLogVariable() {
    return "DOZIDUVOV_RUN_LOG";
}

struct RunReport {
    QDateTime ended;
    int status = 1;        // the exit status
    QStringList arguments; // the start options as given
    QList<common::Message> messages; // shown or printed, in order
};

// The message function that also keeps every message in `into` (which must outlive it).
common::MessageFn recordingMessages(common::MessageFn shown, QList<common::Message>& into);

// A run started by a batch file on a desktop: its failures wait in `held` until its log entry and
// notification are out, so nobody's click comes first. Questions are shown at once.
common::MessageFn holdingFailures(common::MessageFn shown, QList<common::Message>& held);

// The status line after a failed run: what failed and why, in one line.
QString failureStatus(const RunReport& report, const settings::LanguageTable& texts);

// The exit status in the user's words.
QString statusMeaning(const settings::LanguageTable& texts, int status);

// One entry: date, time, status and its meaning on the first line, then the start options and
// every message, one line each, indented.
QString runLogEntry(const RunReport& report, const settings::LanguageTable& texts);

// Appends the entry with one write, so that the entries of runs side by side never mix. Only to a
// plain file of this user: a link, pipe or another user's file at the name is refused. The reason
// when it could not; empty when it was written.
QString appendRunLog(const QString& path, const QString& entry, settings::CodePage cp);

struct Notification {
    QString summary;
    QString body; // plain text
};

// A failed or incomplete run: the summary for its status, the first messages as the body.
Notification failureNotification(const RunReport& report, const settings::LanguageTable& texts);

} // namespace run
