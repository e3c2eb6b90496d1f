#include "common/FileBytes.h"
#include "common/GuiEnv.h"
#include "common/SimPrograms.h"
#include "excel/WorkbookReader.h"
#include "gui/AsciiSetupDialog.h"
#include "gui/BatchFileDialog.h"
#include "gui/ExcelOnlineWindow.h"
#include "gui/GaugeStudyDialog.h"
#include "gui/HeaderDataDialog.h"
#include "gui/HistoryWindow.h"
#include "gui/LampWidget.h"
#include "gui/OutputFileDialog.h"
#include "gui/ReportLayoutDialog.h"
#include "gui/SavePartProgramDialog.h"
#include "gui/ValueGrid.h"
#include "gui/WindowPositionDialog.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <cmath>

using namespace gui;

namespace {

const QString kWelle = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Welle.PRG");

template <typename T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QString gridText(QWidget& w, int row, int col = 1) {
    auto* t = child<QTableWidget>(w, "FlexGridMerkmalswerte");
    return t->item(row, col) ? t->item(row, col)->text() : QString();
}

// With DOZIDUVOV_SCREENSHOT_DIR set, the window tests leave pictures of the main window there.
void screenshot(QWidget& w, const char* name) {
    const QString dir = qEnvironmentVariable("DOZIDUVOV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    if (qobject_cast<QMainWindow*>(&w))
        w.resize(1280, 800);
    else
        w.adjustSize();
    QCoreApplication::processEvents();
    w.grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png"));
}

void click(QWidget& w, const char* button) {
    child<QPushButton>(w, button)->click();
}

QListView* listOf(MainWindow& w) {
    return child<QListView>(w, "lst_MM_ID");
}

QString entryText(MainWindow& w, int entry) {
    return listOf(w)->model()->index(entry, 0).data().toString();
}

void selectRow(MainWindow& w, int entry) {
    auto* list = listOf(w);
    list->selectionModel()->setCurrentIndex(list->model()->index(entry, 0), QItemSelectionModel::NoUpdate);
}

// As a click in the list does: the entry joins the selection.
void clickToSelect(MainWindow& w, int entry) {
    auto* list = listOf(w);
    list->selectionModel()->select(list->model()->index(entry, 0), QItemSelectionModel::Select);
}

int entryOf(MainWindow& w, const QString& text) {
    for (int i = 0; i < listOf(w)->model()->rowCount(); ++i)
        if (entryText(w, i) == text)
            return i;
    ADD_FAILURE() << "no entry " << text.toStdString();
    return 0;
}

// The example form and its layout in `out`, with the header data the layout names, and the host
// serving Welle; nothing when any of it failed.
std::pair<QString, QString> exampleForm(GuiEnv& env, const QTemporaryDir& out) {
    settings::writeTextLines(env.programDir() + QStringLiteral("/HeaderData.cfg"),
                             {QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer")}, settings::systemCodePage());
    const QString form = out.filePath(QStringLiteral("Pruefbericht.xlsx"));
    const QString layout = out.filePath(QStringLiteral("Pruefbericht.cfg"));
    const QString examples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/");
    if (!QFile::copy(examples + QStringLiteral("Pruefbericht.xlsx"), form) ||
        !QFile::copy(examples + QStringLiteral("Pruefbericht.cfg"), layout))
        return {};
    QFile(form).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (!env.sim.start({kWelle}))
        return {};
    return {form, layout};
}

} // namespace

TEST(MainWindow, StartupOnAnEmptyStore) {
    GuiEnv env;
    MainWindow& w = env.open();
    // The first start creates the documents folder of a home that has none yet.
    const QByteArray documents = (env.home() + QStringLiteral("/Documents/")).toUtf8();
    EXPECT_TRUE(QFileInfo(QString::fromUtf8(documents)).isDir());
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"Settings/LanguageSettings/Language", "German"},
             {"Settings/ProgSettings/TOP", "1"},
             {"Settings/ProgSettings/LEFT", "1"},
             {"Settings/FileSettings/PartProgFolder", "0"},
             {"Settings/ProgSettings/HEADER", "1"},
             {"Settings/ExcelReportSettings/LastUsedConfig", ""},
             {"Settings/FileSettings/DIR", documents.constData()},
             {"Settings/ASCIISettings/CSV", "-1"},
             {"Settings/ASCIISettings/TXT", "0"},
             {"Settings/ASCIISettings/ASCII", ";"}})
        EXPECT_EQ(env.settings.rawValue(QSettings::SystemScope, QString::fromLatin1(key)).toString(),
                  QString::fromLatin1(value))
            << key;
    EXPECT_EQ(env.settings.rawValue(QSettings::UserScope, QStringLiteral("Settings/CurrentUser")).toString(),
              QStringLiteral("False"));
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("   ---   ")));
    EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("Korvex - Zirirezu Doziduvov  Version ")));
    EXPECT_EQ(w.statusText(), QStringLiteral("Bereit."));
    EXPECT_TRUE(child<QGroupBox>(w, "Frame4")->isVisibleTo(&w));
    EXPECT_EQ(child<QTableWidget>(w, "FlexGridKopfdaten")->rowCount(), 1);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(gridText(w, 23, 0), QStringLiteral(" Korvex Unique-ID"));
    EXPECT_EQ(gridText(w, 19, 0), QStringLiteral(" Einheit"));
    EXPECT_EQ(child<QPushButton>(w, "cmdMarkAll")->text(), QString());
    EXPECT_EQ(child<QPushButton>(w, "cmdMarkAll")->toolTip(), QStringLiteral("Alle Merkmale markieren"));
    for (const char* name : {"Toolbar1_1", "Toolbar1_2", "Toolbar1_3", "Toolbar1_5", "Toolbar1_6",
                             "Toolbar1_7", "Menue_Beenden", "menuUngarisch", "Menue_Info", "Menue_BatchFile"})
        EXPECT_NE(w.findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;

    // Qt's own buttons and dialogs speak the program's language too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));

    // Each language entry says its language and loads it.
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("menuSpanish"))->text(), QStringLiteral("Spanisch"));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("menuPortuguese"))->text(),
              QStringLiteral("Portugiesisch"));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("menuUngarisch"))->text(), QStringLiteral("Ungarisch"));
    for (const char* language : {"Spanish", "Portuguese"}) {
        env.trigger(QStringLiteral("menu") + QString::fromLatin1(language));
        EXPECT_EQ(env.settings.rawValue(QSettings::SystemScope,
                                        QStringLiteral("Settings/LanguageSettings/Language")),
                  QString::fromLatin1(language));
        // The check mark moves with it, on one entry only.
        for (QAction* a : w.findChild<QMenu*>(QStringLiteral("menuLanguage"))->actions())
            EXPECT_EQ(a->isChecked(), a->objectName() == QStringLiteral("menu") + QString::fromLatin1(language))
                << a->objectName().toStdString();
    }

    // A stored position that is no number counts as 1 twip; a language change runs the whole
    // start-up again with the new texts.
    env.state.store.Write(QStringLiteral("ProgSettings"), QStringLiteral("TOP"), QStringLiteral("oben"));
    w.move(300, 200);
    env.trigger(QStringLiteral("menuEnglish"));
    EXPECT_EQ(w.statusText(), QStringLiteral("Ready."));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
    EXPECT_EQ(w.y(), 0);
    EXPECT_EQ(
        env.settings.rawValue(QSettings::SystemScope, QStringLiteral("Settings/LanguageSettings/Language")),
        QStringLiteral("English"));
}

