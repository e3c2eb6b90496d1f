// Whole processes as a user runs them: korvex-sim serving a generated part program, then
// `doziduvov /a FORM CFG /ALL` (the shipped example form and its layout, a fresh copy each run)
// or `doziduvov /a` (ASCII), timed from start to exit; against python3-openpyxl filling the same
// characteristics into the same form with the same layout, its process start included. Every
// run has its own TMPDIR, XDG dirs, HOME and program folder, never the real ones.
//
//   build/bin/bench_process [--commands=14000] [--ascii_commands=12500,50000]
//       [--report_rows=10000,50000] [--master_rows=19456] [--master_characteristics=30]
//       [--protocol_rows=10000] [--history_file=FILE]
//       [--repetitions=5] [--timeout=1800] [--no_compare] [--benchmark_filter=...]
//
// --commands sizes the whole unattended run against openpyxl; --ascii_commands the two ASCII
// runs and --report_rows (characteristics) the two report runs of the cost curve; the last two
// flags the first run on a form whose Master has existing rows down to --master_rows
// (bench/make_large_master.py); --protocol_rows the ASCII run with and without the AQDEF file
// and the PDF protocol beside it; and the ASCII run of --protocol_rows storing its part into a
// SQLite history, a copy of FILE (e.g. 100,000 parts made by `bench_history --keep=FILE`; empty
// without it), against the same run without the history, which the other runs leave off. Ends
// with the medians, the ratios and the peak memory of the larger report run.
#include "history/History.h"
#include "settings/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

const QString kSource = QStringLiteral(DOZIDUVOV_SOURCE_DIR);
const QString kBin = QStringLiteral(DOZIDUVOV_BIN_DIR);
const QString kForm = kSource + QStringLiteral("/examples/forms/Pruefbericht.xlsx");
const QString kLayout = kSource + QStringLiteral("/examples/forms/Pruefbericht.cfg");
const QString kPython = QStringLiteral("/usr/bin/python3");

struct Options {
    int commands = 14000;
    std::vector<int> asciiCommands{12500, 50000};
    std::vector<int> reportRows{10000, 50000};
    int masterRows = 19456;
    int masterCharacteristics = 30;
    int protocolRows = 10000;
    QString historyFile;
    int repetitions = 5;
    int timeoutSeconds = 1800;
    bool compare = true;
} options;

bool failed = false;

void fail(benchmark::State& state, const QString& what) {
    std::fprintf(stderr, "bench_process: %s\n", qPrintable(what));
    failed = true;
    state.SkipWithError(qPrintable(what));
}

// One finished child: exit status, wall and CPU time, peak resident memory.
struct ChildRun {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1; // -1 also when ended by a signal
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    QString stderrText;
};

// posix_spawn and wait4 rather than QProcess: wait4 gives the rusage of exactly this child
// (CPU time, peak memory), where RUSAGE_CHILDREN would mix in the simulator and earlier runs.
// Standard output and error go to files, so a chatty child never blocks on a full pipe.
ChildRun runChild(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                  const QString& logDir) {
    ChildRun r;
    std::vector<std::string> argStore{program.toStdString()};
    for (const QString& a : args)
        argStore.push_back(a.toStdString());
    std::vector<std::string> envStore;
    for (const QString& e : env.toStringList())
        envStore.push_back(e.toStdString());
    std::vector<char*> argv, envp;
    for (std::string& s : argStore)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string& s : envStore)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    const std::string out = (logDir + QStringLiteral("/stdout.txt")).toStdString();
    const std::string err = (logDir + QStringLiteral("/stderr.txt")).toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0)
        return r;
    r.started = true;
    int status = 0;
    rusage usage{};
    // A watchdog ends a run that hangs. The child is only reaped after the watchdog has
    // stopped, so its kill can never reach a process that took over the id.
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    std::thread watchdog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(options.timeoutSeconds), [&] { return ended; })) {
            kill(pid, SIGKILL);
            r.timedOut = true;
        }
    });
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    const auto end = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(m);
        ended = true;
    }
    cv.notify_one();
    watchdog.join();
    wait4(pid, &status, 0, &usage);
    r.wallSeconds = std::chrono::duration<double>(end - begin).count();
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    r.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0; // KiB on Linux
    if (!r.timedOut && WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    QFile e(QString::fromStdString(err));
    if (e.open(QIODevice::ReadOnly))
        r.stderrText = QString::fromUtf8(e.readAll().right(2000));
    return r;
}

