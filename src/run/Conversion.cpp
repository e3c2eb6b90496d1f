#include "run/Conversion.h"

#include "ascii/AsciiWriter.h"
#include "common/MessageLine.h"
#include "common/ProgramPaths.h"
#include "excel/FormReport.h"
#include "excel/ReportLayout.h"
#include "history/History.h"
#include "hostlink/HostSocketClient.h"
#include "protocol/PdfProtocol.h"
#include "protocol/ProtocolOutput.h"
#include "settings/HeaderData.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTime>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace run {

namespace {

const QString kStatus = QStringLiteral("StatusBar");
const QString kBox = QStringLiteral("MessageBoxen");
const QString kHistory = QStringLiteral("History");
constexpr qint64 kProgressInterval = 50; // ms between progress updates
constexpr qint64 kPercentAfter = 500;    // ms of work before a terminal is shown a percentage

bool stderrIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}

} // namespace

settings::StartupKeys startUp(AppState& state) {
    settings::SettingsStore& store = state.store;
    store.selectRoot();
    // The window's first start, before any key is stored with its default; batch files keep what
    // their station had.
    if (!isRunMode(startArgsOf(state.commandLine)[1]))
        settings::storeFirstStartDefaults(
            store, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), QLocale::system());
    settings::StartupKeys keys = settings::readLanguageKey(store);
    settings::LoadLanguage(state.texts, keys.language, common::programDir(), state.message);
    settings::readStartupKeys(store, keys);
    if (keys.header)
        settings::applyHeaderNames(state.header, settings::readHeaderDataNames(settings::headerDataFile()));
    state.status = state.text(kStatus, 12);
    return keys;
}

Conversion::Conversion(AppState& state, QObject* parent)
    : QObject(parent), m_state(state), m_reader(state.readerState()), m_live{m_reader, {}} {
    qRegisterMetaType<run::RunResult>();
    m_live.fctEndProgram = [this] { fctEndProgram(); };
}

Conversion::~Conversion() {
    m_events.reset();
}

bool Conversion::unattended() const {
    return isRunMode(m_state.StartArgs[1]);
}

bool Conversion::dispatchStartOptions() {
    m_state.StartArgs = startArgsOf(m_state.commandLine);
    const QString mode = m_state.StartArgs[1];
    if (isOfflineMode(mode))
        ReadValuesOffline();
    else if (isOnlineMode(mode))
        startOnlineReception();
    else
        return false;
    return true;
}

void Conversion::setStatus(const QString& text) {
    m_state.status = text;
    Q_EMIT statusChanged();
}

void Conversion::progress(int maximum, int value) {
    if (maximum < 0) {
        m_progressClock.invalidate();
        m_workClock.invalidate();
        if (m_percentShown)
            std::fputs("\r          \r", stderr);
        m_percentShown = false;
        Q_EMIT progressChanged(-1, 0);
        return;
    }
    if (!m_workClock.isValid())
        m_workClock.start();
    // The first and the last step always show; in between at most one update per interval.
    const bool edge = value <= 0 || value >= maximum;
    if (!edge && m_progressClock.isValid() && m_progressClock.elapsed() < kProgressInterval)
        return;
    m_progressClock.start();
    Q_EMIT progressChanged(maximum, value);
    // Someone at the terminal of an unattended run sees long work move; a log file gets none.
    if (unattended() && m_workClock.elapsed() >= kPercentAfter && stderrIsTerminal()) {
        std::fprintf(stderr, "\rdoziduvov: %3d %%", static_cast<int>(100LL * value / std::max(maximum, 1)));
        std::fflush(stderr);
        m_percentShown = true;
    }
}

void Conversion::setSelection(model::Selection selection) {
    selection.resize(static_cast<std::size_t>(m_state.entries.size()), false);
    m_state.selection = std::move(selection);
    Q_EMIT selectionChanged();
}

