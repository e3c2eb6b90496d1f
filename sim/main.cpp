// korvex-sim: a stand-in for the measurement host. It serves a part program file's commands on
// the host's local socket, logs what a user of the host would see on standard output, and
// executes the program when asked, so the converter can be built and tested without the host.
#include "PartProgramFile.h"
#include "SimHost.h"
#include "SimServer.h"
#include "hostlink/HostInterfaces.h"
#include "hostlink/HostSocketPath.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

void out(const QString& line) {
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvex-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Korvex measurement host.\n\n"
        "Serves the socket VextorinKorvexWndClass in $XDG_RUNTIME_DIR when that is set, else in\n"
        "the folder korvex-<uid> (mode 0700) under $TMPDIR or /tmp. The converter finds it the\n"
        "same way and talks only to a host of its own user.\n\n"
        "Standard input takes the lines: execute, add <index>, quit."));
    parser.addHelpOption();
    const QCommandLineOption executeOpt(QStringLiteral("execute-on-subscribe"),
                                        QStringLiteral("Execute the program whenever a client subscribes."));
    const QCommandLineOption delayOpt(QStringLiteral("delay-ms"),
                                      QStringLiteral("Delay between executed commands."), QStringLiteral("N"),
                                      QStringLiteral("0"));
    const QCommandLineOption stopOpt(QStringLiteral("stop-after"),
                                     QStringLiteral("Execute the first N commands only."),
                                     QStringLiteral("N"));
    const QCommandLineOption versionOpt(QStringLiteral("version"), QStringLiteral("The host's version text."),
                                        QStringLiteral("TEXT"));
    parser.addOptions({executeOpt, delayOpt, stopOpt, versionOpt});
    parser.addPositionalArgument(QStringLiteral("PROGRAM"),
                                 QStringLiteral("Part program file (JSON, *.PRG)."));
    parser.process(app);

    sim::ServerOptions options;
    options.executeOnSubscribe = parser.isSet(executeOpt);
    bool ok = true;
    options.delayMs = parser.value(delayOpt).toInt(&ok);
    if (!ok || options.delayMs < 0) {
        std::fprintf(stderr, "korvex-sim: --delay-ms needs a number of milliseconds\n");
        return 2;
    }
    if (parser.isSet(stopOpt)) {
        options.stopAfter = parser.value(stopOpt).toInt(&ok);
        if (!ok || options.stopAfter < 0) {
            std::fprintf(stderr, "korvex-sim: --stop-after needs a number of commands\n");
            return 2;
        }
    }

    std::optional<sim::SimProgram> program;
    const QStringList args = parser.positionalArguments();
    if (args.size() > 1) {
        std::fprintf(stderr, "korvex-sim: only one part program can be open\n");
        return 2;
    }
    if (!args.isEmpty()) {
        try {
            program = sim::loadProgram(args.first());
        } catch (const sim::ProgramFileError& e) {
            std::fprintf(stderr, "korvex-sim: %s\n", e.what());
            return 1;
        }
    }

    auto host = sim::SimHost::create(std::move(program), parser.value(versionOpt));
    host->log = out;
    sim::SimServer server(host, options);
    QString name;
    try {
        name = host::hostSocketPath();
    } catch (const host::HostError& e) {
        std::fprintf(stderr, "korvex-sim: %s\n", qPrintable(e.text()));
        return 1;
    }
    QString error;
    if (!server.listen(name, &error)) {
        std::fprintf(stderr, "korvex-sim: cannot serve %s: %s\n", qPrintable(name), qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "korvex-sim: serving %s with %d commands\n", qPrintable(name), host->commandCount());

    // Standard input: execute, add <index>, quit.
    QByteArray input;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) { // end of input: keep serving until ended otherwise
            stdinNotifier.setEnabled(false);
            return;
        }
        input.append(buf, n);
        qsizetype nl;
        while ((nl = input.indexOf('\n')) >= 0) {
            const QStringList words = QString::fromUtf8(input.left(nl)).simplified().split(QLatin1Char(' '));
            input.remove(0, nl + 1);
            const QString cmd = words.value(0);
            if (cmd == QLatin1String("execute")) {
                server.startExecution();
            } else if (cmd == QLatin1String("add") && words.size() == 2) {
                server.addObject(words.at(1).toInt());
            } else if (cmd == QLatin1String("quit")) {
                QCoreApplication::quit();
            } else if (!cmd.isEmpty()) {
                std::fprintf(stderr, "korvex-sim: unknown command %s (execute, add <index>, quit)\n",
                             qPrintable(cmd));
            }
        }
    });

    return QCoreApplication::exec();
}