QString describe(const ChildRun& r) {
    if (!r.started)
        return QStringLiteral("could not be started");
    if (r.timedOut)
        return QStringLiteral("did not end within %1 s").arg(options.timeoutSeconds);
    return QStringLiteral("ended with status %1; its standard error:\n%2").arg(r.exitCode).arg(r.stderrText);
}

// A generated part program and its characteristics as the openpyxl fill reads them, made once
// per size for the whole benchmark run.
struct Program {
    QString path;
    QString rows;
    int characteristics = 0;
};

QString programDir() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench-programs-XXXXXX"));
    return dir.path();
}

const Program* program(int commands) {
    static std::map<int, Program> made;
    if (auto it = made.find(commands); it != made.end())
        return &it->second;
    Program p;
    p.path = programDir() + QStringLiteral("/Large_%1.PRG").arg(commands);
    p.rows = programDir() + QStringLiteral("/Large_%1.tsv").arg(commands);
    QProcess gen;
    gen.start(kPython, {kSource + QStringLiteral("/bench/make_program.py"), QString::number(commands), p.path,
                        p.rows});
    if (!gen.waitForFinished(600000) || gen.exitCode() != 0) {
        std::fprintf(stderr, "bench_process: make_program.py failed: %s\n",
                     gen.readAllStandardError().constData());
        return nullptr;
    }
    QFile rows(p.rows);
    if (!rows.open(QIODevice::ReadOnly))
        return nullptr;
    while (!rows.atEnd())
        p.characteristics += rows.readLine().startsWith("row\t") ? 1 : 0;
    return &made.emplace(commands, p).first->second;
}

// commands for a number of characteristics: each block of 9 commands gives 4.
int commandsFor(int characteristics) {
    const int blocks = characteristics / 4;
    const int rest = characteristics % 4; // the 2nd to 4th command of a block give one each
    return blocks * 9 + (rest ? rest + 2 : 0);
}

// Private folders for one benchmark: temporary files and the simulator's socket, settings
// (both stores), home, program folder with language files and header names, results.
class Sandbox {
public:
    Sandbox() : m_root(QDir::tempPath() + QStringLiteral("/bench-process-XXXXXX")) {
        for (const char* d : {"tmp", "config-user", "config-system", "home", "program/LanguageFiles",
                              "results", "logs", "out"})
            QDir().mkpath(path(QString::fromLatin1(d)));
        QFile::setPermissions(path(QStringLiteral("tmp")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QDir lang(kBin + QStringLiteral("/LanguageFiles"));
        for (const QString& f : lang.entryList({QStringLiteral("*.dll")}, QDir::Files))
            QFile::copy(lang.filePath(f), path(QStringLiteral("program/LanguageFiles/")) + f);
        // The layout's header names, in the Windows code page with CR LF.
        QFile header(path(QStringLiteral("program/HeaderData.cfg")));
        if (header.open(QIODevice::WriteOnly))
            header.write("Auftrag\r\nPr\xfc"
                         "fer\r\n");

        // The result files go into the sandbox; the rest of the settings are the defaults.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           path(QStringLiteral("config-user")));
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           path(QStringLiteral("config-system")));
        settings::SettingsStore store;
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), path(QStringLiteral("results")));
        store.Write(QStringLiteral("HistorySettings"), QStringLiteral("Enabled"), QStringLiteral("0"));

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("tmp")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config-user")));
        m_env.insert(QStringLiteral("XDG_CONFIG_DIRS"), path(QStringLiteral("config-system")));
        m_env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        m_env.insert(QStringLiteral("DOZIDUVOV_PROGRAM_DIR"), path(QStringLiteral("program")));
        m_env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
        m_env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        m_env.remove(QStringLiteral("DISPLAY"));
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // Until unattended runs need no platform plugin at all.
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    ~Sandbox() {
        if (m_sim.state() == QProcess::NotRunning)
            return;
        m_sim.write("quit\n");
        if (!m_sim.waitForFinished(5000)) {
            m_sim.kill();
            m_sim.waitForFinished(5000);
        }
    }

