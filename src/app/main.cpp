#include "DesktopNotification.h"
#include "Display.h"
#include "Process.h"

#include "common/MessageLine.h"
#include "common/ProgramPaths.h"
#include "gui/MainWindow.h"
#include "gui/MessageBox.h"
#include "hostlink/HostSocketClient.h"
#include "run/AppState.h"
#include "run/CommandLine.h"
#include "run/Conversion.h"
#include "run/HistoryCommand.h"
#include "run/RunReport.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

const char* kUsage =
    "Usage: doziduvov [MODE [WORKBOOK [LAYOUT [CHOICE [WORKBOOK2]]]]]\n"
    "\n"
    "Converts the results of the part program open in the Korvex measurement host into\n"
    "CSV/TXT result files and Excel form workbooks.\n"
    "\n"
    "Without arguments the main window opens. With start options it runs unattended:\n"
    "  MODE       a  all reported characteristics, read at once\n"
    "             m  the characteristics marked in the host, read at once\n"
    "             o  receive values while the host executes the program, then the marked ones\n"
    "  WORKBOOK   the Excel form to fill; without it an ASCII result file is written (and\n"
    "             beside it the AQDEF file and the PDF protocol, when switched on)\n"
    "  LAYOUT     the report layout file (.cfg is appended when missing)\n"
    "  CHOICE     ALL full report, OOT report with correction values, ALO both\n"
    "  WORKBOOK2  the second form for ALO\n"
    "Each argument may be written with a leading '/', as in the Windows batch files, modes and\n"
    "choices in any case; arguments after the fifth are ignored. A first argument that is no\n"
    "mode opens the window (without a display: this text and status 2).\n"
    "  doziduvov /a \"/home/qs/Forms/Teil 1.xlsx\" /home/qs/R.cfg /ALL\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n"
    "  -q, --quiet    do not list the files an unattended run wrote (one per line on standard\n"
    "                 output, when every output was written)\n"
    "\n"
    "Results history (every part written from a complete read is stored once):\n"
    "  --history PROGRAM [CHARACTERISTIC] [--since DATE]\n"
    "                 write the stored values of a part program (of one characteristic, given\n"
    "                 as ID.Axis) as CSV to standard output; DATE is YYYY-MM-DD or\n"
    "                 YYYY-MM-DDThh:mm:ss, in UTC unless it carries an offset\n"
    "  --history PROGRAM [CHARACTERISTIC] --capability [--subgroup N] [--since DATE]\n"
    "                 print one CSV line per characteristic: n, mean, the overall and the\n"
    "                 within standard deviation, Pp, Ppk (overall) and Cp, Cpk (within: moving\n"
    "                 range of single parts, or the ranges of subgroups of N parts, 2 to 25),\n"
    "                 their 95 % bounds, the Anderson-Darling normality test and the\n"
    "                 percentile-method Pp, Ppk; empty fields where a figure is not defined,\n"
    "                 the reason in the last column\n"
    "  --history PROGRAM [CHARACTERISTIC] --control-limits [--subgroup N]\n"
    "                 print the centre line and control limits of the individuals and moving\n"
    "                 range chart (with --subgroup: the mean and range chart), then one line per\n"
    "                 point that breaks a run rule; --chart xbar-r|xbar-s chooses ranges or\n"
    "                 standard deviations for subgroups (default: ranges up to 9 parts)\n"
    "  --history-db   print which database holds the history\n"
    "  --history-setup\n"
    "                 create or update the history's tables (on a server: as its owner)\n"
    "  --history-outbox\n"
    "                 list the parts of this station that wait for the history, and those set\n"
    "                 aside because the server refused them, with the reason\n"
    "  --history-retry\n"
    "                 send the parts set aside again, with the waiting ones\n"
    "  --history-deliver\n"
    "                 store the parts that wait in the outbox now (each run starts this itself)\n"
    "  --history-prune --before DATE\n"
    "                 remove the parts measured before DATE, with their values\n"
    "  --history-backup FILE\n"
    "                 copy the SQLite history, also while runs store into it, into the new FILE\n"
    "The history is the SQLite file history.sqlite in $XDG_DATA_HOME/doziduvov (default\n"
    "~/.local/share/doziduvov), or the PostgreSQL server of the settings section HistorySettings\n"
    "(Driver QPSQL, Host, Port, Database, User; the password from PGPASSWORD or ~/.pgpass).\n"
    "A run waits at most HistorySettings/DeliveryTimeout seconds (default 5) for the history;\n"
    "what is not stored by then waits in the outbox folder history-outbox beside it.\n"
    "\n"
    "Environment: DOZIDUVOV_PROGRAM_DIR replaces the program folder (language files and the\n"
    "fixed-name settings files). Start options with no display (or QT_QPA_PLATFORM=offscreen) run\n"
    "without any window: messages go to standard error, the default answer is taken, and the\n"
    "exit status is 0 only when every output was written, 3 when every output was written but\n"
    "the part could not be stored in the history (only with HistorySettings/FailRunOnError\n"
    "set; otherwise that is a warning), 4 when the outputs were written but lack the\n"
    "characteristics after one without an ID, 1 on any other failure, 2 for wrong options.\n"
    "DOZIDUVOV_RUN_LOG names a file each unattended run appends one entry to: date and time,\n"
    "exit status and its meaning, start options and every message, one per line (the batch\n"
    "files set it to the form's name with .log). An unattended run that ends with a status other\n"
    "than 0 also shows a desktop notification when a session bus is there, unless\n"
    "ProgSettings/FailureNotification is 0. When standard error is the systemd journal\n"
    "(JOURNAL_STREAM), error and warning lines carry their priority.\n"
    "\n"
    "Korvex is reached on the socket VextorinKorvexWndClass in XDG_RUNTIME_DIR, or, when that is\n"
    "not set, in the folder korvex-<uid> (mode 0700) under TMPDIR or /tmp; only a Korvex of the\n"
    "same user is accepted. An answer may take ProgSettings/HostTimeout seconds (default 30).\n";