TEST(MainWindow, OfflineReadShowsEveryRowCountsAndOneLamp) {
    GuiEnv env;
    settings::writeTextLines(env.programDir() + QStringLiteral("/HeaderData.cfg"),
                             {QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer"), QStringLiteral("Los")},
                             settings::systemCodePage());
    ASSERT_TRUE(env.sim.start({kWelle}));
    MainWindow& w = env.open();
    screenshot(w, "startup");
    env.trigger(QStringLiteral("Toolbar1_2"));
    screenshot(w, "offline-read");

    ASSERT_EQ(listOf(w)->model()->rowCount(), env.state.table.AnzMerkmale);
    EXPECT_EQ(listOf(w)->model()->rowCount(), 21);
    EXPECT_EQ(entryText(w, 0), QStringLiteral("LOC1.X"));
    EXPECT_EQ(entryText(w, 2), QStringLiteral("LOC1.D"));
    EXPECT_EQ(child<QLabel>(w, "lbl_Programmname")->text(), kWelle);
    EXPECT_EQ(child<QLabel>(w, "lblZgNr")->text(), QStringLiteral("Z-77"));
    EXPECT_EQ(child<QLabel>(w, "lblAnzOOT")->text(), QString::number(env.state.table.AnzOOT));
    EXPECT_EQ(child<QLabel>(w, "lblAnzKritisch")->text(), QString::number(env.state.table.AnzKritisch));
    EXPECT_TRUE(w.statusText().startsWith(QStringLiteral("21 "))) << w.statusText().toStdString();
    // The value grid never scrolls its names away, even in a small window.
    w.resize(600, 400);
    auto* values = child<QTableWidget>(w, "FlexGridMerkmalswerte");
    values->setCurrentCell(22, 1);
    values->scrollToItem(values->item(22, 1));
    EXPECT_EQ(values->horizontalScrollBar()->value(), 0);
    EXPECT_FALSE(values->tabKeyNavigation());
    EXPECT_EQ(child<QLabel>(w, "lblAnzOK")->text(), QString::number(env.state.table.AnzOK));
    EXPECT_GT(env.state.table.AnzOOT, 0);
    EXPECT_EQ(w.lampColourOf(model::Lamp::Shape3), (common::Rgb{255, 0, 0}));
    EXPECT_EQ(w.lampColourOf(model::Lamp::Shape2), (common::Rgb{64, 64, 0}));
    EXPECT_EQ(w.lampColourOf(model::Lamp::Shape1), (common::Rgb{0, 64, 0}));
    // Row 1 is shown, never yellow right after a fill.
    EXPECT_EQ(gridText(w, 1), QStringLiteral("LOC1.X"));
    EXPECT_EQ(gridText(w, 23), QStringLiteral("100007|4711"));
    EXPECT_EQ(w.gridColour(), (common::Rgb{0, 255, 0}));
    auto* header = child<QTableWidget>(w, "FlexGridKopfdaten");
    ASSERT_EQ(header->rowCount(), 4);
    EXPECT_EQ(header->item(1, 0)->text(), QStringLiteral(" Auftrag"));
    EXPECT_EQ(header->item(1, 1)->text(), QStringLiteral("4711"));
    EXPECT_EQ(header->item(2, 1)->text(), QStringLiteral("M. Keller"));
    EXPECT_EQ(header->item(3, 1)->text(), QString());

    // Clicks: red out of tolerance, yellow critical, green otherwise; the Bonus with a field text.
    clickToSelect(w, entryOf(w, QStringLiteral("DIST1.M")));
    clickToSelect(w, entryOf(w, QStringLiteral("FL1.M")));
    EXPECT_TRUE(w.selection()[static_cast<std::size_t>(entryOf(w, QStringLiteral("FL1.M")))]);
    selectRow(w, entryOf(w, QStringLiteral("LOC2.Y")));
    EXPECT_EQ(w.gridColour(), (common::Rgb{255, 0, 0}));
    screenshot(w, "out-of-tolerance-row");
    selectRow(w, entryOf(w, QStringLiteral("LOC1.Y")));
    EXPECT_EQ(w.gridColour(), (common::Rgb{255, 255, 0}));
    EXPECT_EQ(gridText(w, 1), QStringLiteral("LOC1.Y"));
    EXPECT_EQ(gridText(w, 6), QStringLiteral("-0,04712"));
    selectRow(w, entryOf(w, QStringLiteral("TP1.TP")));
    EXPECT_EQ(gridText(w, 9), QStringLiteral("MMC"));
    EXPECT_EQ(gridText(w, 10), QStringLiteral("0,0122"));
    EXPECT_EQ(gridText(w, 21), QStringLiteral("Wahr"));
    selectRow(w, entryOf(w, QStringLiteral("TP1.X")));
    EXPECT_EQ(gridText(w, 10), QString());
    selectRow(w, entryOf(w, QStringLiteral("LOC2.X")));
    EXPECT_EQ(child<QListWidget>(w, "vlstComment")->count(), 3);
    EXPECT_EQ(child<QListWidget>(w, "vlstComment")->item(0)->text(), QStringLiteral("<< Lagersitz rechts"));

    // A double-click presents the group start of an axis.
    selectRow(w, entryOf(w, QStringLiteral("LOC2.Y")));
    w.FlexGridMerkmalswerte_DblClick();
    EXPECT_TRUE(env.sim.waitForLog(QStringLiteral("present LOC2")));
}

TEST(MainWindow, MarkButtonsAskOnlyWhenSomethingIsSelected) {
    GuiEnv env;
    ASSERT_TRUE(env.sim.start({kWelle}));
    MainWindow& w = env.open();
    env.trigger(QStringLiteral("Toolbar1_2"));
    const int n = w.listCount();
    auto count = [&] {
        int c = 0;
        for (bool b : w.selection())
            c += b;
        return c;
    };
    int oot = 0;
    int crit = 0;
    for (int i = 1; i <= n; ++i) {
        oot += env.state.table.row(i).ATol > 0;
        crit += env.state.table.row(i).Kritisch;
    }
    env.shown.clear();
    click(w, "cmdMarkAT");
    EXPECT_TRUE(env.shown.isEmpty());
    EXPECT_EQ(count(), oot);
    env.answers = {common::MsgResult::No};
    click(w, "cmdMarkKritisch");
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_EQ(env.shown[0].buttons, common::MsgButtons::YesNo);
    EXPECT_EQ(count(), oot + crit);
    env.answers = {common::MsgResult::Yes};
    click(w, "cmdMarkKritisch");
    EXPECT_EQ(count(), crit);
    click(w, "cmdMarkAll");
    EXPECT_EQ(count(), n);
    click(w, "cmdMarkDelete");
    EXPECT_EQ(count(), 0);
}

TEST(MainWindow, OnlineReceptionFillsTheSameRowsOrEndsAtEek) {
    for (bool eek : {false, true}) {
        GuiEnv env;
        QString program = kWelle;
        if (eek) {
            sim::SimProgram p = sim::loadProgram(kWelle);
            QJsonObject doc = p.document;
            QJsonArray cmds = doc.value("commands").toArray();
            cmds.insert(11, QJsonObject{{"type", 196},
                                        {"id", "STOP"},
                                        {"comment", QJsonObject{{"commentType", 3}, {"text", "EEK"}}}});
            doc.insert("commands", cmds);
            program = env.sim.dir() + QStringLiteral("/Eek.PRG");
            QFile f(program);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QJsonDocument(doc).toJson());
        }
        ASSERT_TRUE(env.sim.start({QStringLiteral("--execute-on-subscribe"), program}));
        MainWindow& w = env.open();
        env.trigger(QStringLiteral("Toolbar1_1"));
        EXPECT_TRUE(w.onlineReceptionOn());
        ASSERT_TRUE(spinUntil([&] { return w.statusText() == QStringLiteral("Online Empfang beendet."); }));
        EXPECT_FALSE(w.findChild<QAction*>(QStringLiteral("Toolbar1_1"))->isChecked());
        // The EEK comment follows LOC1: its three axes only, one of them critical.
        EXPECT_EQ(w.listCount(), eek ? 3 : 21);
        EXPECT_EQ(w.lampColourOf(eek ? model::Lamp::Shape2 : model::Lamp::Shape3),
                  gui::lampColour(eek ? model::Lamp::Shape2 : model::Lamp::Shape3, true));
        EXPECT_TRUE(env.sim.waitForLog(QStringLiteral("unsubscribe")));
    }
}

