#pragma once

#include "host/LiveUpdate.h"
#include "mainwindow/AppState.h"
#include "mainwindow/Klassifizierung.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QToolBar;

namespace mainwindow {

class LampWidget;

// The main window: the characteristic list and value grid, the tolerance lamps, the toolbar and
// menus, offline reading and online reception. It gathers what the logic needs and shows what it
// returns.
class frm_Hauptfenster : public QMainWindow, public host::HostEventListener {
    Q_OBJECT

public:
    explicit frm_Hauptfenster(AppState& state, QWidget* parent = nullptr);
    ~frm_Hauptfenster() override;

    AppState& state() { return m_state; }

    // Start-up; a language change runs it again.
    void Form_Load();

    void ReadValuesOffline();
    void ToggleOnlineReception();
    void WerteInListeEintragen();
    void lst_MM_ID_Click();
    void FlexGridMerkmalswerte_DblClick();
    void fctEndProgram();
    void StartoptionenAuswerten();
    void Menue_Beenden();

    // The ASCII export: the folder choice first when it is asked for each run.
    void ASCII();
    // Writes the ASCII file; an unattended "a" run ends after success.
    bool subWerteAusgeben();

    // "Excel Bericht ausfüllen": the form is chosen in a dialog, then filled.
    void ExcelBerichtAusfuellen();
    // Fills a form with the selected rows; the path receives a correction report's new name.
    bool fillExcelReport(QString& formPath, bool korrekturbericht);

    // Panel 1 of the status bar: also the online state.
    void setStatusText(const QString& text);
    QString statusText() const;
    bool onlineReceptionOn() const;

    // The output selection, entry k for row k + 1.
    Selection selection() const;
    void setSelection(const Selection& selection);
    int listCount() const;

    // Header data grid rows from the state (names and values).
    void refreshHeaderGrid();
    void setHeaderFrameVisible(bool visible);

    // Window position in twips, as stored.
    double topTwips() const;
    double leftTwips() const;
    void moveToTwips(double top, double left);

    // Language texts of the main window's section.
    QString text(int line) const;

    // Lamp and grid colours, for the looks and for tests.
    common::Rgb gridColour() const;
    common::Rgb lampColourOf(Lamp lamp) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // host events
    void OnObjectExecuted(std::shared_ptr<host::HostPartProgram> partProg,
                          std::shared_ptr<host::HostCommand> cmmd) override;
    void OnEndExecution(std::shared_ptr<host::HostPartProgram> partProg, int terminationType) override;
    void OnAddObject(std::shared_ptr<host::HostPartProgram>, std::shared_ptr<host::HostCommand>) override {}

    void buildUi();
    void buildMenus();
    void applyTexts();
    void placeWindow(double topTwips, double leftTwips);
    bool connectHost();
    void showProgramData();
    void clearValueColumn();
    void setGridColour(const common::Rgb& colour);
    void showRow(const model::MerkmalRow& row, const QString& entryText);
    void resetCountsAndLamps();
    void showClassification(const ClassificationResult& result);
    void chooseLanguage(const QString& language);
    void Form_Unload();
    void reportHostError(const host::HostError& e);
    void markButton(void (*rule)(const model::MerkmalTable&, Selection&, const AskClearFn&));
    bool askClearFirst();
    void setOnlineButton(bool pressed);
    template <typename W> void openWindow(QPointer<W>& window, std::function<W*()> make);

    AppState& m_state;
    host::ReaderState m_reader;
    host::LiveUpdate m_live;
    std::shared_ptr<host::HostApplicationEvents> m_KvxEvents;
    bool m_unloading = false;

    QToolBar* m_toolbar = nullptr;
    QAction* m_button[8] = {};
    QLabel* m_panel1 = nullptr;
    QProgressBar* m_progress = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    QGroupBox* m_frameWerte = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frameKommentar = nullptr;
    QGroupBox* m_frame5 = nullptr;
    QLabel* m_label1[4] = {};
    QLabel* m_lblProgrammname = nullptr;
    QLabel* m_lblProgName = nullptr;
    QLabel* m_lblIndex = nullptr;
    QLabel* m_lblZgNr = nullptr;
    QTableWidget* m_kopfdaten = nullptr;
    QTableWidget* m_werte = nullptr;
    QListWidget* m_list = nullptr;
    QListWidget* m_comment = nullptr;
    QPushButton* m_markAll = nullptr;
    QPushButton* m_markOK = nullptr;
    QPushButton* m_markAT = nullptr;
    QPushButton* m_markKritisch = nullptr;
    QPushButton* m_markDelete = nullptr;
    QPushButton* m_markMarked = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_label4 = nullptr;
    QLabel* m_lblAnzOK = nullptr;
    QLabel* m_lblAnzKritisch = nullptr;
    QLabel* m_lblAnzOOT = nullptr;
    LampWidget* m_shape[4] = {};
    common::Rgb m_gridColour{255, 255, 255};

    QMenu* m_menuDatei = nullptr;
    QMenu* m_menuEinstellungen = nullptr;
    QMenu* m_menuAktionen = nullptr;
    QMenu* m_menuHilfe = nullptr;
    QMenu* m_menuLanguage = nullptr;
    QAction* m_menuLang[8] = {};
    QAction* m_menueBeenden = nullptr;
    QAction* m_menuAusgabedatei = nullptr;
    QAction* m_menuASCII = nullptr;
    QAction* m_menuKopfdaten = nullptr;
    QAction* m_menuFormular = nullptr;
    QAction* m_menueWindowPos = nullptr;
    QAction* m_menueBatchFile = nullptr;
    QAction* m_menueInfo = nullptr;

    void dispatchStartOptions();
    void endStuckHeadlessRun();

    QPointer<QWidget> m_asciiSetup;
    QPointer<QWidget> m_batchFile;
    QPointer<QWidget> m_online;
    QPointer<QWidget> m_berichtDesign;
    QPointer<QWidget> m_outputSetup;
    QPointer<QWidget> m_selectFolder;
    QPointer<QWidget> m_fensterpos;
    QPointer<QWidget> m_kopfdatenDialog;
    QPointer<QWidget> m_savePartProgram;
    QPointer<QWidget> m_about;
};

} // namespace mainwindow
