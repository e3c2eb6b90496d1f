#include "gui/MainWindow.h"

#include "gui/QtTranslation.h"

#include "ascii/AsciiWriter.h"
#include "common/ProgramPaths.h"
#include "excel/FormReport.h"
#include "gui/AboutDialog.h"
#include "gui/AsciiSetupDialog.h"
#include "gui/BatchFileDialog.h"
#include "gui/CharacteristicListModel.h"
#include "gui/DesktopOpen.h"
#include "gui/ElidedLabel.h"
#include "gui/ExcelOnlineWindow.h"
#include "gui/HeaderDataDialog.h"
#include "gui/HistoryWindowOpen.h"
#include "gui/LampWidget.h"
#include "gui/MessageBox.h"
#include "gui/OutputFileDialog.h"
#include "gui/ReportLayoutDialog.h"
#include "gui/SavePartProgramDialog.h"
#include "gui/SelectFolderDialog.h"
#include "gui/ValueGrid.h"
#include "gui/WindowOnTop.h"
#include "gui/WindowPlacement.h"
#include "gui/WindowPositionDialog.h"
#include "protocol/PdfProtocol.h"
#include "run/CommandLine.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QTimer>
#include <QStandardPaths>
#include <QMimeData>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace gui {

namespace {

const QString kMain = QStringLiteral("frm_MainWindow");
const QString kStatus = QStringLiteral("StatusBar");
const QString kBox = QStringLiteral("MessageBoxen");

// Text that reads on a background of fixed colour, whatever the theme's text colour is.
QColor textOn(const QColor& background) {
    const double luminance =
        0.299 * background.redF() + 0.587 * background.greenF() + 0.114 * background.blueF();
    return luminance > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
}

QTableWidgetItem* cell(QTableWidget* t, int r, int c) {
    QTableWidgetItem* it = t->item(r, c);
    if (!it) {
        it = new QTableWidgetItem;
        it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        t->setItem(r, c, it);
    }
    return it;
}

void setCell(QTableWidget* t, int r, int c, const QString& text) {
    cell(t, r, c)->setText(text);
}

// The first row and column of a grid are its fixed, grey cells.
void styleFixedCells(QTableWidget* t) {
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c)
            if (r == 0 || c == 0) {
                QTableWidgetItem* it = cell(t, r, c);
                // The theme's own colours for headings, light or dark.
                it->setBackground(t->palette().brush(QPalette::Button));
                it->setForeground(t->palette().brush(QPalette::ButtonText));
                if (r == 0) {
                    QFont f = it->font();
                    f.setBold(true);
                    it->setFont(f);
                }
            }
}

QTableWidget* makeGrid(const QString& name, int rows, int cols) {
    auto* t = new QTableWidget(rows, cols);
    t->setObjectName(name);
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setSelectionBehavior(QAbstractItemView::SelectItems);
    t->setAlternatingRowColors(false);
    t->verticalHeader()->setDefaultSectionSize(21);
    t->setWordWrap(false);
    t->setFocusPolicy(Qt::StrongFocus);
    // Tab leaves the grid (the arrows move within it), and the value column takes the width left
    // beside a vertical scroll bar: the grid never scrolls sideways and cuts the names off.
    t->setTabKeyNavigation(false);
    t->horizontalHeader()->setSectionResizeMode(cols - 1, QHeaderView::Stretch);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Bringing a cell into view must not shift the names out either.
    QScrollBar* sideways = t->horizontalScrollBar();
    QObject::connect(sideways, &QScrollBar::valueChanged, t, [sideways](int v) {
        if (v != 0)
            sideways->setValue(0);
    });
    return t;
}

QLabel* makeValueLabel(const QString& name) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setMinimumWidth(160);
    l->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return l;
}

QPushButton* makeMarkButton(const QString& name, const char* icon) {
    auto* b = new QPushButton;
    b->setObjectName(name);
    b->setIcon(QIcon(QString::fromLatin1(icon)));
    b->setIconSize(QSize(22, 22));
    b->setFixedSize(38, 34);
    return b;
}

} // namespace