TEST(MainWindow, WindowPositionCancelMovesBack) {
    GuiEnv env;
    MainWindow& w = env.open();
    w.moveToTwips(1500, 3000);
    env.state.store.Write(QStringLiteral("ProgSettings"), QStringLiteral("TOP"), QStringLiteral("1500"));
    env.state.store.Write(QStringLiteral("ProgSettings"), QStringLiteral("LEFT"), QStringLiteral("3000"));
    auto* dlg = new gui::WindowPositionDialog(env.state, &w);
    EXPECT_EQ(child<QLineEdit>(*dlg, "txt_POS_TOP_ALT")->text(), QStringLiteral("1500"));
    w.moveToTwips(4500, 6000);
    dlg->cmd_POS_LESEN_Click();
    EXPECT_EQ(child<QLineEdit>(*dlg, "txt_POS_TOP")->text(), QStringLiteral("4500"));
    child<QLineEdit>(*dlg, "txt_POS_LEFT")->setText(QStringLiteral("links"));
    dlg->cmd_POS_SAVE_Click();
    // Stored as typed, and the window back where it was when the dialog opened.
    EXPECT_EQ(env.state.store.Read(QStringLiteral("ProgSettings"), QStringLiteral("LEFT"), {}),
              QStringLiteral("links"));
    EXPECT_EQ(w.topTwips(), 1500);
    EXPECT_EQ(w.leftTwips(), 3000);
    delete dlg;

    env.settings.makeSystemScopeReadOnly(); // nothing stored: the present position and a message
    env.shown.clear();
    gui::WindowPositionDialog missing(env.state, &w);
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_EQ(child<QLineEdit>(missing, "txt_POS_TOP_ALT")->text(), QStringLiteral("1500"));
}

TEST(MainWindow, HeaderDataDialogOkAndImport) {
    GuiEnv env;
    MainWindow& w = env.open();
    env.state.header = {{QStringLiteral(" Alt"), QStringLiteral("wert1")}};
    // Opened from the menu, as the grid follows what the dialog stores.
    env.trigger(QStringLiteral("menuKopfdaten"));
    auto* opened = w.findChild<gui::HeaderDataDialog*>();
    ASSERT_NE(opened, nullptr);
    gui::HeaderDataDialog& dlg = *opened;
    auto* edit = child<QLineEdit>(dlg, "txtNewVariable");
    for (const QString& typed :
         {QStringLiteral("  Auftrag  "), QStringLiteral("   "), QString::fromUtf8("Prüfer")}) {
        edit->setText(typed);
        dlg.cmdAddInList_Click();
    }
    EXPECT_EQ(dlg.names(), QStringList({QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer")}));
    // Enter in the name box adds the name once (no picture button takes the key as well).
    edit->setText(QStringLiteral("Maschine"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dlg.names().count(QStringLiteral("Maschine")), 1);
    EXPECT_TRUE(edit->text().isEmpty()); // the next name is not appended to this one
    QTest::keyClicks(edit, QStringLiteral("Pr"));
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(dlg.names().last(), QStringLiteral("Pr"));
    child<QListWidget>(dlg, "lstVariables")->setCurrentRow(3);
    dlg.cmdRemoveFromList_Click();
    child<QListWidget>(dlg, "lstVariables")->setCurrentRow(2);
    dlg.cmdRemoveFromList_Click();
    dlg.cmdOK_Click();
    const QString file = env.programDir() + QStringLiteral("/HeaderData.cfg");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Auftrag\r\nPr\xfc"
                                      "fer\r\n"));
    auto* grid = child<QTableWidget>(w, "FlexGridKopfdaten");
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral(" Auftrag"));
    EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("wert1")); // values stay in their rows

    gui::HeaderDataDialog again(env.state, env.state.header, &w);
    again.cmdClearList_Click();
    QFile::remove(file);
    again.cmdImport_Click(); // no file: the list stays as it is
    EXPECT_TRUE(again.names().isEmpty());
}

TEST(MainWindow, SavePartProgramCopyName) {
    GuiEnv env;
    const QString copy = env.sim.dir() + QStringLiteral("/Welle.PRG");
    ASSERT_TRUE(QFile::copy(kWelle, copy));
    ASSERT_TRUE(env.sim.start({copy}));
    MainWindow& w = env.open();

    {
        gui::SavePartProgramDialog none(env.state, env.state.link, &w); // nothing connected yet
        EXPECT_FALSE(child<QPushButton>(none, "cmdOK")->isEnabled());
    }
    env.trigger(QStringLiteral("Toolbar1_2"));
    gui::SavePartProgramDialog dlg(env.state, env.state.link, &w);
    const QString base = env.sim.dir() + QStringLiteral("/Welle");
    EXPECT_EQ(child<QLabel>(dlg, "lblProgramName")->text(), base);
    child<QLineEdit>(dlg, "txtPartNumber")->setText(QStringLiteral("47/11"));
    env.shown.clear();
    dlg.cmdOK_Click();
    ASSERT_EQ(env.shown.size(), 1); // refused, nothing saved
    child<QLineEdit>(dlg, "txtPartNumber")->setText(QStringLiteral("4711"));
    dlg.cmdOK_Click();
    EXPECT_TRUE(env.sim.waitForLog(QStringLiteral("save ") + copy));
    const QString expected = base + QStringLiteral("__") + child<QLabel>(dlg, "lblDate")->text() +
                             QStringLiteral("__") + child<QLabel>(dlg, "lblTime")->text() +
                             QStringLiteral("__4711.sav");
    EXPECT_TRUE(QFile::exists(expected)) << expected.toStdString();
    ASSERT_EQ(env.shown.size(), 2); // and where the copy went
    EXPECT_TRUE(env.shown[1].text.contains(expected));
}