void Conversion::changeSelection(const std::function<void(model::Selection&)>& change) {
    model::Selection s = m_state.selection;
    change(s);
    setSelection(std::move(s));
}

QString Conversion::nothingWrittenNote() const {
    // An unattended run says plainly that it wrote nothing from what it got.
    return unattended() ? common::crlf() + common::crlf() + m_state.text(kBox, 57) : QString();
}

void Conversion::reportReadFailure(const QString& detail) {
    common::notify(m_state.message, common::MsgIcon::Error,
                   m_state.text(kBox, 12) + common::crlf() + detail + common::crlf() + common::crlf() +
                       m_state.text(kBox, 13) + nothingWrittenNote(),
                   host::connectionCaption());
}

bool Conversion::connectHost() {
    host::Verbinden(m_state.link, m_state.table.TeileProgrammName, m_state.findHost, m_state.texts,
                    m_state.message);
    return !m_state.table.TeileProgrammName.isEmpty();
}

void Conversion::showProgramData() {
    auto& p = *m_state.link.partProgram;
    m_state.program = ProgramData{p.FileName(), p.PartName(), p.Revision(), p.DrawingNumber()};
    Q_EMIT programChanged();
}

void Conversion::clearValues() {
    m_state.entries.clear();
    m_state.selection.clear();
    m_state.classification.reset();
    Q_EMIT valuesCleared();
    Q_EMIT headerChanged();
}

void Conversion::listValues() {
    m_state.entries = model::listEntries(m_state.table);
    m_state.selection.assign(static_cast<std::size_t>(m_state.entries.size()), false);
    Q_EMIT valuesListed();
    reportDroppedRows();
}

void Conversion::reportDroppedRows() {
    // The list ends at the first row without an ID; what follows it is never written.
    // The count is of the rows after it: the row without an ID is named on its own.
    const int dropped = rowsNotListed();
    if (dropped == 0)
        return;
    note(dropped == 1 ? m_state.text(kStatus, 24) : m_state.text(kStatus, 15).arg(dropped - 1));
}

int Conversion::rowsNotListed() const {
    return std::max(0, m_state.table.AnzMerkmale - static_cast<int>(m_state.entries.size()));
}

void Conversion::note(const QString& text) {
    m_state.notes << text;
    Q_EMIT notesChanged();
    // Nobody reads the window of an unattended run: its log does.
    if (unattended()) {
        setStatus(text);
        std::fprintf(stderr, "%sdoziduvov: %s\n", common::journalPrefix(common::MsgIcon::Warning),
                     qPrintable(text));
    }
}

void Conversion::beginStep() {
    // An unattended run keeps them all for its report.
    if (m_state.notes.isEmpty() || unattended())
        return;
    m_state.notes.clear();
    Q_EMIT notesChanged();
}

void Conversion::wrote(const QString& path, const QString& status) {
    m_written << path;
    m_state.lastOutput = path;
    setStatus(status);
    Q_EMIT outputWritten();
}

void Conversion::finishRun(bool ended, bool success) {
    if (!unattended())
        return;
    RunResult r;
    r.ended = ended;
    r.success = ended && success;
    r.written = m_written;
    r.historyFailed = m_historyFailed;
    r.rowsNotTaken = rowsNotListed();
    Q_EMIT runFinished(r);
}