QtMessageHandler standardHandler = nullptr;

// Where the libraries' own warnings go ("QODBCResult: Unable to free statement", a driver's
// notice): beside the results history, not into the output a batch file keeps or checks. Libraries
// also speak while they are unloaded at exit, so the handler uses nothing of Qt's but the text,
// and the path lives in a buffer that is never destroyed.
char libraryLog[4096] = {};

void setLibraryLog() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    QDir().mkpath(data + QStringLiteral("/doziduvov"));
    const QByteArray path = QFile::encodeName(data + QStringLiteral("/doziduvov/doziduvov.log"));
    if (path.size() < static_cast<qsizetype>(sizeof libraryLog))
        std::memcpy(libraryLog, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    // One older log is kept.
    std::error_code ec;
    if (std::filesystem::file_size(libraryLog, ec) > 4 * 1024 * 1024 && !ec)
        std::filesystem::rename(libraryLog, std::string(libraryLog) + ".1", ec);
}

void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // Platform chatter that says nothing to anyone.
    if (text.contains(QLatin1String("propagateSizeHints")) ||
        text.startsWith(QLatin1String("QStandardPaths:")))
        return;
    if (type != QtFatalMsg && libraryLog[0] != '\0') {
        if (std::FILE* log = std::fopen(libraryLog, "a")) {
            char stamp[32];
            const std::time_t now = std::time(nullptr);
            std::tm local{};
#ifdef Q_OS_WIN
            localtime_s(&local, &now);
#else
            localtime_r(&now, &local);
#endif
            std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
            std::fprintf(log, "%s %ld %s\n", stamp, static_cast<long>(QCoreApplication::applicationPid()),
                         text.toUtf8().constData());
            std::fclose(log);
            return;
        }
    }
    if (standardHandler)
        standardHandler(type, context, text);
}

// Stores the parts left in the history's outbox, in a process of its own, so that nobody waits
// for the history's indexes. It writes nowhere: a batch file reading the run's output must not
// wait for it either. When it cannot start, the parts wait for the next delivery.
void startHistoryDelivery() {
    QProcess p; // a double fork: the window lives on and must not collect a child per part
    p.setProgram(QCoreApplication::applicationFilePath());
    p.setArguments({QStringLiteral("--history-deliver")});
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.startDetached();
}