TEST(MainWindow, AsciiAndOutputSettingsDialogsStoreWhatTheyShow) {
    GuiEnv env;
    MainWindow& w = env.open();
    {
        gui::AsciiSetupDialog dlg(env.state, &w);
        EXPECT_EQ(child<QLabel>(dlg, "Label1_21")->text(),
                  QStringLiteral("22")); // fresh: all in column order
        child<QPushButton>(dlg, "cmd_AUS")->click();
        child<QCheckBox>(dlg, "Check1_5")->setChecked(true);
        child<QCheckBox>(dlg, "Check1_0")->setChecked(true);
        EXPECT_EQ(child<QLabel>(dlg, "Label1_0")->text(), QStringLiteral("2"));
        child<QLineEdit>(dlg, "txt_ASCII")->setText(QStringLiteral(";"));
        child<QRadioButton>(dlg, "optTXT")->setChecked(true);
        auto* preset = child<QComboBox>(dlg, "cboCsvPreset");
        EXPECT_EQ(preset->currentIndex(), 0); // today's file
        preset->setCurrentIndex(2);           // German Excel fixes the separator
        EXPECT_FALSE(child<QLineEdit>(dlg, "txt_ASCII")->isEnabled());
        dlg.cmdExport_Click();
        dlg.OKButton_Click();
    }
    const QString a = QStringLiteral("ASCIISettings");
    EXPECT_EQ(env.state.store.Read(a, QStringLiteral("Label1_5"), {}), QStringLiteral("1"));
    EXPECT_EQ(env.state.store.Read(a, QStringLiteral("Label1_1"), {}), QString());
    EXPECT_EQ(env.state.store.Read(a, QStringLiteral("ASCII"), {}), QStringLiteral(";"));
    EXPECT_EQ(env.state.store.Read(a, QStringLiteral("CSV"), {}), QStringLiteral("0"));
    EXPECT_EQ(env.state.store.Read(QStringLiteral("FileSettings"), QStringLiteral("CsvPreset"), {}),
              QStringLiteral("german-excel"));
    QFile exported(env.programDir() + QStringLiteral("/ASCII_Settings.cfg"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count("\r\n"), 47);

    {
        gui::OutputFileDialog dlg(env.state, env.state.header, &w);
        // First opening: default folder mode, naming 0/1/1/1/1, "__", multi-line on, 90 %.
        EXPECT_TRUE(child<QRadioButton>(dlg, "optUseDefaultFolder")->isChecked());
        EXPECT_EQ(child<QComboBox>(dlg, "comboSeperator")->currentText(), QStringLiteral("__"));
        EXPECT_EQ(child<QComboBox>(dlg, "comboFileName2")->currentText(),
                  QString::fromUtf8("Änderungsstand"));
        EXPECT_TRUE(child<QCheckBox>(dlg, "chkMultiLine")->isChecked());
        EXPECT_EQ(child<QLineEdit>(dlg, "txtTolProzent")->text(), QStringLiteral("90"));
        child<QRadioButton>(dlg, "optUsePartProgramFolder")->setChecked(true);
        EXPECT_FALSE(child<QWidget>(dlg, "Dir_Zirirezu")->isEnabled());
        child<QCheckBox>(dlg, "chkCurrentUser")->setChecked(true);
        child<QLineEdit>(dlg, "txtTolProzent")->setText(QStringLiteral("80"));
        dlg.OKButton_Click();
    }
    // Ticking the current-user box moves this save and every later write to the user's store.
    EXPECT_TRUE(env.state.store.usesCurrentUser());
    EXPECT_EQ(env.settings.rawValue(QSettings::UserScope, QStringLiteral("Settings/CurrentUser")).toString(),
              QStringLiteral("TRUE"));
    EXPECT_EQ(env.settings.rawValue(QSettings::UserScope, QStringLiteral("Settings/ProgSettings/TolProzent"))
                  .toString(),
              QStringLiteral("80"));
    EXPECT_EQ(
        env.settings.rawValue(QSettings::UserScope, QStringLiteral("Settings/FileSettings/PartProgFolder"))
            .toString(),
        QStringLiteral("-1"));
}

TEST(MainWindow, OutputDialogSwitchesTheProtocolsAndMapsHeaderDataToAqdefFields) {
    GuiEnv env;
    settings::writeTextLines(env.programDir() + QStringLiteral("/HeaderData.cfg"),
                             {QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer")},
                             settings::systemCodePage());
    MainWindow& w = env.open();
    const QString files = QStringLiteral("FileSettings");
    {
        gui::OutputFileDialog dlg(env.state, env.state.header, &w);
        screenshot(dlg, "output-file-setup");
        // Both off by default, no header data mapped; the lists offer the header data names.
        EXPECT_FALSE(child<QCheckBox>(dlg, "chkAQDEF")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(dlg, "chkPDF")->isChecked());
        auto* k6 = child<QComboBox>(dlg, "comboAQDEF_K0006");
        auto* k8 = child<QComboBox>(dlg, "comboAQDEF_K0008");
        EXPECT_EQ(k6->currentText(), QStringLiteral("(keine)"));
        ASSERT_EQ(k8->count(), 3);
        child<QCheckBox>(dlg, "chkAQDEF")->setChecked(true);
        k6->setCurrentIndex(k6->findText(QStringLiteral("Auftrag")));
        k8->setCurrentIndex(k8->findText(QString::fromUtf8("Prüfer")));
        dlg.OKButton_Click();
    }
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("AQDEF"), {}), QStringLiteral("1"));
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("PDF"), {}), QStringLiteral("0"));
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("AQDEF_K0006"), {}), QStringLiteral("Auftrag"));
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("AQDEF_K0008"), {}), QString::fromUtf8("Prüfer"));

    // A mapped name the header data no longer has is shown and kept, never dropped unseen.
    env.state.store.Write(files, QStringLiteral("AQDEF_K0006"), QStringLiteral("Charge"));
    {
        gui::OutputFileDialog dlg(env.state, env.state.header, &w);
        EXPECT_EQ(child<QComboBox>(dlg, "comboAQDEF_K0006")->currentText(), QStringLiteral("Charge"));
        child<QComboBox>(dlg, "comboAQDEF_K0008")->setCurrentIndex(0);
        dlg.OKButton_Click();
    }
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("AQDEF_K0006"), {}), QStringLiteral("Charge"));
    EXPECT_EQ(env.state.store.Read(files, QStringLiteral("AQDEF_K0008"), QStringLiteral("x")), QString());
}