    QString path(const QString& sub) const { return m_root.path() + QLatin1Char('/') + sub; }

    // Starts the simulator on the program, once, and waits until it serves. Its log goes to
    // files: a pipe nobody reads would stop it once full.
    bool serve(const QString& programFile, QString* why) {
        if (m_sim.state() == QProcess::Running)
            return true;
        const QString log = path(QStringLiteral("logs/korvex-sim.txt"));
        m_sim.setProcessEnvironment(m_env);
        m_sim.setStandardOutputFile(QProcess::nullDevice());
        m_sim.setStandardErrorFile(log);
        m_sim.start(kBin + QStringLiteral("/korvex-sim"), {programFile});
        QFile err(log);
        QElapsedTimer t;
        t.start();
        while (m_sim.waitForStarted(5000) && t.elapsed() < 120000 && m_sim.state() == QProcess::Running) {
            if (err.open(QIODevice::ReadOnly) && err.readAll().contains("serving"))
                return true;
            err.close();
            m_sim.waitForFinished(20);
        }
        err.open(QIODevice::ReadOnly);
        *why = QStringLiteral("korvex-sim did not serve: ") + QString::fromUtf8(err.readAll());
        return false;
    }

    ChildRun run(const QString& exe, const QStringList& args) {
        return runChild(exe, args, m_env, path(QStringLiteral("logs")));
    }

private:
    QTemporaryDir m_root;
    QProcessEnvironment m_env;
    QProcess m_sim;
};

// Each benchmark's folders and simulator live across its repetitions; the next benchmark's
// replace them, so one simulator runs at a time.
std::string sandboxKey;
std::unique_ptr<Sandbox> sandbox;

Sandbox* sandboxFor(const std::string& key) {
    if (sandboxKey != key || !sandbox) {
        sandbox.reset();
        sandbox = std::make_unique<Sandbox>();
        sandboxKey = key;
    }
    return sandbox.get();
}

struct Sample {
    std::vector<double> wall, cpu, peak;
    int characteristics = 0;
};
std::map<std::string, Sample> samples;

void record(benchmark::State& state, const std::string& key, const ChildRun& r, int characteristics) {
    state.SetIterationTime(r.wallSeconds);
    state.counters["cpu_s"] = r.cpuSeconds;
    state.counters["peak_MiB"] = r.peakMiB;
    state.counters["rows"] = characteristics;
    Sample& s = samples[key];
    s.wall.push_back(r.wallSeconds);
    s.cpu.push_back(r.cpuSeconds);
    s.peak.push_back(r.peakMiB);
    s.characteristics = characteristics;
}

bool isWorkbook(const QString& file, const QString& source = kForm) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) && f.read(2) == "PK" && f.size() > QFileInfo(source).size();
}

// The example form with existing rows down to the given row below its table, made once.
QString largeMasterForm(int lastRow) {
    const QString path = programDir() + QStringLiteral("/LargeMaster_%1.xlsx").arg(lastRow);
    if (QFileInfo::exists(path))
        return path;
    QProcess gen;
    gen.start(kPython, {kSource + QStringLiteral("/bench/make_large_master.py"), kForm, path,
                        QString::number(lastRow)});
    if (!gen.waitForFinished(600000) || gen.exitCode() != 0) {
        std::fprintf(stderr, "bench_process: make_large_master.py failed: %s\n",
                     gen.readAllStandardError().constData());
        QFile::remove(path);
        return {};
    }
    return path;
}