void Conversion::ReadValuesOffline() {
    beginStep();
    // One source of values at a time: the subscription ends before the read replaces the list.
    if (m_state.online)
        endOnlineReception();
    m_state.context.ZeilenPos = 0;
    if (!connectHost()) {
        finishRun(false, false);
        return;
    }
    QString failure;
    {
        // Host events wait until the read has ended.
        const auto hold = host::holdHostEvents(m_state.link.application);
        try {
            showProgramData();
            int maximum = 1;
            host::ReaderCallbacks cb;
            cb.started = [&](int n) {
                maximum = std::max(n, 1);
                clearValues();
                progress(maximum, 0);
            };
            cb.progress = [&](int v) { progress(maximum, v); };
            cb.status = [&](const QString& t) { setStatus(t); };
            cb.finished = [&] { progress(-1, 0); };
            host::ReaderState rs = m_state.readerState();
            const host::ReadResult result =
                host::MerkmaleLesen(m_state.link, rs, m_state.store, m_state.texts, cb);
            Q_EMIT headerChanged();
            m_state.classification = result.classification;
            m_state.read = ReadExtent{result.complete, result.commandsRead, result.commandCount};
            failure = result.failure;
        } catch (const host::HostError& e) {
            // Nothing was read yet: the values shown, if any, are still the last read's.
            progress(-1, 0);
            reportReadFailure(host::hostErrorText(e, m_state.texts));
            finishRun(false, false);
            return;
        }
    }
    listValues();
    Q_EMIT classified();
    if (m_state.read.complete)
        setStatus(m_state.text(kStatus, 23).arg(m_state.entries.size()));
    // A read the host broke off is shown, but an unattended run never writes a part of it.
    if (!m_state.read.complete) {
        reportReadFailure(failure);
        finishRun(false, false);
        return;
    }
    StartoptionenAuswerten();
}

void Conversion::startOnlineReception() {
    if (m_state.online)
        return;
    beginStep();
    if (!connectHost()) {
        finishRun(false, false);
        return;
    }
    // Everything below happens before any event is handled.
    const auto hold = host::holdHostEvents(m_state.link.application);
    try {
        showProgramData();
        clearValues();
        m_state.online = true;
        m_state.read = ReadExtent{true, 0, 0};
        Q_EMIT onlineChanged(true);
        m_events = m_state.link.application->Events();
        m_events->setListener(this);
        setStatus(m_state.text(kStatus, 13));
        const int capacity = m_state.link.commands->Count();
        const QString version = m_state.link.application->Version();
        host::PrepareReader(m_reader, m_state.store, capacity);
        m_reader.hostVersion = version;
    } catch (const host::HostError& e) {
        m_events.reset();
        m_state.online = false;
        Q_EMIT onlineChanged(false);
        setStatus(m_state.text(kStatus, 14));
        reportOnlineFailure(host::hostErrorText(e, m_state.texts));
        finishRun(false, false);
    }
}

void Conversion::reportOnlineFailure(const QString& detail) {
    common::notify(m_state.message, common::MsgIcon::Error,
                   m_state.text(kBox, 58) + common::crlf() + detail + nothingWrittenNote(),
                   host::connectionCaption());
}

void Conversion::endOnlineReception() {
    m_events.reset();
    m_state.online = false;
    Q_EMIT onlineChanged(false);
    setStatus(m_state.text(kStatus, 14));
}

void Conversion::stopOnlineReception() {
    endOnlineReception();
    StartoptionenAuswerten();
}

void Conversion::abortOnlineReception(const QString& detail) {
    if (!m_state.online)
        return;
    endOnlineReception();
    // What came before the break is shown, and marked as a part.
    m_state.read.complete = false;
    listValues();
    m_state.classification = host::ClassifyWithStoredLimit(m_state.table, m_state.store);
    Q_EMIT classified();
    reportOnlineFailure(detail);
    finishRun(false, false);
}

void Conversion::OnConnectionLost(const host::HostError& why) {
    abortOnlineReception(host::hostErrorText(why, m_state.texts));
}

void Conversion::ToggleOnlineReception() {
    if (m_state.online)
        stopOnlineReception();
    else
        startOnlineReception();
}

void Conversion::OnObjectExecuted(std::shared_ptr<host::HostPartProgram> partProg,
                                  std::shared_ptr<host::HostCommand> cmmd) {
    try {
        host::KvxEvents_OnObjectExecuted(m_live, partProg, cmmd);
    } catch (const host::HostError& e) {
        // A row that could not be taken leaves a gap no later event fills.
        abortOnlineReception(host::hostErrorText(e, m_state.texts));
    }
}