TEST(MainWindow, EachOutputNamesItsFileWhichOpensWithItsFolder) {
    GuiEnv env;
    QTemporaryDir out;
    env.state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), out.path());
    // The numbers hold the separator: a long warning that must not push the file's name away.
    env.state.store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), QLocale::system().decimalPoint());
    ASSERT_TRUE(env.sim.start({kWelle}));
    MainWindow& w = env.open();
    QList<QUrl> opened;
    w.openUrl = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    auto* openFile = child<QToolButton>(w, "StatusBar1_OpenFile");
    auto* openFolder = child<QToolButton>(w, "StatusBar1_OpenFolder");
    auto* notes = child<QToolButton>(w, "StatusBar1_Notes");
    EXPECT_FALSE(openFile->isVisibleTo(&w));
    env.trigger(QStringLiteral("Toolbar1_2"));
    child<QPushButton>(w, "cmdMarkAll")->click();
    const struct {
        const char *action, *pattern, *status;
        bool warned;
    } outputs[] = {{"Toolbar1_5", "*.csv", "", true}, // the first start chose CSV
                   {"Menue_PdfProtokoll", "*.pdf", "PDF-Protokoll geschrieben: ", false},
                   {"Menue_QifErgebnisse", "*.qif", "QIF-Datei geschrieben: ", false}};
    for (const auto& o : outputs) {
        SCOPED_TRACE(o.action);
        opened.clear();
        env.shown.clear();
        env.trigger(QString::fromLatin1(o.action));
        const QStringList written = QDir(out.path()).entryList({QString::fromLatin1(o.pattern)}, QDir::Files);
        ASSERT_EQ(written.size(), 1);
        EXPECT_TRUE(w.statusText().startsWith(QString::fromUtf8(o.status))) << w.statusText().toStdString();
        EXPECT_TRUE(w.statusText().contains(written.first())) << w.statusText().toStdString();
        EXPECT_FALSE(w.statusText().contains(out.path())); // the name, not the folder
        EXPECT_EQ(notes->isVisibleTo(&w), o.warned);
        if (o.warned) {
            notes->click();
            ASSERT_EQ(env.shown.size(), 1);
            EXPECT_TRUE(env.shown[0].text.contains(QStringLiteral("Trennzeichen"))) << env.shown[0].text.toStdString();
            screenshot(w, "status-after-export");
        }
        ASSERT_TRUE(openFile->isVisibleTo(&w) && openFolder->isVisibleTo(&w));
        openFile->click();
        openFolder->click();
        const QString file = QDir(out.path()).filePath(written.first());
        EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(file), QUrl::fromLocalFile(QFileInfo(file).absolutePath())}));
    }
    // Only the menu writes it in a window: the AQDEF file and the PDF switch are for the runs.
    EXPECT_TRUE(QDir(out.path()).entryList({QStringLiteral("*.dfq")}).isEmpty());
    EXPECT_EQ(QDir(out.path()).entryList({QStringLiteral("*.csv")}).size(), 1); // the result file alone
}