// The last outputs of each side, kept beyond their sandbox for the comparison at the end.
QString lastOurs, lastTheirs;
void keep(const QString& file, const QString& name, QString& kept) {
    kept = programDir() + QLatin1Char('/') + name;
    QFile::remove(kept);
    if (!QFile::copy(file, kept))
        kept.clear();
}

// doziduvov /a FORM CFG /ALL on a fresh copy of the form: the first run on it.
void formRun(benchmark::State& state, const std::string& key, int commands, const QString& source) {
    const Program* p = program(commands);
    if (!p)
        return fail(state, QStringLiteral("no part program"));
    if (source.isEmpty())
        return fail(state, QStringLiteral("no form"));
    Sandbox* box = sandboxFor(key);
    const QString form = box->path(QStringLiteral("out/Pruefbericht.xlsx"));
    for (auto _ : state) {
        QFile::remove(form);
        if (!QFile::copy(source, form) || !QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner))
            return fail(state, QStringLiteral("cannot copy the form"));
        if (QString why; !box->serve(p->path, &why))
            return fail(state, why);
        const ChildRun r = box->run(kBin + QStringLiteral("/doziduvov"),
                                    {QStringLiteral("/a"), form, kLayout, QStringLiteral("/ALL")});
        if (r.exitCode != 0)
            return fail(state, QStringLiteral("doziduvov /a FORM CFG /ALL ") + describe(r));
        if (!isWorkbook(form, source))
            return fail(state, QStringLiteral("doziduvov ended with status 0 but the form was not filled"));
        record(state, key, r, p->characteristics);
    }
    if (key.rfind("BM_UnattendedReport", 0) == 0)
        keep(form, QStringLiteral("doziduvov.xlsx"), lastOurs);
}

void reportRun(benchmark::State& state, const std::string& key, int commands) {
    formRun(state, key, commands, kForm);
}

// python3-openpyxl filling the same characteristics into a fresh copy of the same form.
void openpyxlRun(benchmark::State& state, const std::string& key, int commands) {
    const Program* p = program(commands);
    if (!p)
        return fail(state, QStringLiteral("no part program"));
    Sandbox* box = sandboxFor(key);
    const QString form = box->path(QStringLiteral("out/Pruefbericht.xlsx"));
    const QString out = box->path(QStringLiteral("out/Pruefbericht-openpyxl.xlsx"));
    for (auto _ : state) {
        QFile::remove(form);
        QFile::remove(out);
        if (!QFile::copy(kForm, form))
            return fail(state, QStringLiteral("cannot copy the form"));
        const ChildRun r = box->run(kPython, {kSource + QStringLiteral("/bench/report_fill_openpyxl.py"),
                                              form, kLayout, p->rows, out});
        if (r.exitCode != 0)
            return fail(state, QStringLiteral("report_fill_openpyxl.py ") + describe(r));
        if (!isWorkbook(out))
            return fail(state, QStringLiteral("report_fill_openpyxl.py wrote no workbook"));
        record(state, key, r, p->characteristics);
    }
    keep(out, QStringLiteral("openpyxl.xlsx"), lastTheirs);
}