void Conversion::OnEndExecution(std::shared_ptr<host::HostPartProgram> partProg, int terminationType) {
    try {
        host::KvxEvents_OnEndExecution(m_live, partProg, terminationType);
    } catch (const host::HostError& e) {
        abortOnlineReception(host::hostErrorText(e, m_state.texts));
    }
}

void Conversion::fctEndProgram() {
    if (!m_state.online)
        return;
    listValues();
    m_state.classification = host::ClassifyWithStoredLimit(m_state.table, m_state.store);
    Q_EMIT classified();
    stopOnlineReception();
}

void Conversion::StartoptionenAuswerten() {
    const StartArgsArray& args = m_state.StartArgs;
    if (!isRunMode(args[1]) || m_evaluating)
        return;
    if (!m_state.read.complete) {
        finishRun(false, false);
        return;
    }
    m_evaluating = true;
    m_historyFailed = false;
    m_written.clear();
    const int entries = static_cast<int>(m_state.entries.size());
    setSelection(chooseRows(m_state.table, entries, args));

    bool success = false;
    if (!args[2].isEmpty()) {
        excel::LayoutFileValues layout;
        QStringList headerNames;
        for (const model::HeaderRow& row : m_state.header)
            headerNames << row.name;
        // A file made for another number of header data would shift every value after its
        // list; the same number under other spellings is placed by position, with a warning.
        const auto inFile = excel::layoutHeaderMismatch(args[3], headerNames);
        if (inFile && inFile->size() == headerNames.size()) {
            note(excel::headerMismatchText(m_state.texts, *inFile, headerNames, true));
        } else if (inFile) {
            common::notify(m_state.message, common::MsgIcon::Error,
                           excel::headerMismatchText(m_state.texts, *inFile, headerNames) + common::crlf() +
                               m_state.text(kBox, 38));
            m_evaluating = false;
            finishRun(false, false);
            return;
        }
        if (!excel::LoadReportConfiguration(args[3], m_state.store, static_cast<int>(m_state.header.size()),
                                            &layout)) {
            common::Message m;
            m.icon = common::MsgIcon::None;
            m.caption = common::applicationTitle();
            m.text = m_state.text(kBox, 9);
            m_state.message(m);
            m_evaluating = false;
            finishRun(false, false);
            return;
        }
        // This run's layout is the file's, whatever another run stores meanwhile.
        m_layoutValue = excel::layoutOfFile(layout, m_state.store);
        // The argument itself receives a correction report's saved name.
        success = fillExcelReport(m_state.StartArgs[2], args[4] == QLatin1String("OOT"));
        if (args[4] == QLatin1String("ALO")) {
            setSelection(chooseCorrectionRows(m_state.table, entries, args));
            if (!args[5].trimmed().isEmpty())
                success = fillExcelReport(m_state.StartArgs[5], true) && success;
        }
        // The protocol of the part goes with every unattended run when switched on.
        if (success && settings::readProtocolSettings(m_state.store).pdf)
            success = writeProtocol(Protocol::Pdf, std::nullopt);
    } else {
        success = writeAsciiForRun();
    }
    m_layoutValue = {};
    m_evaluating = false;
    finishRun(true, success);
}

bool Conversion::writeAsciiForRun() {
    // A folder chosen before each export needs someone to choose it: nothing is written, and
    // the log says why.
    if (settings::folderChosenBeforeEachExport(m_state.store)) {
        common::notify(m_state.message, common::MsgIcon::Error, m_state.text(kBox, 67));
        return false;
    }
    return subWerteAusgeben();
}

