#pragma once

#include "common/Message.h"

#include <QString>

// A message as one line of text: on standard error, in the journal and in a run's log.
namespace common {

// "error", "warning", "info" or "question".
const char* messageKind(MsgIcon icon);

// The text with its line breaks as blanks, so that one message stays one line.
QString singleLine(const QString& text);

// When standard error is the systemd journal (JOURNAL_STREAM names its device and inode), the
// syslog priority that starts the line ("<3>" errors, "<4>" warnings), so that the journal
// records it; otherwise, and for other messages, "".
const char* journalPrefix(MsgIcon icon);

} // namespace common
