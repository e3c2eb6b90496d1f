#pragma once

#include "excel/ReportLayout.h"
#include "host/LiveUpdate.h"
#include "run/AppState.h"
#include "run/CommandLine.h"
#include "settings/ProgramSettings.h"
#include "settings/ResultFileName.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace run {

// How an unattended run ended.
struct RunResult {
    // The run reached its end and the program ends; false: it stopped on a failure (a windowed
    // run then stays open and repeats the start options after the next read).
    bool ended = false;
    // Every output the start options asked for was written.
    bool success = false;
    QStringList written; // the files written, in order
    // The outputs were written but the part could not be stored in the history.
    bool historyFailed = false;
    // Characteristics after one without an ID: never listed, so in no output.
    int rowsNotTaken = 0;
};

// The start-up that needs no window: the settings root, the stored language, the start-up keys
// and the header data names; the status line says "ready".
settings::StartupKeys startUp(AppState& state);

// The converter's sequence: connect, read (offline or online), classify, list, choose rows,
// write the ASCII file or the reports, and the result of an unattended run. Windows call it and
// observe it through its signals; an unattended run without a display uses it alone.
class Conversion : public QObject, public host::HostEventListener {
    Q_OBJECT

public:
    explicit Conversion(AppState& state, QObject* parent = nullptr);
    ~Conversion() override;

    AppState& state() { return m_state; }

    // Parses the command line into the start arguments and starts an unattended run when the
    // first one is a run mode; false when there is nothing to run.
    bool dispatchStartOptions();

    // "Werte Offline lesen": connect, read, list, then the start options.
    void ReadValuesOffline();
    // "Werte Online empfangen" on and off; switching off runs the start options.
    void startOnlineReception();
    void stopOnlineReception();
    void ToggleOnlineReception();

    // Chooses rows for the start options and writes their outputs.
    void StartoptionenAuswerten();

    // The ASCII result file of the selected rows; an unattended "a" run ends after success.
    bool subWerteAusgeben();
    // The PDF measurement protocol of the selected rows, under a name of its own.
    bool writePdfProtocol();
    // The QIF results of the selected rows, under a name of their own.
    bool writeQifResults();
    // Fills a form with the selected rows; the path receives the name of a copy or correction report.
    bool fillExcelReport(QString& formPath, bool korrekturbericht);

    // The selection changed by a rule or a start option; the views follow.
    void setSelection(model::Selection selection);
    void changeSelection(const std::function<void(model::Selection&)>& change);

    // Has the host present the dimension of a list entry (a double-click on the value grid).
    void presentEntry(int entry);

    // Keeps the values of a complete read in the history, once per read; called after an output
    // was written from it. False when the history failed (reported on the status line and, in an
    // unattended run, on standard error); the output stays written.
    bool storeInHistory();

    void setStatus(const QString& text);
    // Rows after the first one without an ID: never listed, so in no output.
    int rowsNotListed() const;
    // Lets go of the host (events first).
    void release();

    // Asks where to save a filled form when the form dialog asked for it; "" when nobody does.
    std::function<QString()> chooseSaveAs;

Q_SIGNALS:
    void statusChanged();
    // An output was written (state().lastOutput), or the notes of the last step changed.
    void outputWritten();
    void notesChanged();
    // A negative maximum hides the bar; at most one update per 50 ms while work goes on.
    void progressChanged(int maximum, int value);
    // A read or online reception starts: the list, grid, counts and lamps clear.
    void valuesCleared();
    void programChanged();
    void headerChanged();
    void valuesListed();
    void classified();
    void selectionChanged();
    void onlineChanged(bool on);
    // An unattended run has ended (or stopped on a failure).
    void runFinished(const run::RunResult& result);

private:
    void OnObjectExecuted(std::shared_ptr<host::HostPartProgram> partProg,
                          std::shared_ptr<host::HostCommand> cmmd) override;
    void OnEndExecution(std::shared_ptr<host::HostPartProgram> partProg, int terminationType) override;
    void OnAddObject(std::shared_ptr<host::HostPartProgram>, std::shared_ptr<host::HostCommand>) override {}
    void OnConnectionLost(const host::HostError& why) override;

    bool connectHost();
    void showProgramData();
    void clearValues();
    void listValues();
    void fctEndProgram();
    QString nothingWrittenNote() const;
    void reportReadFailure(const QString& detail);
    void reportOnlineFailure(const QString& detail);
    void endOnlineReception();
    void abortOnlineReception(const QString& detail);
    void reportDroppedRows();
    // A warning of the current step: beside the status line, where it is never cut short; an
    // unattended run writes it to standard error.
    void note(const QString& text);
    // A new step starts: the last one's warnings go.
    void beginStep();
    // An output was written: its name in the status line, the file ready to be opened.
    void wrote(const QString& path, const QString& status);
    void reportOtherName(const QString& planned, const QString& used);
    bool mayWrite();
    void progress(int maximum, int value);
    bool unattended() const;
    void finishRun(bool ended, bool success);
    bool writeAsciiForRun();
    enum class Protocol { Aqdef, Qif, Pdf };
    // Writes one of the extra outputs, beside the result file when there is one.
    bool writeProtocol(Protocol which, std::optional<settings::ResultFileName> beside);

    AppState& m_state;
    host::ReaderState m_reader;
    host::LiveUpdate m_live;
    std::shared_ptr<host::HostApplicationEvents> m_events;
    QElapsedTimer m_progressClock;
    // Since the work began, and whether a terminal has been shown its percentage.
    QElapsedTimer m_workClock;
    bool m_percentShown = false;
    QStringList m_written; // outputs of the running evaluation
    bool m_evaluating = false;
    bool m_historyFailed = false;       // of the running evaluation
    excel::LayoutValueFn m_layoutValue; // the layout file of the running evaluation
};

} // namespace run

Q_DECLARE_METATYPE(run::RunResult)