bool Conversion::mayWrite() {
    // Nothing read: the writers say so themselves.
    if (m_state.read.complete || m_evaluating || m_state.entries.isEmpty())
        return true;
    common::Message m;
    m.icon = common::MsgIcon::Question;
    m.caption = common::applicationTitle();
    m.text = m_state.text(kBox, 56)
                 .arg(m_state.read.commandsRead)
                 .arg(m_state.read.commandCount)
                 .arg(m_state.entries.size());
    m.buttons = common::MsgButtons::YesNo;
    m.defaultButton = common::MsgResult::No;
    return m_state.message(m) == common::MsgResult::Yes;
}

bool Conversion::subWerteAusgeben() {
    beginStep();
    if (!mayWrite())
        return false;
    ascii::AsciiWriteInput in{m_state.store,
                              m_state.texts,
                              m_state.message,
                              m_state.table,
                              m_state.comments,
                              m_state.selection,
                              m_state.header,
                              m_state.link.partProgram.get(),
                              [this](const QString& t) { setStatus(t); },
                              {},
                              QLocale::system(),
                              {}};
    in.mayProposeFolder = !unattended();
    const ascii::AsciiWriteResult r = ascii::WriteAsciiResults(in);
    if (!r.written)
        return false;
    wrote(r.path, m_state.text(kStatus, 19).arg(QFileInfo(r.path).fileName()));
    if (!r.numbersHoldSeparator.isEmpty())
        note(m_state.text(kBox, 64).arg(r.numbersHoldSeparator));
    if (r.path != r.planned)
        reportOtherName(r.planned, r.path);
    // The extra outputs of the same part carry the result file's name.
    const settings::ProtocolSettings extras = settings::readProtocolSettings(m_state.store);
    bool success = true;
    if (extras.aqdef)
        success = writeProtocol(Protocol::Aqdef, r.name) && success;
    if (extras.qif)
        success = writeProtocol(Protocol::Qif, r.name) && success;
    if (extras.pdf && unattended())
        success = writeProtocol(Protocol::Pdf, r.name) && success;
    // After every output of this part: a slow or failing history never holds them up.
    storeInHistory();
    return success;
}

bool Conversion::writePdfProtocol() {
    beginStep();
    if (!mayWrite())
        return false;
    return writeProtocol(Protocol::Pdf, std::nullopt);
}

bool Conversion::writeQifResults() {
    beginStep();
    if (!mayWrite())
        return false;
    return writeProtocol(Protocol::Qif, std::nullopt);
}

bool Conversion::writeProtocol(Protocol which, std::optional<settings::ResultFileName> beside) {
    const QString section = protocol::protocolSection();
    const bool pdf = which == Protocol::Pdf;
    // Text in a PDF needs fonts, and fonts need the GUI application: never a crash instead.
    if (pdf && !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        common::notify(m_state.message, common::MsgIcon::Error,
                       m_state.text(section, protocol::line::PdfFailed));
        return false;
    }
    protocol::ProtocolWriteInput in{m_state.store,
                                    m_state.texts,
                                    m_state.message,
                                    m_state.table,
                                    m_state.comments,
                                    m_state.selection,
                                    m_state.header,
                                    m_state.link.partProgram.get(),
                                    {m_state.program.fileName, m_state.program.partName,
                                     m_state.program.revision, m_state.program.drawingNumber},
                                    {},
                                    QLocale::system(),
                                    std::move(beside),
                                    {}};
    protocol::ProtocolWriteResult r;
    int written = protocol::line::AqdefWritten;
    if (pdf) {
        r = protocol::WritePdfProtocol(in);
        written = protocol::line::PdfWritten;
    } else if (which == Protocol::Qif) {
        r = protocol::WriteQifFile(in);
        written = protocol::line::QifWritten;
    } else {
        r = protocol::WriteAqdefFile(in);
    }
    if (!r.written)
        return false;
    wrote(r.path, m_state.text(section, written).arg(QFileInfo(r.path).fileName()));
    if (!r.note.isEmpty())
        note(r.note);
    if (r.path != r.planned)
        reportOtherName(r.planned, r.path);
    return true;
}

