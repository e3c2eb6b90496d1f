#pragma once

#include "common/Rgb.h"
#include "model/Classification.h"
#include "run/AppState.h"
#include "run/Conversion.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QLabel;
class QListView;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QToolBar;
class QToolButton;
class QUrl;

namespace gui {

class ElidedLabel;
class LampWidget;
class CharacteristicListModel;

// The main window: a view over the state with the characteristic list and value grid, the
// tolerance lamps, the toolbar and menus. Its actions call the run object, and it shows what the
// run object reports.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(run::AppState& state, run::Conversion& conversion, QWidget* parent = nullptr);
    ~MainWindow() override;

    run::AppState& state() { return m_state; }

    // Start-up; a language change runs it again.
    void Form_Load();

    void ReadValuesOffline();
    void ToggleOnlineReception();
    void WerteInListeEintragen();
    void lst_MM_ID_Click(int entry);
    void FlexGridMerkmalswerte_DblClick();
    void Menue_Beenden();

    // The ASCII export: the folder choice first when it is asked for each run.
    void ASCII();

    // "Excel Bericht ausfüllen": the form is chosen in a dialog, then filled.
    void ExcelBerichtAusfuellen();
    // Fills the given form (chosen, recent, or dropped on the window), or a copy of it.
    void fillForm(const QString& file, bool saveAsCopy = false);
    // Opens the layout dialog with the given layout file loaded.
    void openLayout(const QString& file);

    // What the status line, the list and the online button show: the state's values.
    QString statusText() const { return m_state.status; }
    // Opens a file or folder with the desktop's program for it, false when there is none; tests put
    // their own here.
    std::function<bool(const QUrl&)> openUrl;
    bool onlineReceptionOn() const { return m_state.online; }
    const model::Selection& selection() const { return m_state.selection; }
    int listCount() const { return static_cast<int>(m_state.entries.size()); }

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
    common::Rgb lampColourOf(model::Lamp lamp) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Back from a dialog that may have loaded or saved another layout: the title names it.
    void showEvent(QShowEvent* event) override;
    // A form or a layout file dropped on the window is used like one chosen in its dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildUi();
    void buildToolbar();
    void buildStatusBar();
    void buildProgramFrame();
    void buildPartInfoFrame();
    void buildListFrame();
    void buildValueFrame();
    void buildHeaderFrame();
    void buildCommentFrame();
    void buildMenus();
    void buildFileMenu();
    void buildSettingsMenu();
    void buildActionsMenu();
    void buildListContextMenu();
    void buildHelpMenu();
    QAction* addMenuAction(QMenu* menu, const QString& name, std::function<void()> f);
    void applyTexts();
    void placeWindow(double topTwips, double leftTwips);
    void clearValueColumn();
    void setGridColour(const common::Rgb& colour);
    void showRow(const model::MerkmalRow& row, const QString& entryText);
    void clearCountsAndLamps();
    void showClassification();
    void showProgramData();
    void showProgress(int maximum, int value);
    void showStatus();
    void showOutputButtons();
    void showNotes();
    // A written file or its folder with the desktop's program, or the message that none opens it.
    void openOutput(const QString& path);
    void cannotOpen(const QUrl& url);
    void showRecentFiles();
    bool anythingToFill();
    void showSelection();
    void chooseLanguage(const QString& language);
    void Form_Unload();
    void markButton(void (*rule)(const model::MerkmalTable&, model::Selection&, const model::AskClearFn&));
    bool askClearFirst();
    void setOnlineButton(bool pressed);
    void observeRun();
    template <typename W> void openWindow(QPointer<W>& window, std::function<W*()> make);
    // The history of a characteristic ("ID.Achse") of the part program read, or of none.
    void openHistory(const QString& characteristic);

    run::AppState& m_state;
    run::Conversion& m_run;
    bool m_unloading = false;
    bool m_syncingSelection = false;
    int m_shownEntry = -1;      // the entry the value grid shows
    bool m_fillingList = false; // the list is being filled: its current row is not a click

    QToolBar* m_toolbar = nullptr;
    QAction* m_button[8] = {};
    ElidedLabel* m_panel1 = nullptr;
    QProgressBar* m_progress = nullptr;
    QToolButton* m_notesButton = nullptr;
    QToolButton* m_openFile = nullptr;
    QToolButton* m_openFolder = nullptr;
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
    QListView* m_list = nullptr;
    CharacteristicListModel* m_listModel = nullptr;
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
    QAction* m_menuPdf = nullptr;
    QAction* m_menuQif = nullptr;
    QAction* m_menuStayOnTop = nullptr;
    QMenu* m_menuRecentForms = nullptr;
    QMenu* m_menuRecentLayouts = nullptr;
    QAction* m_menueVerlauf = nullptr;
    QAction* m_menueInfo = nullptr;

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
    QPointer<QWidget> m_verlauf;
};

} // namespace gui