MainWindow::MainWindow(run::AppState& state, run::Conversion& conversion, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_run(conversion) {
    setObjectName(QStringLiteral("frm_Hauptfenster"));
    setAcceptDrops(true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    openUrl = [this](const QUrl& url) {
        return openWithDesktop(url, this, [this, url] { cannotOpen(url); });
    };
    m_run.chooseSaveAs = [this] {
        return QFileDialog::getSaveFileName(this, QString(), QString(), text(82));
    };
    buildUi();
    buildMenus();
    observeRun();
}

MainWindow::~MainWindow() {
    m_run.chooseSaveAs = {};
    disconnect(&m_run, nullptr, this, nullptr);
}

void MainWindow::observeRun() {
    connect(&m_run, &run::Conversion::statusChanged, this, &MainWindow::showStatus);
    connect(&m_run, &run::Conversion::outputWritten, this, &MainWindow::showOutputButtons);
    connect(&m_run, &run::Conversion::notesChanged, this, [this] {
        const QStringList& notes = m_state.notes;
        m_notesButton->setVisible(!notes.isEmpty());
        m_notesButton->setText(QString::number(notes.size()));
        m_notesButton->setToolTip(notes.join(QStringLiteral("\n\n")));
    });
    connect(&m_run, &run::Conversion::progressChanged, this, &MainWindow::showProgress);
    connect(&m_run, &run::Conversion::valuesCleared, this, [this] {
        m_listModel->reload();
        m_shownEntry = -1;
        m_comment->clear();
        clearValueColumn();
        setGridColour({255, 255, 255});
        clearCountsAndLamps();
    });
    connect(&m_run, &run::Conversion::programChanged, this, &MainWindow::showProgramData);
    connect(&m_run, &run::Conversion::headerChanged, this, &MainWindow::refreshHeaderGrid);
    connect(&m_run, &run::Conversion::valuesListed, this, &MainWindow::WerteInListeEintragen);
    connect(&m_run, &run::Conversion::classified, this, &MainWindow::showClassification);
    connect(&m_run, &run::Conversion::selectionChanged, this, &MainWindow::showSelection);
    connect(&m_run, &run::Conversion::onlineChanged, this, [this](bool on) {
        setOnlineButton(on);
        if (on && settings::readMinimize(m_state.store))
            showMinimized();
        else if (!on && isMinimized())
            showNormal();
    });
    // The end of an unattended run unloads the window; after a failure it stays open.
    connect(&m_run, &run::Conversion::runFinished, this, [this](const run::RunResult& r) {
        if (r.ended && !m_unloading)
            close();
    });
}

QString MainWindow::text(int line) const {
    return m_state.text(kMain, line);
}

void MainWindow::buildToolbar() {
    m_toolbar = addToolBar(QString());
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    m_toolbar->setIconSize(QSize(32, 32));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const char* icons[8] = {
        nullptr, ":/icons/online.svg",       ":/icons/read_offline.svg", ":/icons/excel_online.svg",
        nullptr, ":/icons/ascii_export.svg", ":/icons/excel_report.svg", ":/icons/save_program.svg"};
    for (int i = 1; i <= 7; ++i) {
        if (i == 4) {
            m_toolbar->addSeparator()->setObjectName(QStringLiteral("Toolbar1_4"));
            continue;
        }
        m_button[i] = m_toolbar->addAction(QIcon(QString::fromLatin1(icons[i])), QString());
        m_button[i]->setObjectName(QStringLiteral("Toolbar1_%1").arg(i));
        // Reachable with Tab too, not only with the mouse and the shortcuts.
        m_toolbar->widgetForAction(m_button[i])->setFocusPolicy(Qt::TabFocus);
    }
    m_button[1]->setCheckable(true);
    connect(m_button[1], &QAction::triggered, this, [this] { ToggleOnlineReception(); });
    connect(m_button[2], &QAction::triggered, this, [this] { ReadValuesOffline(); });
    connect(m_button[3], &QAction::triggered, this, [this] {
        openWindow<QWidget>(m_online,
                            [this] { return new gui::ExcelOnlineWindow(m_state, m_state.findHost, this); });
        hide();
    });
    connect(m_button[5], &QAction::triggered, this, [this] { ASCII(); });
    connect(m_button[6], &QAction::triggered, this, [this] { ExcelBerichtAusfuellen(); });
    connect(m_button[7], &QAction::triggered, this, [this] {
        openWindow<QWidget>(m_savePartProgram,
                            [this] { return new gui::SavePartProgramDialog(m_state, m_state.link, this); });
    });
}

void MainWindow::buildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    m_panel1 = new ElidedLabel;
    m_panel1->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    statusBar()->addWidget(m_panel1, 1);
    m_panel1->setMinimumWidth(1);
    m_panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // After an output its file and folder are a click away; a step's warnings wait behind a
    // button instead of being cut off in the line.
    auto button = [this](const char* name, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton;
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setVisible(false);
        statusBar()->addPermanentWidget(b);
        return b;
    };
    m_notesButton = button("StatusBar1_Notes", QStyle::SP_MessageBoxWarning);
    m_openFile = button("StatusBar1_OpenFile", QStyle::SP_FileIcon);
    m_openFolder = button("StatusBar1_OpenFolder", QStyle::SP_DirOpenIcon);
    connect(m_notesButton, &QToolButton::clicked, this, &MainWindow::showNotes);
    connect(m_openFile, &QToolButton::clicked, this, [this] { openOutput(m_state.lastOutput); });
    connect(m_openFolder, &QToolButton::clicked, this,
            [this] { openOutput(QFileInfo(m_state.lastOutput).absolutePath()); });
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("ProgressBar_Hauptfenster"));
    m_progress->setFixedWidth(260);
    m_progress->setVisible(false);
    statusBar()->addPermanentWidget(m_progress);
}

void MainWindow::buildProgramFrame() {
    // Part program data.
    m_frame3 = new QGroupBox;
    m_frame3->setObjectName(QStringLiteral("Frame3"));
    auto* g3 = new QGridLayout(m_frame3);
    m_lblProgrammname = makeValueLabel(QStringLiteral("lbl_Programmname"));
    m_lblProgName = makeValueLabel(QStringLiteral("lblProgName"));
    m_lblIndex = makeValueLabel(QStringLiteral("lblIndex"));
    m_lblZgNr = makeValueLabel(QStringLiteral("lblZgNr"));
    QLabel* values[4] = {m_lblProgrammname, m_lblProgName, m_lblIndex, m_lblZgNr};
    for (int i = 0; i < 4; ++i) {
        m_label1[i] = new QLabel;
        m_label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        // File name across the full width, the three short values side by side below it.
        if (i == 0) {
            g3->addWidget(m_label1[i], 0, 0);
            g3->addWidget(values[i], 0, 1, 1, 5);
        } else {
            g3->addWidget(m_label1[i], 1, (i - 1) * 2);
            g3->addWidget(values[i], 1, (i - 1) * 2 + 1);
        }
    }
    m_lblProgrammname->setMinimumWidth(400);
}