TEST(MainWindow, ReportLayoutDialogValidatesStoresSavesAndLoads) {
    GuiEnv env;
    settings::writeTextLines(env.programDir() + QStringLiteral("/HeaderData.cfg"),
                             {QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer")},
                             settings::systemCodePage());
    MainWindow& w = env.open();
    const QString file = env.programDir() + QStringLiteral("/layout.cfg");
    {
        gui::ReportLayoutDialog dlg(env.state, &w);
        screenshot(dlg, "report-layout");
        env.shown.clear();
        dlg.cmdSaveAs_Click(file); // nothing filled in: refused, nothing saved
        ASSERT_EQ(env.shown.size(), 1);
        EXPECT_EQ(env.shown[0].text, QStringLiteral("Not all values are set."));
        EXPECT_FALSE(QFile::exists(file));
        dlg.box("txtZeileStart")->setText(QStringLiteral("10"));
        dlg.box("txtZeileEnde")->setText(QStringLiteral("40"));
        dlg.box("txtSpalteStart")->setText(QStringLiteral("E"));
        dlg.cmdSaveAs_Click(file);
        // The empty boxes now read "NotUsed", and every one shows it whole.
        screenshot(dlg, "report-layout-filled");
        dlg.adjustSize();
        for (QLineEdit* e : dlg.findChildren<QLineEdit*>()) {
            if (e->isVisibleTo(&dlg) && e->text() == QLatin1String("NotUsed")) {
                EXPECT_GE(e->width() - 8, e->fontMetrics().horizontalAdvance(e->text()))
                    << e->objectName().toStdString();
            }
        }
        dlg.findChild<QCheckBox*>(QStringLiteral("chkUnicodeSymbols"))->setChecked(true);
        dlg.cmdOK_Click();
    }
    const QString s = QStringLiteral("ExcelReportSettings");
    EXPECT_EQ(env.state.store.Read(s, QStringLiteral("UnicodeSymbols"), {}), QStringLiteral("-1"));
    EXPECT_EQ(env.state.store.Read(s, QStringLiteral("FormIDColum"), {}), QStringLiteral("NotUsed"));
    EXPECT_EQ(env.state.store.Read(s, QStringLiteral("CommentLength"), {}), QStringLiteral("0"));
    EXPECT_EQ(env.state.store.Read(s, QStringLiteral("Zeile_Spalte"), {}), QStringLiteral("-1"));
    EXPECT_EQ(env.state.store.Read(s, QStringLiteral("Kopfdaten_2_2"), {}), QStringLiteral("NotUsed"));
    const QStringList lines = *settings::readTextLines(file, settings::systemCodePage());
    ASSERT_EQ(lines.size(), 30);
    EXPECT_EQ(lines.at(27), QStringLiteral("[Kopfdaten]"));

    // Loading a layout made for other header data changes nothing.
    settings::writeTextLines(env.programDir() + QStringLiteral("/HeaderData.cfg"), {QStringLiteral("Los")},
                             settings::systemCodePage());
    gui::ReportLayoutDialog other(env.state, &w);
    other.box("txtZeileStart")->setText(QStringLiteral("7"));
    env.shown.clear();
    const QString refused = env.programDir() + QStringLiteral("/refused.cfg");
    ASSERT_TRUE(QFile::copy(file, refused));
    other.cmdLoad_Click(refused);
    EXPECT_FALSE(other.windowTitle().contains(QStringLiteral("refused"))); // nor the last one used
    EXPECT_EQ(env.state.store.Read(QStringLiteral("ExcelReportSettings"), QStringLiteral("LastUsedConfig"), {}),
              file);
    ASSERT_EQ(env.shown.size(), 1);
    // Both lists named, in the user's language.
    EXPECT_TRUE(env.shown[0].text.startsWith(env.state.text(QStringLiteral("MessageBoxen"), 70)));
    EXPECT_TRUE(env.shown[0].text.contains(QStringLiteral("\u201CLos\u201D")));
    EXPECT_EQ(other.box("txtZeileStart")->text(), QStringLiteral("7"));

    // Back in the main window, the title names the layout last loaded or saved.
    w.hide();
    w.show();
    EXPECT_TRUE(w.windowTitle().endsWith(file)) << w.windowTitle().toStdString();
}

TEST(MainWindow, MenusAndButtonsOpenTheirWindows) {
    GuiEnv env;
    MainWindow& w = env.open();
    // Every toolbar action is also in the actions menu, with a shortcut and a name to read out.
    const QList<QAction*> inMenu = w.findChild<QMenu*>(QStringLiteral("Menue_Aktionen"))->actions();
    for (const char* name :
         {"Toolbar1_1", "Toolbar1_2", "Toolbar1_3", "Toolbar1_5", "Toolbar1_6", "Toolbar1_7"}) {
        auto* a = w.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_TRUE(inMenu.contains(a)) << name;
        EXPECT_FALSE(a->shortcut().isEmpty()) << name;
        EXPECT_FALSE(a->text().isEmpty()) << name;
        EXPECT_TRUE(w.findChild<QToolBar*>()->widgetForAction(a)->focusPolicy() & Qt::TabFocus) << name;
    }
    // A button that shows only a picture still has a name to read out.
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
        if (b->isVisibleTo(&w) && b->text().isEmpty()) {
            const QAction* a =
                qobject_cast<QToolButton*>(b) ? static_cast<QToolButton*>(b)->defaultAction() : nullptr;
            EXPECT_FALSE(b->accessibleName().isEmpty() && (!a || a->text().isEmpty()))
                << b->objectName().toStdString();
        }
    auto* pdf = w.findChild<QAction*>(QStringLiteral("Menue_PdfProtokoll"));
    ASSERT_NE(pdf, nullptr);
    EXPECT_TRUE(inMenu.contains(pdf));
    EXPECT_EQ(pdf->text(), QStringLiteral("PDF-Protokoll"));
    EXPECT_FALSE(pdf->shortcut().isEmpty());
    // Nothing read yet: the protocol says so instead of writing an empty page.
    env.shown.clear();
    env.trigger(QStringLiteral("Menue_PdfProtokoll"));
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_EQ(env.shown[0].icon, common::MsgIcon::Information);
    const std::pair<const char*, const char*> entries[] = {{"menuAusgabedatei", "frm_Ausgabedatei_Setup"},
                                                           {"menuASCII", "frm_ASCII_Setup"},
                                                           {"menuKopfdaten", "frm_Kopfdaten"},
                                                           {"menuFormular", "frm_BerichtDesign"},
                                                           {"Menue_Window_Pos", "frm_Fensterpos"},
                                                           {"Menue_Info", "frm_About"},
                                                           {"Toolbar1_7", "frm_SavePartProgram"},
                                                           {"Menue_BatchFile", "frm_BatchFile"}};
    for (const auto& [action, window] : entries) {
        env.shown.clear();
        env.trigger(QString::fromLatin1(action));
        QWidget* opened = w.findChild<QWidget*>(QString::fromLatin1(window));
        ASSERT_NE(opened, nullptr) << action;
        // A first start (no header data file yet) is no fault to report.
        EXPECT_TRUE(env.shown.isEmpty()) << action << ": " << (env.shown.isEmpty() ? "" : env.shown[0].text.toStdString());
        EXPECT_TRUE(opened->isVisible()) << action;
        if (QByteArray(window) != "frm_BatchFile") {
            EXPECT_TRUE(opened->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << window;
        }
        opened->close();
    }
    EXPECT_TRUE(w.isVisible()); // the batch window brings the main window back when it closes

    // Esc in the batch window goes the same way as closing it.
    env.trigger(QStringLiteral("Menue_BatchFile"));
    auto* batch = w.findChild<gui::BatchFileDialog*>();
    ASSERT_NE(batch, nullptr);
    EXPECT_FALSE(w.isVisible());
    QTest::keyClick(batch, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
}

TEST(MainWindow, BatchWindowWritesNothingWithoutWorkbookAndLayout) {
    GuiEnv env;
    MainWindow& w = env.open();
    env.trigger(QStringLiteral("Menue_BatchFile"));
    EXPECT_FALSE(w.isVisible());
    auto* batch = w.findChild<gui::BatchFileDialog*>();
    ASSERT_NE(batch, nullptr);
    EXPECT_FALSE(batch->workbook2Enabled());
    batch->selectChoice(2);
    EXPECT_TRUE(batch->workbook2Enabled());
    batch->selectChoice(0);
    EXPECT_FALSE(batch->workbook2Enabled());
    const QString form = env.programDir() + QStringLiteral("/Form.xlsx");
    batch->setWorkbook1(form);
    env.shown.clear();
    batch->cmdCreateBatchFile_Click(); // no layout file chosen: nothing written, said, choices kept
    EXPECT_FALSE(QFile::exists(env.programDir() + QStringLiteral("/Form.sh")));
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_TRUE(batch->isVisible());

    // Written: the message says where the script went, and the main window is back.
    batch->setConfiguration(env.programDir() + QStringLiteral("/R.cfg"));
    env.shown.clear();
    batch->cmdCreateBatchFile_Click();
    ASSERT_TRUE(QFile::exists(env.programDir() + QStringLiteral("/Form.sh")));
    EXPECT_TRUE(
        readBytes(env.programDir() + QStringLiteral("/Form.sh")).contains("/a")); // never without a mode
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_TRUE(env.shown[0].text.contains(env.programDir() + QStringLiteral("/Form.sh")));
    EXPECT_TRUE(w.isVisible());
}

TEST(MainWindow, ExcelOnlineProtocolAgainstAnExecutingHost) {
    GuiEnv env;
    const sim::SimProgram program = sim::loadProgram(kWelle);
    int run1 = -1;
    for (std::size_t i = 0; i < program.commands.size(); ++i)
        if (program.commands[i].id == QLatin1String("RUN1"))
            run1 = static_cast<int>(i);
    ASSERT_TRUE(env.sim.start({QStringLiteral("--execute-on-subscribe"), kWelle}));
    MainWindow& w = env.open();
    env.state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), env.programDir());
    env.trigger(QStringLiteral("Toolbar1_3"));
    EXPECT_FALSE(w.isVisible());
    auto* online = w.findChild<gui::ExcelOnlineWindow*>();
    ASSERT_NE(online, nullptr);
    EXPECT_TRUE(env.sim.waitForLog(QStringLiteral("placement 12 1")));
    // The heading, then label and value rows of every marked dimension.
    ASSERT_TRUE(spinUntil([&] { return online->protocol().rows().size() == 33; }));
    const auto& rows = online->protocol().rows();
    EXPECT_TRUE(rows[1].label);
    EXPECT_EQ(rows[1].cells.first(), QStringLiteral("LOC1"));
    EXPECT_EQ(rows[2].cells.first(), QStringLiteral("X_LOCATION von CIR1"));
    for (const auto& r : rows) // a characteristic of no element too (KEYIN)
        EXPECT_FALSE(r.cells.first().isEmpty());
    screenshot(*online, "excel-online");

    online->cmdPause_Click(); // paused: an added command leaves no row
    EXPECT_FALSE(online->receiving());
    env.sim.write(QStringLiteral("add %1\n").arg(run1).toLatin1());
    QThread::msleep(100);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(online->protocol().rows().size(), 33u);
    // Resuming subscribes again, which this simulator answers by executing the program again;
    // the rows continue under the last one.
    online->cmdPause_Click();
    env.sim.write(QStringLiteral("add %1\n").arg(run1).toLatin1()); // unmarked, but added: written
    auto hasRunout = [&] {
        for (const auto& r : online->protocol().rows())
            if (r.cells.first() == QStringLiteral("RUNOUT von CYL2--CYL1"))
                return true;
        return false;
    };
    ASSERT_TRUE(spinUntil(hasRunout));
    EXPECT_TRUE(spinUntil([&] { return online->protocol().rows().size() == 33 + 32 + 2; }));

    const QString path = online->protocol().path();
    online->cmdStopOnline_Click();
    EXPECT_TRUE(w.isVisible());
    const QJsonObject s = sheetOf(readWithOpenpyxl(path), QStringLiteral("Tabelle1"));
    ASSERT_FALSE(s.isEmpty());
    EXPECT_EQ(cellOf(s, "A1").value("value").toString(), QStringLiteral("Merkmalstyp und Element"));
    EXPECT_EQ(cellOf(s, "A1").value("fill").toString(), QStringLiteral("00CCFF"));
    EXPECT_EQ(cellOf(s, "H1").value("value").toString(), QString::fromUtf8("Toleranzüberschreitung (ATol)"));
    EXPECT_EQ(cellOf(s, "A2").value("value").toString(), QStringLiteral("LOC1"));
    EXPECT_EQ(cellOf(s, "A2").value("fill").toString(), QStringLiteral("C0C0C0"));
    EXPECT_TRUE(s.value("merged").toArray().contains(QStringLiteral("A2:H2")));
    EXPECT_TRUE(cellOf(s, "A3").value("bold").toBool());
    EXPECT_EQ(cellOf(s, "C3").value("value").toDouble(), 0.012);
    EXPECT_EQ(cellOf(s, "F3").value("value").toDouble(), -0.05);
    EXPECT_EQ(cellOf(s, "C3").value("format").toString(), QStringLiteral("#,##0.0000"));
    EXPECT_EQ(cellOf(s, "B3").value("font").toString(), QStringLiteral("Arial"));
    EXPECT_EQ(s.value("freeze").toString(), QStringLiteral("A2"));
    EXPECT_EQ(s.value("widths").toObject().value("B").toDouble(), 20.0);
    EXPECT_TRUE(checkWorkbookStructure(path).isEmpty());
}

TEST(MainWindow, HistoryWindowChartsFiguresFiltersAndExports) {
    GuiEnv env;
    MainWindow& w = env.open();
    const QString file = env.programDir() + QStringLiteral("/history.sqlite");
    history::HistorySettings hs;
    hs.file = file;
    history::writeHistorySettings(env.state.store, hs);
    // Forty parts over ten days; part 31 far out (it breaks the first run rule), the last 9.97.
    constexpr int kParts = 40;
    {
        auto db = history::HistoryDatabase::openSqlite(file);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-10);
        for (int i = 0; i < kParts; ++i) {
            const double measured = i == 30 ? 10.2
                                    : i == kParts - 1
                                        ? 9.97
                                        : 10.0 + 0.02 * std::sin(i * 1.3) + 0.01 * std::cos(i * 0.7);
            history::Part p;
            p.uuid = history::makeUuid();
            p.programName = QStringLiteral("Welle");
            p.measuredUtc = start.addSecs(i * 6 * 3600);
            p.header = {{QStringLiteral("Auftrag"), QString::number(4711 + i)}};
            history::StoredRow r;
            r.id = QStringLiteral("LOC1");
            r.axis = QStringLiteral("X");
            r.type = QStringLiteral("X_LOCATION");
            r.nominal = 10;
            r.upperTol = 0.1;
            r.lowerTol = -0.1;
            r.measured = measured;
            r.classification = std::fabs(measured - 10) > 0.1    ? history::Classification::OutOfTolerance
                               : std::fabs(measured - 10) > 0.09 ? history::Classification::BeyondWarning
                                                                 : history::Classification::Ok;
            p.rows = {r};
            ASSERT_TRUE(db->storePart(p));
        }
    }
    auto* dlg = new gui::HistoryWindow(env.state, &w, QStringLiteral("Welle"), QStringLiteral("LOC1.X"));
    dlg->show();
    ASSERT_EQ(dlg->series().size(), std::size_t(kParts));
    EXPECT_EQ(dlg->figure("lblN"), QString::number(kParts));
    for (const char* f : {"lblPp", "lblPpk", "lblCp", "lblCpk"})
        EXPECT_NE(dlg->figure(f), QStringLiteral("\u2014")) << f;
    screenshot(*dlg, "hist-runchart");
    // A dark theme: the chart follows the palette.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Mid, QColor(0x60, 0x60, 0x60));
    dlg->setPalette(dark);
    screenshot(*dlg, "history-dark");
    dlg->setPalette(QPalette());

    // The last part alone: no spread, so no capability and no division by zero.
    dlg->setLastParts(1);
    EXPECT_EQ(dlg->figure("lblN"), QStringLiteral("1"));
    EXPECT_EQ(dlg->figure("lblSOverall"), QStringLiteral("\u2014"));
    EXPECT_EQ(dlg->figure("lblCpk"), QStringLiteral("\u2014"));
    EXPECT_FALSE(child<QLabel>(*dlg, "lblCpk")->toolTip().isEmpty()) << "why it is missing";
    dlg->setLastParts(std::nullopt);

    // Each chart kind with its figures, named for how they were taken, and its exports.
    const QString out = env.programDir() + QStringLiteral("/chart");
    auto* kind = child<QComboBox>(*dlg, "cboChart");
    auto* subgroup = child<QSpinBox>(*dlg, "spnSubgroup");
    struct View {
        int kind;
        const char* name;
        bool stacked;
        QString within;
    };
    for (const View& v : {View{0, "hist-runchart", false, QStringLiteral("MR\u0304/d\u2082")},
                          View{1, "hist-imr", true, QStringLiteral("MR\u0304/d\u2082")},
                          View{2, "hist-xbar-r", true, QStringLiteral("R\u0304/d\u2082")},
                          View{4, "hist-histogram", false, QStringLiteral("MR\u0304/d\u2082")}}) {
        kind->setCurrentIndex(v.kind);
        EXPECT_EQ(subgroup->isEnabled(), v.kind == 2) << v.name;
        EXPECT_EQ(child<QWidget>(*dlg, "chtVerlaufStreuung")->isVisibleTo(dlg), v.stacked) << v.name;
        for (const char* f : {"Pp", "Ppk", "Cp", "Cpk"}) {
            const QByteArray name = QByteArray("lbl") + f;
            EXPECT_EQ(child<QLabel>(*dlg, name + "Caption")->text(), QString::fromLatin1(f)) << v.name;
            EXPECT_NE(dlg->figure(name), QStringLiteral("\u2014")) << v.name << " " << f;
        }
        EXPECT_TRUE(child<QLabel>(*dlg, "lblWithinHeader")->text().contains(v.within)) << v.name;
        // Part 31 alone makes the values far from normal.
        EXPECT_EQ(dlg->figure("lblNormality"),
                  QStringLiteral("Anderson-Darling p < 0,001 – nicht normalverteilt"))
            << v.name;
        const QString png = out + QLatin1String(v.name) + QStringLiteral(".png");
        const QString svg = out + QLatin1String(v.name) + QStringLiteral(".svg");
        ASSERT_TRUE(dlg->exportPng(png));
        EXPECT_FALSE(QImage(png).isNull());
        ASSERT_TRUE(dlg->exportSvg(svg));
        EXPECT_TRUE(readBytes(svg).contains("<svg"));
        screenshot(*dlg, v.name);
    }
    // Subgroups of five: all forty parts; of three, the last incomplete one is left out.
    kind->setCurrentIndex(2);
    EXPECT_EQ(dlg->figure("lblN"), QStringLiteral("40"));
    subgroup->setValue(3);
    EXPECT_EQ(dlg->figure("lblN"), QStringLiteral("39"));
    EXPECT_FALSE(child<QLabel>(*dlg, "lblN")->toolTip().isEmpty());
    kind->setCurrentIndex(0);

    ASSERT_TRUE(dlg->exportCsv(out + QStringLiteral(".csv")));
    const QList<QByteArray> lines = readBytes(out + QStringLiteral(".csv")).trimmed().split('\n');
    EXPECT_EQ(lines.size(), kParts + 1); // a title line and every part
    EXPECT_TRUE(lines.front().contains("Auftrag")) << lines.front().toStdString();
    EXPECT_TRUE(lines.back().contains("9.97,10,0.1,-0.1,ok,4750")) << lines.back().toStdString();
    // The gauge study of the parts shown, with the header data to choose them by.
    gui::GaugeStudyDialog* gauge = dlg->openGaugeStudy();
    ASSERT_NE(gauge, nullptr);
    ASSERT_TRUE(gauge->savePdf(out + QStringLiteral(".pdf")));
    EXPECT_TRUE(readBytes(out + QStringLiteral(".pdf")).startsWith("%PDF"));
    screenshot(*gauge, "gauge-study");
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // From the actions menu, on the characteristic listed; an empty history says so.
    history::HistorySettings empty;
    empty.file = env.programDir() + QStringLiteral("/empty.sqlite");
    history::writeHistorySettings(env.state.store, empty);
    env.trigger(QStringLiteral("Menue_Verlauf"));
    auto* opened = w.findChild<gui::HistoryWindow*>();
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->series().empty());
    EXPECT_EQ(opened->figure("lblMean"), QStringLiteral("\u2014"));
    opened->close();
}