void Conversion::reportOtherName(const QString& planned, const QString& used) {
    // Whoever looks for the planned name must learn where the results went.
    note(m_state.text(kStatus, 16).arg(QDir::toNativeSeparators(used), QDir::toNativeSeparators(planned)));
}

bool Conversion::fillExcelReport(QString& formPath, bool korrekturbericht) {
    beginStep();
    if (!mayWrite())
        return false;
    excel::ReportRun run{m_state.store,
                         m_state.texts,
                         m_state.message,
                         m_state.table,
                         m_state.comments,
                         m_state.entries,
                         m_state.selection,
                         m_state.header,
                         m_state.SaveAsChosen,
                         chooseSaveAs,
                         [this](const QString& t) { setStatus(t); },
                         [this](int maximum, int value) { progress(maximum, value); },
                         QDate::currentDate(),
                         excel::wholeSeconds(QTime::currentTime()),
                         m_layoutValue};
    const excel::ReportResult r = excel::FillExcelReport(run, formPath, korrekturbericht);
    if (r.saved) {
        wrote(formPath, m_state.text(kStatus, 2) + QLatin1Char(' ') + QFileInfo(formPath).fileName() +
                            QLatin1Char(' ') + m_state.text(kStatus, 3));
        storeInHistory();
    } else {
        // Never "being filled" after a form was refused or the fill failed.
        setStatus(m_state.text(kStatus, 8));
    }
    if (r.cutTexts > 0)
        note(m_state.text(kStatus, 18).arg(r.cutTexts));
    return r.saved;
}

bool Conversion::storeInHistory() {
    // A read the host broke off is never kept: its part would look measured in full.
    if (!m_state.read.complete || m_state.read.inHistory || m_state.entries.isEmpty())
        return true;
    const ProgramData& p = m_state.program;
    const history::HistorySettings settings = history::readHistorySettings(m_state.store);
    if (!settings.enabled)
        return true;
    try {
        history::History h(settings);
        const history::Part part = history::partFromTable(m_state.table, m_state.header, p.partName,
                                                          p.revision, p.drawingNumber, p.fileName);
        const history::History::StoreResult r =
            h.store(part, m_state.deliverHistoryLater ? history::History::Delivery::AfterRun
                                                      : history::History::Delivery::InRun);
        m_state.read.inHistory = true;
        if (r.waiting)
            m_state.deliverHistoryLater();
        // Which failure it was: a busy file, a refused login, no answer, a refused part.
        if (r.queued)
            note(m_state.text(kHistory, r.busy           ? 29
                                        : r.loginRefused ? 27
                                                         : 4)
                     .arg(h.pendingInOutbox())
                     .arg(r.serverProblem));
        else if (r.delivered > 1)
            note(m_state.text(kHistory, 5).arg(r.delivered));
        for (const history::Refusal& refusal : r.refused)
            note(m_state.text(kHistory, 28).arg(refusal.reason));
        return true;
    } catch (const history::HistoryError& e) {
        // The outputs a run was asked for are written; the history fails the run only for those
        // who asked it to.
        m_historyFailed = settings.failsRun;
        note(m_state.text(kHistory, 3).arg(e.text()));
        return false;
    }
}

void Conversion::presentEntry(int entry) {
    const int r = entry + 1;
    if (entry < 0 || r > m_state.table.AnzMerkmale || !m_state.link.hasPartProgram())
        return;
    try {
        host::presentRow(m_state.link, m_state.table.row(r));
    } catch (const host::HostError& e) {
        common::notify(m_state.message, common::MsgIcon::Error,
                       m_state.text(kBox, 59) + common::crlf() + host::hostErrorText(e, m_state.texts),
                       host::connectionCaption());
    }
}

void Conversion::release() {
    // Nothing here may keep the program from ending.
    try {
        m_events.reset();
    } catch (...) {
    }
    try {
        host::Trennen(m_state.link);
    } catch (...) {
    }
}

} // namespace run
