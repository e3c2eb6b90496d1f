#pragma once

#include "common/Message.h"
#include "settings/SettingsStore.h"
#include "settings/LanguageTable.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Where each value goes in the user's form: rows (or columns) for the characteristics, the
// measurement columns, the fields, the cells of date, time, running number and header data.
namespace excel {

inline const QString kNotUsed = QStringLiteral("NotUsed");

// The layout's values as the dialog edits them and the layout file holds them.
struct ReportLayoutValues {
    QString FormATolColum, FormDevColum, FormIDColum, FormCommentColum, CommentLength, FormNominalColum,
        FormOTolColum, FormMeasColums, FormSymbolColum, FormUTolColum, FormEndRow, FormStartRow;
    bool rows = true; // characteristics in rows (Zeile_Spalte)
    QString FormDateRow, FormTimeRow, Element1Colum, Element2Colum, Element3Colum, Bezug1Colum, Bezug2Colum,
        Bezug3Colum, EinheitColum;
    std::vector<QString> Kopfdaten1; // row setting of header item i
    std::vector<QString> Kopfdaten2; // column setting of header item i
    QString LfdNr;
    // The symbol column in Unicode GD&T symbols instead of letters for a symbol font. Stored
    // with the layout, not in layout files: their lines are fixed.
    bool unicodeSymbols = false;

    // The fields in the order of the layout file's first 22 lines (orientation at 13 apart).
    std::vector<QString*> fileOrderFields();
};

// The layout as a report run uses it.
struct ReportLayout {
    ReportLayoutValues v;
    int EmptyCells = 0;
    std::vector<int> ColumnList;
    bool used(const QString& value) const { return value != kNotUsed; }
};

// Messages the layout functions show: language texts and the message function.
struct LayoutMessages {
    const settings::LanguageTable& texts;
    common::MessageFn message;
};

// Column letters to a number: A = 1, IV = 256; a lower-case or other first character gives 0;
// beyond 256 says so and gives 256.
int ColumnNumber(const QString& text, const LayoutMessages* messages = nullptr);
std::vector<int> ParseColumnList(const QString& text, const LayoutMessages* messages = nullptr);

// A layout value by its settings key; nothing when it is not set.
using LayoutValueFn = std::function<std::optional<QString>(const QString& key)>;
// Keys and values of a layout file, in the file's order.
using LayoutFileValues = std::vector<std::pair<QString, QString>>;

// Reads the stored layout (nothing written back). False after message 39 when it is incomplete.
bool LoadReportSettings(const settings::SettingsStore& store, int headerItems, ReportLayout& layout,
                        const LayoutMessages& messages);
// The same from values given by key.
bool LoadReportSettings(const LayoutValueFn& value, int headerItems, ReportLayout& layout,
                        const LayoutMessages& messages);

// Every cell the layout names lies on a sheet: no column 0 and no row 0. A text naming the first
// bad setting, or nothing.
QString layoutFault(const ReportLayout& layout);
// A layout whose last characteristic row lies before its first: the first and the last row.
std::optional<std::pair<int, int>> layoutRowsReversed(const ReportLayout& layout);
// Two things the layout would write into the same cells (a field inside the measurement
// columns overwrites earlier parts' values): their keys; nothing when every value has a cell of
// its own.
std::optional<std::pair<QString, QString>> layoutOverlap(const ReportLayout& layout);

// The layout file: 24 + 3n lines.
QStringList layoutFileLines(const ReportLayoutValues& v, const QStringList& headerNames);
// Reads a layout file's values (from the start, as many as the file has).
void readLayoutFile(ReportLayoutValues& v, const QStringList& lines, int headerItems);
// The header names after "[Kopfdaten]"; nothing when the file has no such line.
std::optional<QStringList> layoutFileHeaderNames(const QStringList& lines);

// The header list of the layout file at path when it differs from the header data set now, in
// number or order (the file's values are read by position, so another list shifts them);
// nothing when they match or the file has no list.
std::optional<QStringList> layoutHeaderMismatch(const QString& path, const QStringList& current);
// What a user reads when the lists differ: both lists and what to do.
QString headerMismatchText(const settings::LanguageTable& texts, const QStringList& inFile,
                           const QStringList& current, bool filledByPosition = false);

// Stores a layout file's values for an unattended run (one write of the settings file) and hands
// them to the caller, so that the run fills the form with this file's layout even when another
// run stores its own meanwhile. False when the file cannot be read or ends before its values do,
// or the values cannot be stored.
bool LoadReportConfiguration(const QString& path, const settings::SettingsStore& store, int headerItems,
                             LayoutFileValues* loaded = nullptr);

// A run's layout from a layout file's values; what a file does not hold (EmptyCells) comes
// from the store.
LayoutValueFn layoutOfFile(const LayoutFileValues& values, const settings::SettingsStore& store);

// Stores the dialog's values in the dialog's order. Throws settings::SettingsWriteError.
void storeReportLayout(const settings::SettingsStore& store, const ReportLayoutValues& v);

// The text a symbol cell gets for a dimension type: letters that a GD&T symbol font shows as
// symbols, or with unicode the type's Unicode GD&T symbol ("" for a type without one).
QString SymbolText(const QString& typ, bool unicode = false);

} // namespace excel