TEST(MainWindow, FormsAndLayoutsByDropAndFromTheRecentMenus) {
    GuiEnv env;
    QTemporaryDir out;
    const auto [form, layout] = exampleForm(env, out);
    ASSERT_FALSE(form.isEmpty());
    MainWindow& w = env.open();
    auto drop = [&](const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &dropped);
        QCoreApplication::processEvents();
        return true;
    };
    EXPECT_FALSE(drop(out.filePath(QStringLiteral("notes.txt"))));

    // A layout dropped on the window opens the layout dialog with it.
    ASSERT_TRUE(drop(layout));
    auto* dialog = w.findChild<gui::ReportLayoutDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->windowTitle().contains(QStringLiteral("Pruefbericht.cfg")));
    dialog->cmdOK_Click();

    // A form dropped before anything is chosen is refused before it is touched.
    const QByteArray untouched = readBytes(form);
    env.trigger(QStringLiteral("Toolbar1_2"));
    env.shown.clear();
    ASSERT_TRUE(drop(form));
    ASSERT_EQ(env.shown.size(), 1);
    EXPECT_EQ(env.shown[0].text, env.state.text(QStringLiteral("MessageBoxen"), 24));
    EXPECT_EQ(readBytes(form), untouched);

    child<QPushButton>(w, "cmdMarkAll")->click();
    ASSERT_TRUE(drop(form));
    EXPECT_NE(readBytes(form), untouched);
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("Pruefbericht.xlsx"))) << w.statusText().toStdString();

    // Both files are offered again, by name, in the file menu.
    w.findChild<QMenu*>(QStringLiteral("Menue_Datei"))->aboutToShow();
    const auto recent = [&](const char* menu) {
        QStringList names;
        for (QAction* a : w.findChild<QMenu*>(QString::fromLatin1(menu))->actions())
            names << a->text();
        return names;
    };
    EXPECT_EQ(recent("menuRecentForms"), QStringList{QStringLiteral("Pruefbericht.xlsx")});
    EXPECT_EQ(recent("menuRecentLayouts"), QStringList{QStringLiteral("Pruefbericht.cfg")});
    const QByteArray onePart = readBytes(form);
    w.findChild<QMenu*>(QStringLiteral("menuRecentForms"))->actions().first()->trigger();
    EXPECT_NE(readBytes(form), onePart); // the next part in the same form

    // Staying on top is the user's choice, and every window of the program follows it.
    env.trigger(QStringLiteral("menuStayOnTop"));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(env.state.store.Read(QStringLiteral("ProgSettings"), QStringLiteral("StayOnTop"), {}),
              QStringLiteral("0"));
    env.trigger(QStringLiteral("Menue_Info"));
    EXPECT_FALSE(w.findChild<QWidget*>(QStringLiteral("frm_About"))->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    env.trigger(QStringLiteral("menuStayOnTop"));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.findChild<QWidget*>(QStringLiteral("frm_About"))->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// A filled copy saved under a new name is the file the status line, its tooltip and the open
// buttons name; the form stays as it was. When nothing on the desktop opens a file, the user is
// told which.
TEST(MainWindow, ACopyIsNamedAsWrittenAndAFileNothingOpensIsNamedToo) {
    GuiEnv env;
    QTemporaryDir out;
    const auto [form, layout] = exampleForm(env, out);
    ASSERT_FALSE(form.isEmpty());
    MainWindow& w = env.open();
    w.resize(900, w.height());
    w.openLayout(layout);
    w.findChild<gui::ReportLayoutDialog*>()->cmdOK_Click();
    env.trigger(QStringLiteral("Toolbar1_2"));
    child<QPushButton>(w, "cmdMarkAll")->click();

    // A name long enough to be shortened in the line once the buttons beside it have their room.
    const QString copy =
        out.filePath(QStringLiteral("kopie ") + QString(120, QLatin1Char('x')) + QStringLiteral(".xlsx"));
    env.conversion.chooseSaveAs = [&] { return copy; };
    const QByteArray untouched = readBytes(form);
    w.fillForm(form, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(readBytes(form), untouched);
    ASSERT_TRUE(QFile::exists(copy));
    EXPECT_TRUE(w.statusText().contains(QFileInfo(copy).fileName())) << w.statusText().toStdString();
    EXPECT_FALSE(w.statusText().contains(QStringLiteral("Pruefbericht"))) << w.statusText().toStdString();
    auto* line = child<QLabel>(w, "StatusBar1_Panel1");
    EXPECT_TRUE(line->text().contains(QChar(0x2026))) << line->text().toStdString();
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width());
    EXPECT_TRUE(line->toolTip().contains(QDir::toNativeSeparators(copy))) << line->toolTip().toStdString();
    auto* openFile = child<QToolButton>(w, "StatusBar1_OpenFile");
    auto* openFolder = child<QToolButton>(w, "StatusBar1_OpenFolder");
    EXPECT_EQ(openFile->toolTip(), QDir::toNativeSeparators(copy));

    const struct {
        QToolButton* button;
        QString path;
        bool opens;
    } clicks[] = {{openFile, copy, true}, {openFile, copy, false}, {openFolder, out.path(), false}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.path.toStdString() + (c.opens ? " opens" : " nothing opens it"));
        QList<QUrl> opened;
        w.openUrl = [&](const QUrl& url) {
            opened << url;
            return c.opens;
        };
        env.shown.clear();
        c.button->click();
        EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(c.path)});
        ASSERT_EQ(env.shown.size(), c.opens ? 0 : 1);
        if (!c.opens)
            EXPECT_TRUE(env.shown[0].text.contains(QDir::toNativeSeparators(c.path)))
                << env.shown[0].text.toStdString();
    }
}