#ifdef Q_OS_UNIX
// The run is about to end, so the deliverer can be its own child (init takes it over): spawned
// without copying this process's memory map, and in a session of its own, so that a batch file's
// Ctrl+C or closed terminal does not stop it halfway.
void startHistoryDeliveryAtExit() {
    QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    char deliver[] = "--history-deliver";
    char* argv[] = {program.data(), deliver, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    // A deliverer that does not start leaves the part in the outbox for the next run.
    posix_spawn(&pid, program.constData(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}
#else
void startHistoryDeliveryAtExit() {
    startHistoryDelivery();
}
#endif

// Every message of the run, shown or printed, is kept for its report.
void initialiseState(run::AppState& state, const QStringList& words, bool windowed, run::RunReport& report,
                     QList<common::Message>* held = nullptr) {
    state.findHost = [&state] {
        host::ClientOptions options;
        options.timeoutMs = settings::readHostTimeoutSeconds(state.store) * 1000;
        return host::connectToHost(options);
    };
    common::MessageFn shown = windowed ? common::MessageFn(gui::showMessage) : common::MessageFn(common::consoleMessage);
    if (held)
        shown = run::holdingFailures(std::move(shown), *held);
    state.message = run::recordingMessages(std::move(shown), report.messages);
    state.commandLine = app::startOptionWords(words);
    if (windowed)
        state.deliverHistoryLater = startHistoryDelivery;
}

bool quiet = false;

int exitStatus(const std::optional<run::RunResult>& result, int loopStatus) {
    if (!result)
        return loopStatus;
    if (!result->ended || !result->success)
        return 1;
    if (result->rowsNotTaken > 0)
        return 4;
    return result->historyFailed ? 3 : 0;
}

// A batch file learns where the results went: one line per file written.
void listWritten(const std::optional<run::RunResult>& result) {
    if (quiet || !result || !result->ended || !result->success)
        return;
    for (const QString& path : result->written)
        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    std::fflush(stdout);
}

// Whoever was not there when an unattended run ended learns how it went: from the run log its
// batch file names, and from the desktop when it failed. Neither changes the run's status.
void reportRun(const run::AppState& state, run::RunReport& report, int status) {
    report.ended = QDateTime::currentDateTime();
    report.status = status;
    // The run's warnings (characteristics not taken, another file name) besides its messages.
    for (const QString& note : state.notes) {
        common::Message m;
        m.icon = common::MsgIcon::Warning;
        m.text = note;
        report.messages << m;
    }
    const QString logPath = qEnvironmentVariable(run::runLogVariable());
    if (!logPath.isEmpty()) {
        const settings::CodePage cp =
            settings::codePageForLanguageName(settings::readLanguageKey(state.store).language);
        const QString error = run::appendRunLog(logPath, run::runLogEntry(report, state.texts), cp);
        if (!error.isEmpty())
            std::fprintf(stderr, "%sdoziduvov: the run log %s cannot be written: %s\n",
                         common::journalPrefix(common::MsgIcon::Warning), qPrintable(logPath),
                         qPrintable(error));
    }
    if (status != 0 && settings::readFailureNotification(state.store)) {
        const run::Notification n = run::failureNotification(report, state.texts);
        app::sendDesktopNotification(n.summary, n.body, 1000);
    }
}

// Fonts that travel with the program (the Windows build ships DejaVu Sans), so that a protocol
// looks the same on every machine; an installation that has none uses the system's.
void loadShippedFonts() {
    const QDir fonts(common::programFile(QStringLiteral("fonts")));
    for (const QString& f : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(f));
}

// Whether this run draws a PDF protocol: its text needs fonts, and fonts the GUI application.
bool writesPdf() {
    settings::SettingsStore store;
    store.selectRoot();
    return settings::readProtocolSettings(store).pdf;
}

// Start options and nobody to see a window: the run alone, on the core application, or on the
// GUI application without a screen when it draws a protocol.
int runUnattended(int argc, char* argv[], const QStringList& words, run::RunReport& report) {
    std::unique_ptr<QCoreApplication> application;
    if (writesPdf()) {
        // Whatever platform the environment names, none is there to show anything.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
        loadShippedFonts();
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("doziduvov"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DOZIDUVOV_VERSION));

    // The delivery starts once the run is done and its tables are freed, so that it never takes
    // the run's time, not even a core while the run tidies up.
    bool deliverAfterRun = false;
    int status = 1;
    {
        run::AppState state;
        initialiseState(state, words, false, report);
        state.deliverHistoryLater = [&deliverAfterRun] { deliverAfterRun = true; };
        run::Conversion conversion(state);
        std::optional<run::RunResult> result;
        QObject::connect(&conversion, &run::Conversion::runFinished, &app, [&](const run::RunResult& r) {
            result = r;
            QCoreApplication::exit(exitStatus(result, 1));
        });
        // Started inside the event loop, so that the run can end it.
        QTimer::singleShot(0, &app, [&] {
            run::startUp(state);
            // Windows scans the command line's text, where only "/" separates: a word that looked
            // like a mode may end up in a longer first option. Nothing would ever end the run.
            if (!conversion.dispatchStartOptions()) {
                common::Message wrong;
                wrong.icon = common::MsgIcon::Error;
                wrong.text = QStringLiteral("the first start option \"%1\" is no run mode (a, m or o); on Windows "
                                            "each start option begins with \"/\"")
                                 .arg(state.StartArgs[1]);
                state.message(wrong);
                QCoreApplication::exit(2);
            }
        });
        const int loopStatus = QCoreApplication::exec();
        conversion.release();
        listWritten(result);
        status = exitStatus(result, loopStatus == 0 ? 1 : loopStatus);
        reportRun(state, report, status);
    }
    if (deliverAfterRun)
        startHistoryDeliveryAtExit();
    return status;
}

// The history's values for scripts: no display, no host.
int runHistoryCommand(int argc, char* argv[], const run::CommandLine& commandLine) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("doziduvov"));
    settings::SettingsStore store;
    store.selectRoot();
    const auto write = [](const QByteArray& piece) {
        std::fwrite(piece.constData(), 1, static_cast<std::size_t>(piece.size()), stdout);
    };
    const run::HistoryCommandResult r = run::historyCommand(store, commandLine, write);
    std::fwrite(r.output.constData(), 1, static_cast<std::size_t>(r.output.size()), stdout);
    std::fflush(stdout);
    if (!r.error.isEmpty())
        std::fprintf(stderr, "%sdoziduvov: %s\n", common::journalPrefix(common::MsgIcon::Error),
                     qPrintable(r.error));
    return r.status;
}

} // namespace

