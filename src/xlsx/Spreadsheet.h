#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

#include <memory>
#include <optional>
#include <stdexcept>

// The spreadsheet as the report and the online protocol use it, by meaning: workbooks, sheets,
// cells and their formats. Our xlsx engine stands behind it; a spreadsheet program's automation
// could stand behind it as well.
namespace excel {

// A workbook that cannot be opened, read or saved; the text says why, for the user.
class SpreadsheetError : public std::runtime_error {
public:
    explicit SpreadsheetError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// A colour as RGB; the report's colour indexes map onto the spreadsheet program's default
// palette: 3 red, 15 grey, 33 sky blue.
struct Colour {
    unsigned rgb = 0; // 0xRRGGBB
    friend bool operator==(const Colour&, const Colour&) = default;
};
Colour paletteColour(int colourIndex);

enum class HAlign { General, Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

// A change to cells' formats: only what is set changes, everything else stays as it was.
struct CellFormat {
    std::optional<QString> fontName;
    std::optional<double> fontSize;
    std::optional<bool> bold;
    std::optional<bool> singleUnderline;             // false: no underline
    std::optional<std::optional<Colour>> fontColour; // nullopt inside: automatic
    std::optional<std::optional<Colour>> fill;       // nullopt inside: no fill
    std::optional<HAlign> horizontal;
    std::optional<VAlign> vertical;
    std::optional<bool> wrapText;
    std::optional<bool> shrinkToFit;
    std::optional<int> indent;
    std::optional<int> rotation;
    std::optional<bool> thinBorders; // every edge thin in automatic colour, no diagonals; false: none
    std::optional<QString> numberFormat;
};

// A rectangle of cells, 1-based and inclusive.
struct Range {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 1;
    int lastColumn = 1;
    static Range cell(int row, int column) { return {row, column, row, column}; }
};

class Worksheet {
public:
    virtual ~Worksheet() = default;
    virtual QString name() const = 0;

    // The cell's value as text as the spreadsheet shows it; "" for an empty cell.
    virtual QString cellText(int row, int column) = 0;
    // Holds neither a value nor a formula: a formula whose result is "" makes a cell not empty.
    virtual bool isEmpty(int row, int column) = 0;

    virtual void setText(int row, int column, const QString& text) = 0;
    virtual void setNumber(int row, int column, double value) = 0;
    virtual void setDate(int row, int column, const QDate& date) = 0;
    virtual void setTime(int row, int column, const QTime& time) = 0;

    virtual void format(const Range& range, const CellFormat& format) = 0;
    // Whole columns: their column style and every cell already in them.
    virtual void formatColumns(int firstColumn, int lastColumn, const CellFormat& format) = 0;
    virtual void merge(const Range& range) = 0;
    virtual void setColumnWidth(int firstColumn, int lastColumn, double width) = 0;
    virtual void autoFitColumn(int column) = 0;
    virtual void freezeFirstRow() = 0;
    // Removes the cell's note (and a threaded comment with its replies).
    virtual void clearComment(int row, int column) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;

    virtual QStringList sheetNames() const = 0;
    // Case-insensitive, as spreadsheet programs find sheets; nothing when there is none.
    virtual Worksheet* sheet(const QString& name) = 0;
    virtual Worksheet* addSheet(const QString& name) = 0;
    // Copies a sheet with everything it holds and puts the copy right after another sheet.
    virtual Worksheet* copySheetAfter(const QString& source, const QString& after,
                                      const QString& newName) = 0;
    virtual void renameSheet(const QString& oldName, const QString& newName) = 0;
    // Hidden from the tabs and from printing, its cells unchanged; never the last visible sheet.
    virtual void hideSheet(const QString& name) = 0;

    virtual void save() = 0;
    virtual void saveAs(const QString& path) = 0;
    virtual QString path() const = 0;
};

// Opens a user's .xlsx or .xlsm; throws SpreadsheetError.
std::unique_ptr<Workbook> openWorkbook(const QString& path);
// A new workbook with one empty sheet, saved only by saveAs.
std::unique_ptr<Workbook> newWorkbook(const QString& sheetName = QStringLiteral("Tabelle1"));

// Sheet names as spreadsheet programs allow them: 1 to 31 characters, none of / \ ? * : [ ].
bool isValidSheetName(const QString& name);

// The value of a text that is exactly a number written the invariant way, so that storing the
// number loses nothing: an optional "-", digits without leading zeros (a single "0" before the
// point is allowed), an optional "." with digits, at most 15 significant digits. "0815", "+1",
// "1.", ".5", "1e5", " 1" and "1,5" give nothing; "-0" gives 0.
std::optional<double> invariantNumber(QStringView text);

// A cell's name as spreadsheet programs show it: "B12".
QString cellName(int row, int column);

} // namespace excel
