#include "run/RunReport.h"

#include "common/MessageLine.h"
#include "settings/ExclusiveFile.h"

#include <QFile>

namespace run {

namespace {

const QString kSection = QStringLiteral("RunReport");

// A start option as a shell would need it to be the same word again.
QString optionWord(const QString& argument) {
    if (!argument.isEmpty() && !argument.contains(QLatin1Char(' ')) && !argument.contains(QLatin1Char('"')) &&
        !argument.contains(QLatin1Char('\t')))
        return argument;
    QString quoted = argument;
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

common::MessageFn recordingMessages(common::MessageFn shown, QList<common::Message>& into) {
    return [shown = std::move(shown), &into](const common::Message& m) {
        into.append(m);
        return shown ? shown(m) : m.defaultButton;
    };
}

common::MessageFn holdingFailures(common::MessageFn shown, QList<common::Message>& held) {
    return [shown = std::move(shown), &held](const common::Message& m) {
        const bool failure = m.icon == common::MsgIcon::Error || m.icon == common::MsgIcon::Critical;
        if (failure && m.buttons == common::MsgButtons::Ok) {
            held.append(m);
            return m.defaultButton;
        }
        return shown ? shown(m) : m.defaultButton;
    };
}

QString statusMeaning(const settings::LanguageTable& texts, int status) {
    // Lines 4 to 8: statuses 0 to 4.
    if (status < 0 || status > 4)
        return QString();
    return texts.text(kSection, 4 + status);
}

QString runLogEntry(const RunReport& report, const settings::LanguageTable& texts) {
    const QString crlf = common::crlf();
    QString entry = report.ended.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                    QStringLiteral(" status %1").arg(report.status);
    const QString meaning = statusMeaning(texts, report.status);
    if (!meaning.isEmpty())
        entry += QStringLiteral(" (") + meaning + QLatin1Char(')');
    entry += crlf;
    QStringList words;
    for (const QString& a : report.arguments)
        words << optionWord(a);
    entry += QStringLiteral("  options: ") + words.join(QLatin1Char(' ')) + crlf;
    for (const common::Message& m : report.messages)
        entry += QStringLiteral("  ") + QLatin1String(common::messageKind(m.icon)) + QStringLiteral(": ") +
                 common::singleLine(m.text) + crlf;
    return entry;
}

QString appendRunLog(const QString& path, const QString& entry, settings::CodePage cp) {
    const QByteArray bytes = settings::encodeAnsi(entry, cp);
    // Unbuffered, so that the entry goes out in the one write that O_APPEND keeps together.
    QFile log;
    try {
        settings::openOwnFileForAppend(log, path);
    } catch (const settings::FileError& e) {
        return e.reason();
    }
    if (log.write(bytes) != bytes.size())
        return log.errorString();
    return QString();
}

Notification failureNotification(const RunReport& report, const settings::LanguageTable& texts) {
    Notification n;
    // Outputs were written for 3 and 4, yet something is missing.
    n.summary = texts.text(kSection, report.status == 3 || report.status == 4 ? 3 : 2);
    QStringList lines;
    for (const common::Message& m : report.messages) {
        if (lines.size() == 3)
            break;
        lines << common::singleLine(m.text);
    }
    if (lines.isEmpty())
        lines << statusMeaning(texts, report.status);
    n.body = lines.join(QLatin1Char('\n'));
    return n;
}

QString failureStatus(const RunReport& report, const settings::LanguageTable& texts) {
    const Notification n = failureNotification(report, texts);
    return n.summary + QStringLiteral(": ") + n.body.section(QLatin1Char('\n'), 0, 0);
}

} // namespace run