// How long after the run its part was in the history: the outbox polled until empty.
double secondsUntilDelivered(const Sandbox& box) {
    const history::OutboxFolder outbox(box.path(QStringLiteral("home/.local/share/doziduvov/history-outbox")));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 600000) {
        if (outbox.entries().empty())
            return clock.nsecsElapsed() / 1e9;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

// The deliveries the runs started, ended: one still closing its database (SQLite writes the
// part's pages back then) would take the next run's time.
void waitForDeliveries() {
    for (int tries = 0; tries < 60000; ++tries) {
        bool running = false;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmd(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
            if (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains("--history-deliver"))
                running = true;
        }
        if (!running)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// doziduvov /a: all reported characteristics into an ASCII result file, and with protocols
// also the AQDEF file and the PDF protocol beside it; with history into the history as well.
void resultFilesRun(benchmark::State& state, const std::string& key, int commands, bool protocols,
                    bool history = false) {
    const Program* p = program(commands);
    if (!p)
        return fail(state, QStringLiteral("no part program"));
    Sandbox* box = sandboxFor(key);
    if (history) {
        const QString file = box->path(QStringLiteral("history.sqlite"));
        if (!options.historyFile.isEmpty() && !QFileInfo::exists(file) &&
            !QFile::copy(options.historyFile, file))
            return fail(state, QStringLiteral("cannot copy ") + options.historyFile);
        settings::SettingsStore store;
        store.Write(QStringLiteral("HistorySettings"), QStringLiteral("Enabled"), QStringLiteral("1"));
        store.Write(QStringLiteral("HistorySettings"), QStringLiteral("File"), file);
    }
    if (protocols) {
        settings::SettingsStore store;
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("AQDEF"), QStringLiteral("1"));
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("PDF"), QStringLiteral("1"));
    }
    const int files = protocols ? 3 : 1;
    QDir results(box->path(QStringLiteral("results")));
    for (auto _ : state) {
        for (const QString& f : results.entryList(QDir::Files))
            results.remove(f);
        if (QString why; !box->serve(p->path, &why))
            return fail(state, why);
        const ChildRun r = box->run(kBin + QStringLiteral("/doziduvov"), {QStringLiteral("/a")});
        if (r.exitCode != 0)
            return fail(state, QStringLiteral("doziduvov /a ") + describe(r));
        const QFileInfoList written = results.entryInfoList(QDir::Files);
        if (written.size() != files ||
            std::any_of(written.begin(), written.end(), [](const QFileInfo& f) { return f.size() == 0; }))
            return fail(
                state,
                QStringLiteral("doziduvov /a ended with status 0 but did not write its %1 files").arg(files));
        record(state, key, r, p->characteristics);
        if (history) {
            const double after = secondsUntilDelivered(*box);
            if (after < 0)
                return fail(state, QStringLiteral("the part was not delivered from the outbox"));
            state.counters["stored_after_s"] = after;
            samples[key + "/stored"].wall.push_back(r.wallSeconds + after);
            waitForDeliveries();
        }
    }
}

void historyRun(benchmark::State& state, const std::string& key, int commands) {
    resultFilesRun(state, key, commands, false, true);
}

void asciiRun(benchmark::State& state, const std::string& key, int commands) {
    resultFilesRun(state, key, commands, false);
}

void protocolRun(benchmark::State& state, const std::string& key, int commands) {
    resultFilesRun(state, key, commands, true);
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::vector<int> parseSizes(const std::string& text) {
    std::vector<int> sizes;
    for (const QString& s : QString::fromStdString(text).split(QLatin1Char(','), Qt::SkipEmptyParts))
        sizes.push_back(s.toInt());
    return sizes;
}

// Takes this benchmark's own flags out of argv, leaving Google Benchmark's.
bool parseOptions(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            const std::string prefix = std::string("--") + name + "=";
            return a.rfind(prefix, 0) == 0 ? argv[i] + prefix.size() : nullptr;
        };
        if (const char* v = value("commands"))
            options.commands = std::atoi(v);
        else if (const char* v = value("ascii_commands"))
            options.asciiCommands = parseSizes(v);
        else if (const char* v = value("report_rows"))
            options.reportRows = parseSizes(v);
        else if (const char* v = value("master_rows"))
            options.masterRows = std::atoi(v);
        else if (const char* v = value("master_characteristics"))
            options.masterCharacteristics = std::atoi(v);
        else if (const char* v = value("protocol_rows"))
            options.protocolRows = std::atoi(v);
        else if (const char* v = value("history_file"))
            options.historyFile = QString::fromLocal8Bit(v);
        else if (const char* v = value("repetitions"))
            options.repetitions = std::atoi(v);
        else if (const char* v = value("timeout"))
            options.timeoutSeconds = std::atoi(v);
        else if (a == "--no_compare")
            options.compare = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    const auto positive = [](const std::vector<int>& v) { return v.size() == 2 && v[0] > 0 && v[1] > 0; };
    if (options.commands <= 0 || options.repetitions <= 0 || options.timeoutSeconds <= 0 ||
        options.masterRows <= 40 || options.masterCharacteristics <= 0 || options.protocolRows <= 0 ||
        !positive(options.asciiCommands) || !positive(options.reportRows)) {
        std::fprintf(stderr, "bench_process: sizes, repetitions and timeout must be positive, --master_rows "
                             "above 40; the curves take two sizes each, e.g. --report_rows=1000,5000\n");
        return false;
    }
    return true;
}

void registerBenchmarks() {
    auto add = [](const std::string& name, auto fn, int commands) {
        benchmark::RegisterBenchmark(name.c_str(),
                                     [name, fn, commands](benchmark::State& s) { fn(s, name, commands); })
            ->Iterations(1)
            ->Repetitions(options.repetitions)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    };
    const std::string c = std::to_string(options.commands);
    add("BM_UnattendedReport/commands:" + c, reportRun, options.commands);
    add("BM_OpenpyxlFill/commands:" + c, openpyxlRun, options.commands);
    for (int n : options.asciiCommands)
        add("BM_AsciiRun/commands:" + std::to_string(n), asciiRun, n);
    for (int n : options.reportRows)
        add("BM_ReportRun/rows:" + std::to_string(n), reportRun, commandsFor(n));
    const auto firstRun = [](benchmark::State& s, const std::string& name, int commands) {
        formRun(s, name, commands, largeMasterForm(options.masterRows));
    };
    add("BM_LargeMasterFirstRun/master_rows:" + std::to_string(options.masterRows), firstRun,
        commandsFor(options.masterCharacteristics));
    const std::string pr = std::to_string(options.protocolRows);
    add("BM_AsciiRun/rows:" + pr, asciiRun, commandsFor(options.protocolRows));
    add("BM_AsciiAqdefPdfRun/rows:" + pr, protocolRun, commandsFor(options.protocolRows));
    add("BM_AsciiHistoryRun/rows:" + pr, historyRun, commandsFor(options.protocolRows));
}

const Sample* sampleOf(const std::string& key) {
    const auto it = samples.find(key);
    return it == samples.end() || it->second.wall.empty() ? nullptr : &it->second;
}

void printSummary() {
    std::printf("\nWhole processes, medians of %d runs: wall time [CPU time of the child]; ratios of wall "
                "[of CPU] time\n",
                options.repetitions);
    const std::string c = std::to_string(options.commands);
    const Sample* ours = sampleOf("BM_UnattendedReport/commands:" + c);
    const Sample* theirs = sampleOf("BM_OpenpyxlFill/commands:" + c);
    if (ours && theirs)
        std::printf("  report, %s commands (%d characteristics): doziduvov %.1f ms [%.1f], openpyxl %.1f ms "
                    "[%.1f]; openpyxl/doziduvov %.2f [%.2f] (target >= 8)\n",
                    c.c_str(), ours->characteristics, median(ours->wall) * 1e3, median(ours->cpu) * 1e3,
                    median(theirs->wall) * 1e3, median(theirs->cpu) * 1e3,
                    median(theirs->wall) / median(ours->wall), median(theirs->cpu) / median(ours->cpu));
    auto curve = [](const char* what, const std::string& prefix, const std::vector<int>& sizes,
                    const char* unit) {
        const Sample* small = sampleOf(prefix + std::to_string(sizes[0]));
        const Sample* large = sampleOf(prefix + std::to_string(sizes[1]));
        if (!small || !large)
            return;
        std::printf("  %s: %d %s %.1f ms [%.1f], %d %s %.1f ms [%.1f]; larger/smaller %.2f [%.2f] "
                    "(target <= 5); peak memory %.1f / %.1f MiB\n",
                    what, sizes[0], unit, median(small->wall) * 1e3, median(small->cpu) * 1e3, sizes[1], unit,
                    median(large->wall) * 1e3, median(large->cpu) * 1e3,
                    median(large->wall) / median(small->wall), median(large->cpu) / median(small->cpu),
                    median(small->peak), median(large->peak));
    };
    curve("ASCII /a", "BM_AsciiRun/commands:", options.asciiCommands, "commands");
    curve("report", "BM_ReportRun/rows:", options.reportRows, "characteristics");
    if (const Sample* first =
            sampleOf("BM_LargeMasterFirstRun/master_rows:" + std::to_string(options.masterRows)))
        std::printf("  first run on a form with a Master of %d rows, %d characteristics: %.1f ms [%.1f] "
                    "(target < 2000); peak memory %.1f MiB\n",
                    options.masterRows, first->characteristics, median(first->wall) * 1e3,
                    median(first->cpu) * 1e3, median(first->peak));
    const std::string pr = std::to_string(options.protocolRows);
    const Sample* plain = sampleOf("BM_AsciiRun/rows:" + pr);
    const Sample* both = sampleOf("BM_AsciiAqdefPdfRun/rows:" + pr);
    if (plain && both)
        std::printf(
            "  %d characteristics: ASCII file %.1f ms [%.1f], with the AQDEF file and the PDF protocol "
            "%.1f ms [%.1f]; peak memory %.1f / %.1f MiB\n",
            options.protocolRows, median(plain->wall) * 1e3, median(plain->cpu) * 1e3,
            median(both->wall) * 1e3, median(both->cpu) * 1e3, median(plain->peak), median(both->peak));
    const Sample* stored = sampleOf("BM_AsciiHistoryRun/rows:" + pr);
    const Sample* until = sampleOf("BM_AsciiHistoryRun/rows:" + pr + "/stored");
    if (plain && stored && until)
        std::printf("  %d characteristics into the history: the run %.1f ms [%.1f] against %.1f ms [%.1f] "
                    "without, store share %.1f %% (target <= 10); peak memory %.1f / %.1f MiB; in the "
                    "history %.1f ms after the run started\n",
                    options.protocolRows, median(stored->wall) * 1e3, median(stored->cpu) * 1e3,
                    median(plain->wall) * 1e3, median(plain->cpu) * 1e3,
                    100 * (median(stored->wall) - median(plain->wall)) / median(stored->wall),
                    median(stored->peak), median(plain->peak), median(until->wall) * 1e3);
    if (const Sample* large = sampleOf("BM_ReportRun/rows:" + std::to_string(options.reportRows[1])))
        std::printf("  peak memory of the %d-characteristic report run: %.1f MiB at most (target < 250)\n",
                    options.reportRows[1], *std::max_element(large->peak.begin(), large->peak.end()));
}

// Both sides' last outputs hold the same cells.
void compareOutputs() {
    if (!options.compare || lastOurs.isEmpty() || lastTheirs.isEmpty())
        return;
    QProcess cmp;
    cmp.setProcessChannelMode(QProcess::MergedChannels);
    cmp.start(kPython, {kSource + QStringLiteral("/bench/compare_reports.py"), lastOurs, lastTheirs});
    cmp.waitForFinished(-1);
    std::printf("\nOutputs of doziduvov and openpyxl compared: %s", cmp.readAll().constData());
    if (cmp.exitCode() != 0) {
        std::fprintf(stderr, "bench_process: the two outputs differ\n");
        failed = true;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!parseOptions(argc, argv))
        return 2;
    registerBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sandbox.reset(); // ends the last simulator
    printSummary();
    compareOutputs();
    return failed ? 1 : 0;
}