int main(int argc, char* argv[]) {
    app::useParentConsole();
    const QStringList arguments = app::commandArguments(argc, argv);
    // Help, version and mistakes never need a display.
    const run::CommandLine commandLine = run::parseCommandLine(arguments);
    switch (commandLine.action) {
    case run::CommandLine::Action::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case run::CommandLine::Action::Version:
        std::printf("doziduvov %s\n", DOZIDUVOV_VERSION);
        return 0;
    case run::CommandLine::Action::Error:
        std::fprintf(stderr, "%sdoziduvov: %s\n\n%s", common::journalPrefix(common::MsgIcon::Error),
                     qPrintable(commandLine.error), kUsage);
        return 2;
    case run::CommandLine::Action::History:
    case run::CommandLine::Action::HistoryDb:
    case run::CommandLine::Action::HistoryOutbox:
    case run::CommandLine::Action::HistoryRetry:
    case run::CommandLine::Action::HistoryDeliver:
#ifdef Q_OS_UNIX
        // Background work: the next measurement's run comes first.
        if (commandLine.action == run::CommandLine::Action::HistoryDeliver)
            ::setpriority(PRIO_PROCESS, 0, 10);
#endif
        [[fallthrough]];
    case run::CommandLine::Action::HistoryPrune:
    case run::CommandLine::Action::HistoryBackup:
    case run::CommandLine::Action::HistorySetup:
        return runHistoryCommand(argc, argv, commandLine);
    default:
        break;
    }
    const QStringList& words = commandLine.words;
    quiet = commandLine.quiet;
    const bool unattended = commandLine.action == run::CommandLine::Action::Run;
    run::RunReport report;
    report.arguments = arguments;
    if (!commandLine.ignored.isEmpty()) {
        common::Message ignored;
        ignored.icon = common::MsgIcon::Warning;
        ignored.text = QStringLiteral("start options after the fifth are ignored: %1")
                           .arg(commandLine.ignored.join(QLatin1Char(' ')));
        report.messages.append(ignored);
        std::fprintf(stderr, "%sdoziduvov: %s\n", common::journalPrefix(ignored.icon),
                     qPrintable(ignored.text));
    }
    setLibraryLog();
    standardHandler = qInstallMessageHandler(quietMessages);
    if (app::noDisplay(app::currentDisplayEnvironment())) {
        if (unattended)
            return runUnattended(argc, argv, words, report);
        if (!words.isEmpty()) {
            std::fprintf(stderr, "%sdoziduvov: %s is no run mode (the first start option is a, m or o)\n\n%s",
                         common::journalPrefix(common::MsgIcon::Error), qPrintable(words.first()), kUsage);
            return 2;
        }
        std::fputs(common::journalPrefix(common::MsgIcon::Error), stderr);
        std::fputs("doziduvov: no display to show the main window on. Start it on a desktop, or give start "
                   "options for an unattended run (see doziduvov --help).\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    loadShippedFonts();
    QApplication::setApplicationName(QStringLiteral("doziduvov"));
    QApplication::setApplicationVersion(QStringLiteral(DOZIDUVOV_VERSION));
    Q_INIT_RESOURCE(icons);

    run::AppState state;
    QList<common::Message> held;
    initialiseState(state, words, true, report, unattended ? &held : nullptr);
    run::Conversion conversion(state);
    std::optional<run::RunResult> result;
    // The window stays open after a failure: the report goes out when the run ends, before any
    // box that waits for a click, and the status line keeps saying that the run failed.
    bool reported = false;
    QObject::connect(&conversion, &run::Conversion::runFinished, &app, [&](const run::RunResult& r) {
        result = r;
        if (!reported)
            reportRun(state, report, exitStatus(result, 1));
        reported = true;
        if (!r.success)
            conversion.setStatus(run::failureStatus(report, state.texts));
        for (const common::Message& m : std::exchange(held, {}))
            gui::showMessage(m);
    });

    gui::MainWindow window(state, conversion);
    // Start-up runs inside the event loop, so that an unattended run can end it.
    QTimer::singleShot(0, &window, [&window] { window.Form_Load(); });
    const int status = QApplication::exec();
    listWritten(result);
    const int runStatus = exitStatus(result, status);
    if (unattended && !reported)
        reportRun(state, report, runStatus);
    return runStatus;
}