void MainWindow::buildPartInfoFrame() {
    // Part info: counts and lamps.
    m_frame5 = new QGroupBox;
    m_frame5->setObjectName(QStringLiteral("Frame5"));
    auto* g5 = new QGridLayout(m_frame5);
    m_label2 = new QLabel;
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label3 = new QLabel;
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label4 = new QLabel;
    m_label4->setObjectName(QStringLiteral("Label4"));
    auto count = [](const QString& name) {
        auto* l = new QLabel(QStringLiteral("0"));
        l->setObjectName(name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setMinimumWidth(48);
        QFont f = l->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.2);
        l->setFont(f);
        return l;
    };
    m_lblAnzOK = count(QStringLiteral("lblAnzOK"));
    m_lblAnzKritisch = count(QStringLiteral("lblAnzKritisch"));
    m_lblAnzOOT = count(QStringLiteral("lblAnzOOT"));
    for (int i = 1; i <= 3; ++i) {
        m_shape[i] = new LampWidget;
        m_shape[i]->setObjectName(QStringLiteral("Shape%1").arg(i));
    }
    // Green row on top, red at the bottom, as a signal reads.
    g5->addWidget(m_shape[1], 0, 0);
    g5->addWidget(m_label4, 0, 1);
    g5->addWidget(m_lblAnzOK, 0, 2);
    g5->addWidget(m_shape[2], 1, 0);
    g5->addWidget(m_label3, 1, 1);
    g5->addWidget(m_lblAnzKritisch, 1, 2);
    g5->addWidget(m_shape[3], 2, 0);
    g5->addWidget(m_label2, 2, 1);
    g5->addWidget(m_lblAnzOOT, 2, 2);
    g5->setColumnStretch(1, 1);
}

void MainWindow::buildListFrame() {
    // Characteristic list with the mark buttons.
    m_frame2 = new QGroupBox;
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    auto* v2 = new QVBoxLayout(m_frame2);
    m_list = new QListView;
    m_list->setObjectName(QStringLiteral("lst_MM_ID"));
    m_listModel = new CharacteristicListModel(m_state.entries, m_list);
    m_list->setModel(m_listModel);
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->setUniformItemSizes(true); // no per-row size pass over long lists
    m_list->setMinimumWidth(230);
    v2->addWidget(m_list, 1);
    auto* marks = new QGridLayout;
    m_markAll = makeMarkButton(QStringLiteral("cmdMarkAll"), ":/icons/mark_all.svg");
    m_markOK = makeMarkButton(QStringLiteral("cmdMarkOK"), ":/icons/mark_ok.svg");
    m_markAT = makeMarkButton(QStringLiteral("cmdMarkAT"), ":/icons/mark_oot.svg");
    m_markKritisch = makeMarkButton(QStringLiteral("cmdMarkKritisch"), ":/icons/mark_critical.svg");
    m_markDelete = makeMarkButton(QStringLiteral("cmdMarkDelete"), ":/icons/mark_delete.svg");
    m_markMarked = makeMarkButton(QStringLiteral("cmdMarkMarked"), ":/icons/mark_marked.svg");
    QPushButton* order[6] = {m_markAll, m_markOK, m_markAT, m_markKritisch, m_markMarked, m_markDelete};
    for (int i = 0; i < 6; ++i)
        marks->addWidget(order[i], 0, i);
    v2->addLayout(marks);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !m_fillingList)
                    lst_MM_ID_Click(current.row());
            });
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& i) { lst_MM_ID_Click(i.row()); });
    // Clicks in the list change the state's selection by the ranges the view reports.
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!m_syncingSelection)
                    applySelectionChange(m_state.selection, selected, deselected);
            });
    connect(m_markAll, &QPushButton::clicked, this,
            [this] { m_run.changeSelection([](model::Selection& s) { model::MarkAll(s); }); });
    connect(m_markDelete, &QPushButton::clicked, this,
            [this] { m_run.changeSelection([](model::Selection& s) { model::MarkDelete(s); }); });
    connect(m_markAT, &QPushButton::clicked, this, [this] { markButton(&model::MarkAT); });
    connect(m_markOK, &QPushButton::clicked, this, [this] { markButton(&model::MarkOK); });
    connect(m_markKritisch, &QPushButton::clicked, this, [this] { markButton(&model::MarkKritisch); });
    connect(m_markMarked, &QPushButton::clicked, this, [this] {
        m_run.changeSelection([this](model::Selection& s) { model::MarkMarked(m_state.table, s); });
    });
}

void MainWindow::buildValueFrame() {
    // Value grid.
    m_frameWerte = new QGroupBox;
    m_frameWerte->setObjectName(QStringLiteral("frameMerkmaswerte"));
    auto* vw = new QVBoxLayout(m_frameWerte);
    m_werte = makeGrid(QStringLiteral("FlexGridMerkmalswerte"), 24, 2);
    m_werte->setColumnWidth(0, settings::twipsToPixels(1700));
    m_werte->setColumnWidth(1, settings::twipsToPixels(4850));
    m_werte->setMinimumWidth(settings::twipsToPixels(1700 + 4850) + 22);
    m_werte->horizontalHeader()->setStretchLastSection(true);
    // Eight rows at least; the grid scrolls on small screens and large scaling, the rest of the
    // window stays reachable.
    m_werte->setMinimumHeight(24 * 8 + 4);
    m_werte->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_werte->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    styleFixedCells(m_werte);
    for (int r = 1; r < 24; ++r)
        cell(m_werte, r, 1)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    vw->addWidget(m_werte);
    connect(m_werte, &QTableWidget::cellDoubleClicked, this, [this] { FlexGridMerkmalswerte_DblClick(); });
}

void MainWindow::buildHeaderFrame() {
    // Header data grid.
    m_frame4 = new QGroupBox;
    m_frame4->setObjectName(QStringLiteral("Frame4"));
    auto* v4 = new QVBoxLayout(m_frame4);
    m_kopfdaten = makeGrid(QStringLiteral("FlexGridKopfdaten"), 1, 2);
    m_kopfdaten->setColumnWidth(0, settings::twipsToPixels(1900));
    m_kopfdaten->setColumnWidth(1, settings::twipsToPixels(2900));
    m_kopfdaten->horizontalHeader()->setStretchLastSection(true);
    m_kopfdaten->setMinimumWidth(settings::twipsToPixels(1900 + 2900) + 22);
    styleFixedCells(m_kopfdaten);
    v4->addWidget(m_kopfdaten);
}

