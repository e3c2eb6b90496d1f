#include "common/MessageBox.h"
#include "host/HostSocketClient.h"
#include "mainwindow/AppState.h"
#include "mainwindow/frm_Hauptfenster.h"
#include "mainwindow/modCommandLine.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

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
    "  WORKBOOK   the Excel form to fill; without it an ASCII result file is written\n"
    "  LAYOUT     the report layout file (.cfg is appended when missing)\n"
    "  CHOICE     ALL full report, OOT report with correction values, ALO both\n"
    "  WORKBOOK2  the second form for ALO\n"
    "Each argument may be written with a leading '/', as in the Windows batch files:\n"
    "  doziduvov /a \"/home/qs/Forms/Teil 1.xlsx\" /home/qs/R.cfg /ALL\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Environment: DOZIDUVOV_PROGRAM_DIR replaces the program folder (language files and the\n"
    "fixed-name settings files). With no display (QT_QPA_PLATFORM=offscreen) messages go to\n"
    "standard error and the exit status is 0 only when the outputs were written.\n";

QtMessageHandler standardHandler = nullptr;

// Platform chatter that says nothing to someone reading an unattended run's log.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("propagateSizeHints")) ||
        text.startsWith(QLatin1String("QStandardPaths:")))
        return;
    if (standardHandler)
        standardHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[]) {
    // These two never need a display and are never start options.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("doziduvov %s\n", DOZIDUVOV_VERSION);
        return 0;
    }

    // Start options decide whether anyone needs to see a window.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const bool unattended = mainwindow::isRunMode(mainwindow::StartArgsFromWords(words)[1]);
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (!unattended) {
            std::fputs(
                "doziduvov: no display to show the main window on. Start it on a desktop, or give start "
                "options for an unattended run (see doziduvov --help).\n",
                stderr);
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    standardHandler = qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("doziduvov"));
    QApplication::setApplicationVersion(QStringLiteral(DOZIDUVOV_VERSION));
    Q_INIT_RESOURCE(icons);

    mainwindow::AppState state;
    state.findHost = [] { return host::connectToHost(); };
    state.headless = unattended && common::isHeadless();
    state.message = [&state](const common::Message& m) {
        if (m.icon == common::MsgIcon::Error || m.icon == common::MsgIcon::Critical)
            state.errorShown = true;
        return common::showMessage(m);
    };
    state.commandLine = words;

    mainwindow::frm_Hauptfenster window(state);
    // Start-up runs inside the event loop, so that an unattended run can end it.
    QTimer::singleShot(0, &window, [&window] { window.Form_Load(); });
    const int status = QApplication::exec();
    if (state.headless)
        return status == 0 && state.outputsWritten && !state.errorShown ? 0 : 1;
    return status;
}
