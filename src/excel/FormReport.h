#pragma once

#include "common/Message.h"
#include "excel/ReportLayout.h"
#include "xlsx/Spreadsheet.h"
#include "host/PartProgramReader.h"
#include "model/Classification.h"
#include "model/MerkmalTable.h"
#include "settings/SettingsStore.h"
#include "settings/LanguageTable.h"

#include <QDate>
#include <QTime>

#include <functional>

namespace excel {

// What a report run takes from the program, gathered by the main window.
inline QTime wholeSeconds(const QTime& t) {
    return QTime(t.hour(), t.minute(), t.second());
}

struct ReportRun {
    const settings::SettingsStore& store;
    const settings::LanguageTable& texts;
    common::MessageFn message;
    model::MerkmalTable& table;
    model::KommentarTable& comments; // "<<" markers are removed from the table itself
    QStringList entries;             // the characteristic list's texts
    model::Selection selection;
    model::HeaderRows header;
    bool SaveAsChosen = false;
    // Asks where to save the filled form; "" when the user cancels.
    std::function<QString()> chooseSaveAs;
    std::function<void(const QString&)> status;
    // Progress: maximum, value; a negative maximum hides the bar.
    std::function<void(int, int)> progress;
    QDate date = QDate::currentDate();
    // Whole seconds: the cell and the correction report's name say the same time.
    QTime time = wholeSeconds(QTime::currentTime());
    // The layout's values when the run brings its own (a layout file); else the stored layout.
    LayoutValueFn layoutValue;
};

struct ReportResult {
    bool saved = false;
    bool aborted = false;
    int cutTexts = 0; // texts cut to what a cell holds
};

// A save-as name as chosen, with the form's extension added when it has no workbook extension.
QString withWorkbookExtension(const QString& chosen, const QString& formPath);

// Whether the bookkeeping cell holds this row's unique id, also as forms of older versions wrote
// it (the halves joined).
bool sameUniqueId(const QString& cell, const model::MerkmalRow& row);

// Fills the form with the selected characteristics and saves it: in place, or under a chosen name
// or, for a report with correction values, as a dated copy, whose name then replaces formPath.
// Everything it has to say it says itself; an aborted run leaves the form file as it was.
ReportResult FillExcelReport(ReportRun& run, QString& formPath, bool Korrekturbericht);

// Whether a report has rows to write: values listed and some chosen; else the message and false.
bool reportHasRows(const QStringList& entries, const model::Selection& selection,
                   const settings::LanguageTable& texts, const common::MessageFn& message);

} // namespace excel