void MainWindow::buildCommentFrame() {
    // Comment lines.
    m_frameKommentar = new QGroupBox;
    m_frameKommentar->setObjectName(QStringLiteral("frameKommentar"));
    auto* vk = new QVBoxLayout(m_frameKommentar);
    m_comment = new QListWidget;
    m_comment->setObjectName(QStringLiteral("vlstComment"));
    m_comment->setSelectionMode(QAbstractItemView::NoSelection);
    vk->addWidget(m_comment);
}

void MainWindow::buildUi() {
    buildToolbar();
    buildStatusBar();
    buildProgramFrame();
    buildPartInfoFrame();
    buildListFrame();
    buildValueFrame();
    buildHeaderFrame();
    buildCommentFrame();

    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(8, 6, 8, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(m_frame3, 0, 0, 1, 2);
    grid->addWidget(m_frame5, 0, 2);
    grid->addWidget(m_frame2, 1, 0);
    grid->addWidget(m_frameWerte, 1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(m_frame4, 3);
    right->addWidget(m_frameKommentar, 2);
    grid->addLayout(right, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(1, 1);
    setCentralWidget(central);

    for (int i = 1; i <= 3; ++i)
        m_shape[i]->setColour(lampColour(static_cast<model::Lamp>(i - 1), false));
    setGridColour({255, 255, 255});
}

void MainWindow::buildMenus() {
    buildFileMenu();
    buildSettingsMenu();
    buildActionsMenu();
    buildListContextMenu();
    buildHelpMenu();
}

QAction* MainWindow::addMenuAction(QMenu* menu, const QString& name, std::function<void()> f) {
    QAction* a = menu->addAction(QString());
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, std::move(f));
    return a;
}

void MainWindow::buildFileMenu() {
    m_menuDatei = menuBar()->addMenu(QString());
    m_menuDatei->setObjectName(QStringLiteral("Menue_Datei"));
    m_menuLanguage = m_menuDatei->addMenu(QString());
    m_menuLanguage->setObjectName(QStringLiteral("menuLanguage"));
    // In the order of the language file's menu texts (lines 8 to 14, then 76).
    const char* names[8] = {"menuGerman",  "menuEnglish",    "menuFrench", "menuItalian",
                            "menuSpanish", "menuPortuguese", "menuCzech",  "menuUngarisch"};
    const char* languages[8] = {"German",  "English",    "French", "Italian",
                                "Spanish", "Portuguese", "Czech",  "Hungary"};
    // One language at a time: shown as a choice, not as eight switches.
    auto* group = new QActionGroup(m_menuLanguage);
    group->setExclusive(true);
    for (int i = 0; i < 8; ++i) {
        const QString lang = QString::fromLatin1(languages[i]);
        m_menuLang[i] = addMenuAction(m_menuLanguage, QString::fromLatin1(names[i]),
                                      [this, lang] { chooseLanguage(lang); });
        // The language in use carries the check mark.
        m_menuLang[i]->setCheckable(true);
        m_menuLang[i]->setData(lang);
        group->addAction(m_menuLang[i]);
    }
    m_menuDatei->addSeparator();
    m_menuRecentForms = m_menuDatei->addMenu(QString());
    m_menuRecentForms->setObjectName(QStringLiteral("menuRecentForms"));
    m_menuRecentLayouts = m_menuDatei->addMenu(QString());
    m_menuRecentLayouts->setObjectName(QStringLiteral("menuRecentLayouts"));
    connect(m_menuDatei, &QMenu::aboutToShow, this, &MainWindow::showRecentFiles);
    m_menuDatei->addSeparator();
    m_menueBeenden = addMenuAction(m_menuDatei, QStringLiteral("Menue_Beenden"), [this] { Menue_Beenden(); });
}

void MainWindow::buildSettingsMenu() {
    m_menuEinstellungen = menuBar()->addMenu(QString());
    m_menuEinstellungen->setObjectName(QStringLiteral("Menue_Einstellungen"));
    m_menuAusgabedatei = addMenuAction(m_menuEinstellungen, QStringLiteral("menuAusgabedatei"), [this] {
        openWindow<QWidget>(m_outputSetup, [this] {
            auto* d = new gui::OutputFileDialog(m_state, m_state.header, this);
            connect(d, &gui::OutputFileDialog::headerVisibilityChanged, this,
                    &MainWindow::setHeaderFrameVisible);
            return d;
        });
    });
    m_menuEinstellungen->addSeparator();
    m_menuASCII = addMenuAction(m_menuEinstellungen, QStringLiteral("menuASCII"), [this] {
        openWindow<QWidget>(m_asciiSetup, [this] { return new gui::AsciiSetupDialog(m_state, this); });
    });
    m_menuEinstellungen->addSeparator();
    m_menuKopfdaten = addMenuAction(m_menuEinstellungen, QStringLiteral("menuKopfdaten"), [this] {
        openWindow<QWidget>(m_kopfdatenDialog, [this] {
            auto* d = new gui::HeaderDataDialog(m_state, m_state.header, this);
            connect(d, &gui::HeaderDataDialog::headerChanged, this, &MainWindow::refreshHeaderGrid);
            return d;
        });
    });
    m_menuEinstellungen->addSeparator();
    m_menuFormular = addMenuAction(m_menuEinstellungen, QStringLiteral("menuFormular"), [this] {
        openWindow<QWidget>(m_berichtDesign, [this] { return new gui::ReportLayoutDialog(m_state, this); });
    });
    m_menuEinstellungen->addSeparator();
    m_menueWindowPos = addMenuAction(m_menuEinstellungen, QStringLiteral("Menue_Window_Pos"), [this] {
        openWindow<QWidget>(m_fensterpos, [this] { return new gui::WindowPositionDialog(m_state, this); });
    });
    m_menuStayOnTop = addMenuAction(m_menuEinstellungen, QStringLiteral("menuStayOnTop"), [this] {
        const bool on = m_menuStayOnTop->isChecked();
        settings::writeStayOnTop(m_state.store, on, m_state.texts, m_state.message);
        gui::setStayOnTop(on);
    });
    m_menuStayOnTop->setCheckable(true);
}

void MainWindow::buildActionsMenu() {
    m_menuAktionen = menuBar()->addMenu(QString());
    m_menuAktionen->setObjectName(QStringLiteral("Menue_Aktionen"));
    // The toolbar's actions are also here, with shortcuts, for the keyboard and screen readers.
    const std::pair<int, QKeySequence> keys[] = {
        {2, QKeySequence(Qt::Key_F5)},           {1, QKeySequence(Qt::Key_F6)},
        {3, QKeySequence(Qt::Key_F7)},           {5, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {6, QKeySequence(Qt::CTRL | Qt::Key_R)}, {7, QKeySequence(Qt::CTRL | Qt::Key_S)}};
    for (const auto& [button, key] : keys) {
        m_button[button]->setShortcut(key);
        m_menuAktionen->addAction(m_button[button]);
    }
    m_menuPdf = addMenuAction(m_menuAktionen, QStringLiteral("Menue_PdfProtokoll"),
                              [this] { m_run.writePdfProtocol(); });
    m_menuPdf->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_menuQif = addMenuAction(m_menuAktionen, QStringLiteral("Menue_QifErgebnisse"),
                              [this] { m_run.writeQifResults(); });
    m_menuAktionen->addSeparator();
    m_menueVerlauf = addMenuAction(m_menuAktionen, QStringLiteral("Menue_Verlauf"), [this] {
        const QModelIndex current = m_list->currentIndex();
        openHistory(current.isValid() ? current.data().toString() : QString());
    });
    m_menueVerlauf->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_menueBatchFile = addMenuAction(m_menuAktionen, QStringLiteral("Menue_BatchFile"), [this] {
        openWindow<QWidget>(m_batchFile, [this] { return new BatchFileDialog(m_state, this); });
        hide();
    });
}

// The history of the characteristic under the mouse.
void MainWindow::buildListContextMenu() {
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = m_list->indexAt(at);
        if (!index.isValid())
            return;
        QMenu menu(this);
        menu.addAction(m_menueVerlauf->text(), this, [this, index] { openHistory(index.data().toString()); });
        menu.exec(m_list->viewport()->mapToGlobal(at));
    });
}

void MainWindow::buildHelpMenu() {
    m_menuHilfe = menuBar()->addMenu(QString());
    m_menuHilfe->setObjectName(QStringLiteral("Menue_Hilfe"));
    m_menueInfo = addMenuAction(m_menuHilfe, QStringLiteral("Menue_Info"), [this] {
        openWindow<QWidget>(m_about, [this] { return new AboutDialog(m_state, this); });
    });
}

void MainWindow::openHistory(const QString& characteristic) {
    // A new window each time: it opens on this program and characteristic.
    if (m_verlauf)
        m_verlauf->close();
    m_verlauf = gui::makeHistoryWindow(m_state, this, m_state.program.partName, characteristic);
    if (!m_verlauf)
        return;
    keepOnScreen(m_verlauf);
    m_verlauf->show();
    m_verlauf->raise();
    m_verlauf->activateWindow();
}

template <typename W> void MainWindow::openWindow(QPointer<W>& window, std::function<W*()> make) {
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
        keepOnScreen(window);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::Form_Load() {
    setWindowTitle(settings::provisionalCaption());
    const settings::StartupKeys keys = run::startUp(m_state);
    useQtTranslation(keys.language);
    m_frame4->setVisible(keys.header);
    refreshHeaderGrid();
    setWindowTitle(settings::finalCaption(m_state.texts, keys.lastUsedConfig));
    applyTexts();
    // Placed before it is first shown: the desktop then puts its frame, title bar and all, there.
    placeWindow(keys.topTwips, keys.leftTwips);
    show();
    gui::setStayOnTop(settings::readStayOnTop(m_state.store));
    gui::SetTopmost(this, true);
    // A run started by a batch file has nobody to click the note away; its log has it.

    m_run.dispatchStartOptions();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    setWindowTitle(settings::finalCaption(m_state.texts, settings::readLastUsedConfig(m_state.store)));
}

void MainWindow::placeWindow(double topTwips, double leftTwips) {
    // All rows of the value grid when the screen has room for them, else what fits.
    const int wholeGrid = 24 * 21 + 4 - m_werte->minimumHeight();
    const QSize wanted = minimumSizeHint() + QSize(0, wholeGrid);
    resize(std::max(width(), wanted.width()), wanted.height());
    keepOnScreen(this, QPoint(settings::twipsToPixels(leftTwips), settings::twipsToPixels(topTwips)));
}

void MainWindow::applyTexts() {
    m_menuDatei->setTitle(text(3));
    m_menuEinstellungen->setTitle(text(4));
    m_menuAktionen->setTitle(text(5));
    m_menuHilfe->setTitle(text(6));
    m_menuLanguage->setTitle(text(7));
    for (int i = 0; i < 7; ++i)
        m_menuLang[i]->setText(text(8 + i));
    // Older language files have no line for Hungarian: its own name then.
    const QString hungarian = text(76);
    m_menuLang[7]->setText(hungarian.isEmpty() ? QStringLiteral("Magyar") : hungarian);
    const QString inUse = settings::readLanguageKey(m_state.store).language;
    for (QAction* a : m_menuLang)
        a->setChecked(a->data().toString().compare(inUse, Qt::CaseInsensitive) == 0);
    m_menueBeenden->setText(text(15));
    m_menuAusgabedatei->setText(text(16));
    m_menuASCII->setText(text(17));
    m_menuKopfdaten->setText(text(18));
    m_menuFormular->setText(text(19));
    m_menueWindowPos->setText(text(20));
    m_menueBatchFile->setText(text(21));
    m_menuPdf->setText(m_state.text(protocol::protocolSection(), protocol::line::PdfMenu));
    m_menuQif->setText(m_state.text(protocol::protocolSection(), protocol::line::QifMenu));
    m_menueVerlauf->setText(m_state.text(QStringLiteral("History"), 2));
    m_menueInfo->setText(text(23));
    const int tipButtons[6] = {1, 2, 3, 5, 6, 7};
    for (int i = 0; i < 6; ++i) {
        m_button[tipButtons[i]]->setToolTip(text(24 + i));
        m_button[tipButtons[i]]->setText(text(24 + i));
    }
    m_frame3->setTitle(text(30));
    for (int i = 0; i < 4; ++i)
        m_label1[i]->setText(text(31 + i));
    // A language switch keeps the program that was read.
    if (m_state.program.fileName.isEmpty())
        m_lblProgrammname->setText(text(35));
    else
        showProgramData();
    m_frame4->setTitle(text(36));
    setCell(m_kopfdaten, 0, 0, QLatin1Char(' ') + text(37) + QLatin1Char(' '));
    setCell(m_kopfdaten, 0, 1, QLatin1Char(' ') + text(38) + QLatin1Char(' '));
    m_frameWerte->setTitle(text(39));
    for (int r = 1; r <= 18; ++r)
        setCell(m_werte, r, 0, QLatin1Char(' ') + text(39 + r));
    setCell(m_werte, 19, 0, QLatin1Char(' ') + m_state.text(QStringLiteral("frm_AsciiFileSetup"), 14));
    for (int r = 20; r <= 22; ++r)
        setCell(m_werte, r, 0, QLatin1Char(' ') + text(38 + r));
    setCell(m_werte, 23, 0, QStringLiteral(" Korvex Unique-ID"));
    setCell(m_werte, 0, 0, QLatin1Char(' ') + text(61));
    setCell(m_werte, 0, 1, QLatin1Char(' ') + text(62));
    m_werte->setColumnWidth(0, settings::twipsToPixels(1700));
    m_werte->setColumnWidth(1, settings::twipsToPixels(4850));
    // The stored widths assume the small fonts of the Windows program; a caption must still fit.
    m_werte->resizeColumnToContents(0);
    m_werte->setColumnWidth(0, std::max(m_werte->columnWidth(0) + 8, settings::twipsToPixels(1700)));
    m_werte->setMinimumWidth(m_werte->columnWidth(0) + settings::twipsToPixels(4850) +
                             2 * m_werte->frameWidth());
    m_frame2->setTitle(text(63));
    QPushButton* marks[6] = {m_markAll, m_markOK, m_markAT, m_markKritisch, m_markDelete, m_markMarked};
    for (int i = 0; i < 6; ++i) {
        marks[i]->setText(QString());
        marks[i]->setToolTip(text(64 + i));
        marks[i]->setAccessibleName(text(64 + i)); // a screen reader has no picture to read
    }
    m_frameKommentar->setTitle(text(70));
    m_frame5->setTitle(text(71));
    m_label2->setText(text(72));
    m_label3->setText(text(73));
    m_label4->setText(text(74));
    m_shape[1]->setAccessibleName(text(74));
    m_shape[2]->setAccessibleName(text(73));
    m_shape[3]->setAccessibleName(text(72));
    m_list->setAccessibleName(text(63));
    m_werte->setAccessibleName(text(39));
    m_kopfdaten->setAccessibleName(text(36));
    m_menuStayOnTop->setText(text(77));
    m_menuStayOnTop->setChecked(gui::stayOnTop());
    m_menuRecentForms->setTitle(text(78));
    m_menuRecentLayouts->setTitle(text(79));
    showRecentFiles();
    m_openFile->setText(m_state.text(kStatus, 20));
    m_openFolder->setText(m_state.text(kStatus, 21));
    m_notesButton->setAccessibleName(m_state.text(kStatus, 22));
    m_run.setStatus(m_state.text(kStatus, 12));
}

void MainWindow::showSelection() {
    // The view follows the state in two calls: clearing first keeps the selection model from
    // comparing every old range with every new one.
    m_syncingSelection = true;
    QItemSelectionModel* sm = m_list->selectionModel();
    sm->clearSelection();
    sm->select(m_listModel->ranges(m_state.selection), QItemSelectionModel::Select);
    m_syncingSelection = false;
}

void MainWindow::showStatus() {
    if (!m_panel1)
        return;
    m_panel1->setFullText(m_state.status);
    m_panel1->setNote(QString());
}

void MainWindow::showOutputButtons() {
    const bool any = !m_state.lastOutput.isEmpty();
    m_openFile->setVisible(any);
    m_openFolder->setVisible(any);
    const QFileInfo file(m_state.lastOutput);
    m_openFile->setToolTip(QDir::toNativeSeparators(file.absoluteFilePath()));
    m_openFolder->setToolTip(QDir::toNativeSeparators(file.absolutePath()));
    m_panel1->setNote(any ? QDir::toNativeSeparators(file.absoluteFilePath()) : QString());
}

void MainWindow::openOutput(const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (!openUrl(url))
        cannotOpen(url);
}

// A click that shows nothing would leave the user guessing.
void MainWindow::cannotOpen(const QUrl& url) {
    common::notify(m_state.message, common::MsgIcon::Warning,
                   m_state.text(kStatus, 25).arg(QDir::toNativeSeparators(url.toLocalFile())));
}

void MainWindow::showNotes() {
    common::Message m;
    m.icon = common::MsgIcon::Warning;
    m.caption = m_state.text(kStatus, 22);
    m.text = m_state.notes.join(common::crlf() + common::crlf());
    m_state.message(m);
}

void MainWindow::showProgress(int maximum, int value) {
    if (maximum < 0) {
        m_progress->setVisible(false);
        m_progress->setEnabled(false);
        m_progress->setValue(0);
        return;
    }
    m_progress->setEnabled(true);
    m_progress->setVisible(true);
    m_progress->setRange(0, std::max(maximum, 1));
    m_progress->setValue(value);
    // Updates come at most every 50 ms: keep the window painted, without taking user input.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::refreshHeaderGrid() {
    const int n = static_cast<int>(m_state.header.size());
    m_kopfdaten->setRowCount(n + 1);
    for (int i = 0; i < n; ++i) {
        setCell(m_kopfdaten, i + 1, 0, m_state.header[static_cast<std::size_t>(i)].name);
        setCell(m_kopfdaten, i + 1, 1, m_state.header[static_cast<std::size_t>(i)].value);
    }
    styleFixedCells(m_kopfdaten);
}

void MainWindow::setHeaderFrameVisible(bool visible) {
    m_frame4->setVisible(visible);
}

double MainWindow::topTwips() const {
    return settings::pixelsToTwips(y());
}
double MainWindow::leftTwips() const {
    return settings::pixelsToTwips(x());
}
void MainWindow::moveToTwips(double top, double left) {
    move(settings::twipsToPixels(left), settings::twipsToPixels(top));
}

common::Rgb MainWindow::gridColour() const {
    return m_gridColour;
}
common::Rgb MainWindow::lampColourOf(model::Lamp lamp) const {
    return m_shape[static_cast<int>(lamp) + 1]->colour();
}

void MainWindow::setGridColour(const common::Rgb& c) {
    m_gridColour = c;
    const QColor colour(c.red, c.green, c.blue);
    // The tolerance colours stay; their text is chosen to be read on them.
    const bool themed = c == common::Rgb{255, 255, 255};
    for (int r = 1; r < 24; ++r) {
        QTableWidgetItem* it = cell(m_werte, r, 1);
        it->setBackground(themed ? m_werte->palette().brush(QPalette::Base) : QBrush(colour));
        it->setForeground(themed ? m_werte->palette().brush(QPalette::Text) : QBrush(textOn(colour)));
    }
}

void MainWindow::clearValueColumn() {
    for (int r = 1; r <= 21; ++r)
        setCell(m_werte, r, 1, QString());
}

void MainWindow::clearCountsAndLamps() {
    for (int i = 1; i <= 3; ++i)
        m_shape[i]->setColour(lampColour(static_cast<model::Lamp>(i - 1), false));
    m_lblAnzOK->clear();
    m_lblAnzKritisch->clear();
    m_lblAnzOOT->clear();
}

void MainWindow::showClassification() {
    clearCountsAndLamps();
    if (!m_state.classification)
        return;
    const model::ClassificationResult& r = *m_state.classification;
    m_lblAnzKritisch->setText(QString::number(r.AnzKritisch));
    m_lblAnzOK->setText(QString::number(r.AnzOK));
    m_lblAnzOOT->setText(QString::number(r.AnzOOT));
    m_shape[static_cast<int>(r.litLamp) + 1]->setColour(lampColour(r.litLamp, true));
}

void MainWindow::showProgramData() {
    m_lblProgrammname->setText(m_state.program.fileName);
    m_lblProgName->setText(m_state.program.partName);
    m_lblIndex->setText(m_state.program.revision);
    m_lblZgNr->setText(m_state.program.drawingNumber);
}

void MainWindow::ReadValuesOffline() {
    m_run.ReadValuesOffline();
}

void MainWindow::showRow(const model::MerkmalRow& row, const QString& entryText) {
    const GridValues g = gridValues(row, entryText);
    for (int r = 2; r <= 23; ++r)
        setCell(m_werte, r, 1, g[static_cast<std::size_t>(r)]);
}

void MainWindow::WerteInListeEintragen() {
    m_listModel->reload();
    m_shownEntry = -1;
    clearValueColumn();
    const model::MerkmalRow empty;
    const model::MerkmalRow& first = m_state.table.AnzMerkmale >= 1 ? m_state.table.row(1) : empty;
    showRow(first, QString());
    setGridColour(gui::gridColour(first, GridColourRule::AfterFill));
    m_comment->clear();
    m_comment->addItems(model::commentLines(m_state.comments.block(first.KommentarIndex)));

    // The first entry becomes the list's current one without counting as a click: a click
    // colours a critical row yellow, the grid after a fill never is.
    if (!m_state.entries.isEmpty()) {
        m_fillingList = true;
        m_list->selectionModel()->setCurrentIndex(m_listModel->index(0, 0), QItemSelectionModel::NoUpdate);
        if (!run::isOfflineMode(m_state.StartArgs[1]))
            m_list->setFocus();
        m_fillingList = false;
    }
    setCell(m_werte, 1, 1, m_state.entries.isEmpty() ? QString() : m_state.entries.first());
}

void MainWindow::lst_MM_ID_Click(int entry) {
    const int r = entry + 1;
    if (entry < 0 || entry >= listCount() || r > m_state.table.AnzMerkmale)
        return;
    m_shownEntry = entry;
    const model::MerkmalRow& row = m_state.table.row(r);
    const QString& text = m_state.entries.at(entry);
    clearValueColumn();
    setCell(m_werte, 1, 1, text);
    showRow(row, text);
    setGridColour(gui::gridColour(row, GridColourRule::AfterClick));
    m_comment->clear();
    m_comment->addItems(model::commentLines(m_state.comments.block(row.KommentarIndex)));
}

void MainWindow::FlexGridMerkmalswerte_DblClick() {
    m_run.presentEntry(m_shownEntry);
}

bool MainWindow::askClearFirst() {
    common::Message m;
    m.icon = common::MsgIcon::Question;
    m.caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    m.text = m_state.text(kBox, 8);
    m.buttons = common::MsgButtons::YesNo;
    m.defaultButton = common::MsgResult::Yes;
    return m_state.message(m) == common::MsgResult::Yes;
}

void MainWindow::markButton(void (*rule)(const model::MerkmalTable&, model::Selection&,
                                         const model::AskClearFn&)) {
    m_run.changeSelection(
        [this, rule](model::Selection& s) { rule(m_state.table, s, [this] { return askClearFirst(); }); });
}

void MainWindow::setOnlineButton(bool pressed) {
    m_button[1]->setChecked(pressed);
    m_button[1]->setIcon(
        QIcon(pressed ? QStringLiteral(":/icons/online_active.svg") : QStringLiteral(":/icons/online.svg")));
}

void MainWindow::ToggleOnlineReception() {
    m_run.ToggleOnlineReception();
    if (!m_state.online)
        setOnlineButton(false); // a failed start leaves the button up
}

bool MainWindow::anythingToFill() {
    // Said before a form is asked for, not after.
    return excel::reportHasRows(m_state.entries, m_state.selection, m_state.texts, m_state.message);
}

void MainWindow::fillForm(const QString& file, bool saveAsCopy) {
    if (!anythingToFill())
        return;
    m_state.SaveAsChosen = saveAsCopy;
    QString path = file; // a copy's new name comes back here
    settings::writeLastUsedFolder(m_state.store, QFileInfo(file).absolutePath() + QLatin1Char('/'),
                                  m_state.texts, m_state.message);
    if (m_run.fillExcelReport(path, false))
        settings::rememberRecentFile(m_state.store, settings::RecentKind::Form, file);
    else
        show(); // the abort ending makes the main window visible
}

void MainWindow::openLayout(const QString& file) {
    openWindow<QWidget>(m_berichtDesign, [this] { return new gui::ReportLayoutDialog(m_state, this); });
    if (auto* d = qobject_cast<gui::ReportLayoutDialog*>(m_berichtDesign.data()))
        d->cmdLoad_Click(file);
}

void MainWindow::showRecentFiles() {
    const std::pair<QMenu*, settings::RecentKind> menus[] = {{m_menuRecentForms, settings::RecentKind::Form},
                                                             {m_menuRecentLayouts, settings::RecentKind::Layout}};
    for (const auto& [menu, kind] : menus) {
        menu->clear();
        const QStringList files = settings::readRecentFiles(m_state.store, kind);
        menu->setEnabled(!files.isEmpty());
        for (const QString& f : files) {
            QAction* a = menu->addAction(QFileInfo(f).fileName());
            a->setToolTip(QDir::toNativeSeparators(f));
            a->setStatusTip(QDir::toNativeSeparators(f));
            const bool form = kind == settings::RecentKind::Form;
            connect(a, &QAction::triggered, this, [this, f, form] { form ? fillForm(f) : openLayout(f); });
        }
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return;
    const QString suffix = QFileInfo(urls.first().toLocalFile()).suffix().toLower();
    if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm") || suffix == QLatin1String("cfg"))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString file = event->mimeData()->urls().value(0).toLocalFile();
    event->acceptProposedAction();
    // After the drop has ended: a dialog must not run inside the drag's event.
    QTimer::singleShot(0, this, [this, file] {
        if (QFileInfo(file).suffix().compare(QLatin1String("cfg"), Qt::CaseInsensitive) == 0)
            openLayout(file);
        else
            fillForm(file);
    });
}

void MainWindow::ExcelBerichtAusfuellen() {
    if (!anythingToFill())
        return;
    // The form dialog, with the choice to keep the form as it is and save the filled copy under
    // a new name.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog dialog(this, QString(), settings::readLastUsedFolder(m_state.store, documents), text(80));
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* readOnly = new QCheckBox(text(75), &dialog);
    readOnly->setObjectName(QStringLiteral("chkReadOnly"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(readOnly, grid->rowCount(), 0, 1, grid->columnCount());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString file = dialog.selectedFiles().first();
    if (!file.isEmpty())
        fillForm(file, readOnly->isChecked());
}

void MainWindow::ASCII() {
    if (settings::folderChosenBeforeEachExport(m_state.store)) {
        openWindow<QWidget>(m_selectFolder, [this] {
            auto* d = new gui::SelectFolderDialog(m_state, this);
            connect(d, &gui::SelectFolderDialog::folderChosen, this, [this] { m_run.subWerteAusgeben(); });
            return d;
        });
        return;
    }
    m_run.subWerteAusgeben();
}

void MainWindow::chooseLanguage(const QString& language) {
    settings::LoadLanguage(m_state.texts, language, common::programDir(), m_state.message);
    settings::writeLanguage(m_state.store, language, m_state.texts, m_state.message);
    Form_Load();
}

void MainWindow::Menue_Beenden() {
    m_run.release();
    m_unloading = true;
    QCoreApplication::exit(0);
}

void MainWindow::Form_Unload() {
    m_run.release();
    for (QPointer<QWidget>* w :
         {&m_about, &m_asciiSetup, &m_outputSetup, &m_fensterpos, &m_selectFolder, &m_kopfdatenDialog,
          &m_batchFile, &m_online, &m_berichtDesign, &m_savePartProgram, &m_verlauf})
        if (*w)
            (*w)->close();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_unloading) {
        m_unloading = true;
        Form_Unload();
    }
    event->accept();
    QCoreApplication::quit();
}

} // namespace gui
