#include "run/Conversion.h"

#include "ascii/modASCIIOutput.h"
#include "common/ProgramPaths.h"
#include "excel/ReportLayout.h"
#include "excel/mdl_ExcelFormular.h"
#include "host/HostSocketClient.h"
#include "settings/HeaderData.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace run {

namespace {

const QString kStatus = QStringLiteral("StatusBar");
const QString kBox = QStringLiteral("MessageBoxen");
constexpr qint64 kProgressInterval = 50; // ms between progress updates

} // namespace

settings::StartupKeys startUp(AppState& state) {
    settings::SettingsStore& store = state.store;
    store.selectRoot();
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
#ifdef Q_OS_WIN
    m_state.StartArgs = ParseCommandLine(m_state.commandLine.join(QLatin1Char(' ')));
#else
    m_state.StartArgs = StartArgsFromWords(m_state.commandLine);
#endif
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
        Q_EMIT progressChanged(-1, 0);
        return;
    }
    // The first and the last step always show; in between at most one update per interval.
    const bool edge = value <= 0 || value >= maximum;
    if (!edge && m_progressClock.isValid() && m_progressClock.elapsed() < kProgressInterval)
        return;
    m_progressClock.start();
    Q_EMIT progressChanged(maximum, value);
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

void Conversion::reportHostError(const host::HostError& e) {
    common::notify(m_state.message, common::MsgIcon::Error,
                   m_state.text(kBox, 12) + common::crlf() + e.text() + common::crlf() + common::crlf() +
                       m_state.text(kBox, 13),
                   host::connectionCaption());
}

bool Conversion::connectHost() {
    try {
        host::Verbinden(m_state.link, m_state.table.TeileProgrammName, m_state.findHost, m_state.texts,
                        m_state.message);
    } catch (const host::HostError& e) {
        // A host that goes away while being attached is a failed connect, not a crash.
        m_state.table.TeileProgrammName.clear();
        host::Trennen(m_state.link);
        reportHostError(e);
    }
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
}

void Conversion::finishRun(bool ended, bool success) {
    if (!unattended())
        return;
    RunResult r;
    r.ended = ended;
    r.success = ended && success;
    r.written = m_written;
    Q_EMIT runFinished(r);
}

void Conversion::ReadValuesOffline() {
    m_state.context.ZeilenPos = 0;
    if (!connectHost()) {
        finishRun(false, false);
        return;
    }
    bool complete = false;
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
                host::MerkmaleLesen(m_state.link, rs, m_state.store, m_state.texts, cb, m_state.message);
            Q_EMIT headerChanged();
            m_state.classification = result.classification;
            complete = result.complete;
        } catch (const host::HostError& e) {
            progress(-1, 0);
            reportHostError(e);
            finishRun(false, false);
            return;
        }
    }
    listValues();
    Q_EMIT classified();
    // A read the host broke off is shown, but an unattended run never writes a part of it.
    if (!complete) {
        finishRun(false, false);
        return;
    }
    StartoptionenAuswerten();
}

void Conversion::startOnlineReception() {
    if (m_state.online)
        return;
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
        reportHostError(e);
        finishRun(false, false);
    }
}

void Conversion::stopOnlineReception() {
    m_events.reset();
    m_state.online = false;
    Q_EMIT onlineChanged(false);
    setStatus(m_state.text(kStatus, 14));
    StartoptionenAuswerten();
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
        reportHostError(e);
    }
}

void Conversion::OnEndExecution(std::shared_ptr<host::HostPartProgram> partProg, int terminationType) {
    try {
        host::KvxEvents_OnEndExecution(m_live, partProg, terminationType);
    } catch (const host::HostError& e) {
        reportHostError(e);
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
    m_evaluating = true;
    m_written.clear();
    const int entries = static_cast<int>(m_state.entries.size());
    setSelection(chooseRows(m_state.table, entries, args));

    bool success = false;
    if (!args[2].isEmpty()) {
        excel::LayoutFileValues layout;
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
    } else {
        success = writeAsciiForRun();
    }
    m_layoutValue = {};
    m_evaluating = false;
    finishRun(true, success);
}

bool Conversion::writeAsciiForRun() {
    // A folder chosen before each export needs someone to choose it: nothing is written.
    if (settings::folderChosenBeforeEachExport(m_state.store))
        return false;
    return subWerteAusgeben();
}

bool Conversion::subWerteAusgeben() {
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
                              QLocale::system()};
    const ascii::AsciiWriteResult r = ascii::WriteAsciiResults(in);
    if (r.written)
        m_written << r.path;
    return r.written;
}

bool Conversion::fillExcelReport(QString& formPath, bool korrekturbericht) {
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
                         QTime::currentTime(),
                         m_layoutValue};
    const excel::ReportResult r = excel::FillExcelReport(run, formPath, korrekturbericht);
    if (r.saved)
        m_written << formPath;
    return r.saved;
}

void Conversion::presentEntry(int entry) {
    const int r = entry + 1;
    if (entry < 0 || r > m_state.table.AnzMerkmale || !m_state.link.hasPartProgram())
        return;
    try {
        host::presentRow(m_state.link, m_state.table.row(r));
    } catch (const host::HostError& e) {
        reportHostError(e);
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
