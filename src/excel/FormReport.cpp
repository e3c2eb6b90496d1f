#include "excel/FormReport.h"
#include "settings/SettingsMessages.h"

#include "common/NumberText.h"
#include "excel/FormLock.h"
#include "settings/LocaleText.h"
#include "settings/ProgramSettings.h"
#include "settings/ResultFileName.h"

#include <QDir>

#include <QFileInfo>
#include <array>

namespace excel {

namespace {

const QString kBox = QStringLiteral("MessageBoxen");
const QString kStatus = QStringLiteral("StatusBar");

struct Abort {}; // the abort ending, after its message

// What a cell can hold; spreadsheet programs refuse or cut anything longer.
constexpr qsizetype kCellCharacters = 32767;

// A text as the spreadsheet program would store it typed in: "4711" as a number, "0815" as text.
// False when the text had to be cut to fit the cell.
bool writeText(Worksheet& sheet, int row, int column, const QString& text) {
    if (const auto number = invariantNumber(text)) {
        sheet.setNumber(row, column, *number);
        return true;
    }
    sheet.setText(row, column, text.size() > kCellCharacters ? text.left(kCellCharacters) : text);
    return text.size() <= kCellCharacters;
}

// A cell shows a text we wrote: the same text, or the same number (a number cell shows its
// shortest form, 1e+14 for 100000000000000, and older forms hold the numbers as texts).
bool showsText(const QString& cell, const QString& written) {
    if (cell == written)
        return true;
    const auto number = invariantNumber(written);
    const auto value = common::number::parse(cell);
    return number && value && *number == *value;
}

bool threeBlankTolerance(const QString& typ) {
    return typ == QLatin1String("TRUE_X_LOCATION") || typ == QLatin1String("TRUE_Y_LOCATION") ||
           typ == QLatin1String("TRUE_Z_LOCATION") || typ == QLatin1String("TRUE_PA_LOCATION") ||
           typ == QLatin1String("TRUE_PR_LOCATION");
}

// One run's state: the workbook, the page, the counters and the layout.
class Writer {
public:
    Writer(ReportRun& run, ReportLayout& layout, Workbook& book, bool korrektur)
        : r(run), L(layout), v(layout.v), wb(book), korrektur(korrektur), msgs{run.texts, run.message} {}

    QString text(int line) const { return r.texts.text(kBox, line); }
    void say(common::MsgIcon icon, const QString& t) { common::notify(r.message, icon, t); }

    void firstPage() {
        page = wb.sheet(QStringLiteral("Seite1"));
        if (!page) {
            if (!wb.sheet(QStringLiteral("Master"))) {
                say(common::MsgIcon::Information, text(30));
                throw Abort{};
            }
            page = wb.copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                     QStringLiteral("Seite1"));
        }
        pageNumber = 1;
        newPage = true;
    }

    void pageChange() {
        const QString previous = page->name();
        ++pageNumber;
        const QString name = QStringLiteral("Seite%1").arg(pageNumber);
        page = wb.sheet(name);
        if (!page)
            page = wb.copySheetAfter(QStringLiteral("Master"), previous, name);
        newPage = true;
    }

    // Layout values are worked out once per run, not once per characteristic.
    int number(const QString& s) {
        const auto it = m_numbers.constFind(s);
        if (it != m_numbers.constEnd())
            return *it;
        const int n = settings::parseInteger(s).value_or(0);
        m_numbers.insert(s, n);
        return n;
    }
    int column(const QString& s) {
        const auto it = m_columns.constFind(s);
        if (it != m_columns.constEnd())
            return *it;
        const int n = ColumnNumber(s, &msgs);
        m_columns.insert(s, n);
        return n;
    }
    QHash<QString, int> m_numbers;
    QHash<QString, int> m_columns;

    void put(int row, int col, const QString& t) {
        if (!writeText(*page, row, col, t))
            ++cutTexts;
    }
    void put(int row, int col, double d) { page->setNumber(row, col, d); }

    // Where each field goes, worked out once per run: with characteristics in rows a field
    // names a column, in columns a row. 0: the field is not used (the layout was checked before,
    // so a used field is never 0).
    struct Positions {
        int id = 0, nominal = 0, lfdNr = 0, otol = 0, utol = 0, dev = 0, atol = 0, symbol = 0, comment = 0;
        int commentLength = 0;
        std::array<int, 7> texts{}; // Element 1-3, Bezug 1-3, Einheit
    };
    Positions resolvePositions() {
        auto at = [&](const QString& key) {
            if (!L.used(key))
                return 0;
            return v.rows ? column(key) : number(key);
        };
        Positions p;
        p.id = at(v.FormIDColum);
        p.nominal = at(v.FormNominalColum);
        p.lfdNr = at(v.LfdNr);
        p.otol = at(v.FormOTolColum);
        p.utol = at(v.FormUTolColum);
        p.dev = at(v.FormDevColum);
        p.atol = at(v.FormATolColum);
        p.symbol = at(v.FormSymbolColum);
        p.comment = at(v.FormCommentColum);
        p.commentLength = std::max(0, number(v.CommentLength));
        const QString* texts[] = {&v.Element1Colum, &v.Element2Colum, &v.Element3Colum, &v.Bezug1Colum,
                                  &v.Bezug2Colum,   &v.Bezug3Colum,   &v.EinheitColum};
        for (std::size_t k = 0; k < p.texts.size(); ++k)
            p.texts[k] = at(*texts[k]);
        return p;
    }

    // The fields of a characteristic; at turns a field's position into (row, column).
    template <typename At> void fields(int i, const model::MerkmalRow& m, bool selected, At at) {
        const Positions& p = positions;
        const QString blanks3 = QStringLiteral("   ");
        const QString notMeasured = v.rows ? blanks3 : QStringLiteral("n.g.");
        if (p.id) {
            const auto [row, col] = at(p.id);
            put(row, col, r.entries.at(i));
            if (!v.rows)
                page->clearComment(row, col);
        }
        if (p.nominal) {
            const auto [row, col] = at(p.nominal);
            put(row, col, m.Nennwert);
        }
        if (p.lfdNr) {
            const auto [row, col] = at(p.lfdNr);
            put(row, col, QString::number(runningNumber));
        }
        for (const auto& [position, value] : {std::pair{p.otol, m.OTol}, std::pair{p.utol, m.UTol}})
            if (position) {
                const auto [row, col] = at(position);
                if (threeBlankTolerance(m.Typ))
                    put(row, col, blanks3);
                else
                    put(row, col, value);
            }
        for (const auto& [position, value] : {std::pair{p.dev, m.Abweichung}, std::pair{p.atol, m.ATol}})
            if (position) {
                const auto [row, col] = at(position);
                if (selected)
                    put(row, col, value);
                else
                    put(row, col, notMeasured);
            }
        if (p.symbol) {
            const auto [row, col] = at(p.symbol);
            put(row, col, SymbolText(m.Typ, v.unicodeSymbols));
        }
        if (p.comment) {
            const auto [row, col] = at(p.comment);
            put(row, col, r.comments.block(m.KommentarIndex).Zeile[1].left(p.commentLength));
        }
        const QString* texts[] = {&m.Element1, &m.Element2, &m.Element3, &m.Bezug1,
                                  &m.Bezug2,   &m.Bezug3,   &m.Einheit};
        for (std::size_t k = 0; k < p.texts.size(); ++k)
            if (p.texts[k]) {
                const auto [row, col] = at(p.texts[k]);
                put(row, col, *texts[k]);
            }
    }

    void measurement(int row, int col, const model::MerkmalRow& m, bool selected) {
        if (!selected) {
            put(row, col, QStringLiteral("  ")); // counts as filled for the next run
            return;
        }
        put(row, col, m.Messwert);
        if (m.ATol != 0.0) {
            CellFormat red;
            red.singleUnderline = true;
            red.fontColour = std::optional<Colour>(paletteColour(3));
            page->format(Range::cell(row, col), red);
        }
    }

    void headerMissing(int k, int first, int second) {
        say(common::MsgIcon::Information,
            text(first) + QLatin1Char(' ') + QString::number(k) + QLatin1Char(' ') + text(second));
    }

    [[noreturn]] void refuseSelection(int row, int col, int i) {
        say(common::MsgIcon::Error,
            text(settings::msgline::SelectionDiffers)
                .arg(page->name(), cellName(row, col), page->cellText(row, col), r.entries.at(i)));
        throw Abort{};
    }

    // With EmptyCells a part brings only its selected characteristics, one after the other: when
    // its selection differs from the parts already on the page, its values would stand beside
    // other characteristics' IDs. Such a part is refused before anything is saved.
    void checkIdCell(int row, int col, int i) {
        if (L.EmptyCells == 0 || !positions.id || page->isEmpty(row, col) ||
            showsText(page->cellText(row, col), r.entries.at(i)))
            return;
        refuseSelection(row, col, i);
    }

    void placeInRows(int i, const model::MerkmalRow& m, bool selected) {
        ++runningNumber;
        ++counter;
        const int start = number(v.FormStartRow);
        if (counter > number(v.FormEndRow) - start + 1) {
            pageChange();
            counter = 1;
        }
        const int y = start + counter - 1;
        if (positions.id)
            checkIdCell(y, positions.id, i);
        int c = 0;
        if (L.EmptyCells != 0 && counter > 1) {
            // One part, one column: a characteristic new to the page goes beside the part's
            // other values, not into the first part's column.
            c = pageColumn;
            if (!page->isEmpty(y, c))
                refuseSelection(y, c, i);
        } else {
            for (int col : L.ColumnList)
                if (page->isEmpty(y, col)) {
                    c = col;
                    break;
                }
        }
        if (!c) {
            say(common::MsgIcon::Critical, text(33));
            throw Abort{};
        }
        pageColumn = c;
        fields(i, m, selected, [&](int column) { return std::pair{y, column}; });
        measurement(y, c, m, selected);
        if (counter == 1 || newPage) {
            newPage = false;
            for (std::size_t k = 0; k < v.Kopfdaten1.size(); ++k) {
                const QString& rowSetting = v.Kopfdaten1[k];
                const QString& colSetting = v.Kopfdaten2[k];
                if (!L.used(rowSetting))
                    continue;
                const QString& value = r.header.at(k).value;
                if (colSetting == QLatin1String("VM"))
                    put(number(rowSetting), c, value);
                else if (!L.used(colSetting))
                    headerMissing(static_cast<int>(k) + 1, 31, 32);
                else
                    put(number(rowSetting), column(colSetting), value);
            }
            if (L.used(v.FormDateRow))
                page->setDate(number(v.FormDateRow), c, r.date);
            if (L.used(v.FormTimeRow))
                page->setTime(number(v.FormTimeRow), c, r.time);
        }
    }

    void placeInColumns(int i, const model::MerkmalRow& m, bool selected) {
        ++counter;
        ++runningNumber;
        if (!measurementRow) {
            for (int y = number(v.FormStartRow); y <= number(v.FormEndRow); ++y)
                if (page->isEmpty(y, L.ColumnList.front())) {
                    measurementRow = y;
                    break;
                }
            if (!measurementRow) {
                say(common::MsgIcon::Critical, text(33));
                throw Abort{};
            }
        }
        if (counter > static_cast<int>(L.ColumnList.size())) {
            pageChange();
            counter = 1;
        }
        const int c = L.ColumnList[static_cast<std::size_t>(counter - 1)];
        if (positions.id)
            checkIdCell(positions.id, c, i);
        fields(i, m, selected, [&](int row) { return std::pair{row, c}; });
        measurement(measurementRow, c, m, selected);
        if (counter == 1 || newPage) {
            newPage = false;
            for (std::size_t k = 0; k < v.Kopfdaten1.size(); ++k) {
                const QString& rowSetting = v.Kopfdaten1[k];
                const QString& colSetting = v.Kopfdaten2[k];
                if (!L.used(colSetting))
                    continue;
                const QString& value = r.header.at(k).value;
                if (rowSetting == QLatin1String("VM")) {
                    put(measurementRow, column(colSetting), value);
                } else if (!L.used(rowSetting)) {
                    headerMissing(static_cast<int>(k) + 1, 31, 32);
                } else {
                    const int row = number(rowSetting);
                    const int col = column(colSetting);
                    if (row < 1 || col < 1)
                        headerMissing(static_cast<int>(k) + 1, 34, 35);
                    else
                        put(row, col, value);
                }
            }
            if (L.used(v.FormDateRow))
                page->setDate(measurementRow, column(v.FormDateRow), r.date);
            if (L.used(v.FormTimeRow))
                page->setTime(measurementRow, column(v.FormTimeRow), r.time);
        }
    }

    ReportRun& r;
    ReportLayout& L;
    ReportLayoutValues& v;
    Workbook& wb;
    bool korrektur;
    LayoutMessages msgs;
    Worksheet* page = nullptr;
    int pageNumber = 1;
    int runningNumber = 0;
    int counter = 0;
    int measurementRow = 0;
    int pageColumn = 0; // the part's measurement column on the current page
    int cutTexts = 0;   // texts longer than a cell holds
    bool newPage = false;
    Positions positions = resolvePositions();
};

// The form's name, "__", date, "__", time and the form's own extension; a copy made in the same
// second before gets "__2", "__3" added, never replaced.
QString correctionReportName(const QString& formPath, const QDate& date, const QTime& time) {
    const QFileInfo fi(formPath);
    const QString ext = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    const QString base = (ext.isEmpty() ? formPath : formPath.left(formPath.size() - ext.size())) +
                         QStringLiteral("__") + settings::fileNameSafe(settings::shortDateText(date)) +
                         QStringLiteral("__") + settings::CurrentTimeText(time);
    QString name = base + ext;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QStringLiteral("__%1").arg(n) + ext;
    return name;
}

} // namespace

QString withWorkbookExtension(const QString& chosen, const QString& formPath) {
    // A name typed without the extension would give a file no spreadsheet program opens.
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    if (chosen.isEmpty() || suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm"))
        return chosen;
    const QString formSuffix = QFileInfo(formPath).suffix();
    return chosen + QLatin1Char('.') + (formSuffix.isEmpty() ? QStringLiteral("xlsx") : formSuffix);
}

namespace {

// Holds a form (or a copy's name) for the run; nothing after saying why when it cannot.
std::unique_ptr<FormLock> holdForm(ReportRun& r, const QString& path) {
    const int seconds = settings::readFormLockTimeoutSeconds(r.store);
    FormLockResult why;
    auto lock = FormLock::acquire(
        path, seconds * 1000, why,
        [&](const QString&) {
            if (r.status)
                r.status(r.texts.text(kStatus, 17).arg(QDir::toNativeSeparators(path)));
        },
        qint64(settings::readFormLockStaleSeconds(r.store)) * 1000);
    if (lock)
        return lock;
    const QString where = common::crlf() + QDir::toNativeSeparators(path);
    auto box = [&](int line) { return r.texts.text(kBox, line); };
    const QString holder = why.holder.isEmpty() ? box(85) : why.holder;
    QString text;
    switch (why.kind) {
    case FormLockResult::Kind::ReadOnly:
        text = box(63) + where;
        break;
    case FormLockResult::Kind::Busy:
        // Who holds it and where, so that someone can look at that station or remove the file.
        text = box(61).arg(seconds) + where + common::crlf() + holder + QStringLiteral(": ") +
               QDir::toNativeSeparators(why.lockFile);
        break;
    case FormLockResult::Kind::OpenElsewhere:
        text = box(62).arg(holder) + where;
        break;
    case FormLockResult::Kind::NotAFile:
        text = box(84).arg(QDir::toNativeSeparators(why.lockFile)) + where;
        break;
    default:
        text = box(20) + where + common::crlf() + why.detail;
    }
    common::notify(r.message, common::MsgIcon::Critical, text);
    return nullptr;
}

} // namespace

bool sameUniqueId(const QString& cell, const model::MerkmalRow& row) {
    // Forms filled before the halves were separated hold them joined ("12345"): the same
    // command when the joined text is the same.
    return cell == model::UniqueIdText(row) ||
           showsText(cell, QString::number(row.UniqueId1) + QString::number(row.UniqueId2));
}

namespace {

} // namespace

bool reportHasRows(const QStringList& entries, const model::Selection& selection,
                   const settings::LanguageTable& texts, const common::MessageFn& message) {
    if (entries.isEmpty())
        common::notify(message, common::MsgIcon::Information, texts.text(kBox, 23));
    else if (std::find(selection.begin(), selection.end(), true) == selection.end())
        common::notify(message, common::MsgIcon::Information, texts.text(kBox, 24));
    else
        return true;
    return false;
}

namespace {

// The checks before the form is touched, each ending the run with its message: false then.
bool checkRun(ReportRun& r, const QString& formPath, ReportLayout& layout) {
    auto refuse = [&r](common::MsgIcon icon, const QString& text) {
        common::notify(r.message, icon, text);
        return false;
    };
    auto box = [&r](int line) { return r.texts.text(kBox, line); };
    if (!reportHasRows(r.entries, r.selection, r.texts, r.message))
        return false;
    const LayoutMessages msgs{r.texts, r.message};
    const LayoutValueFn layoutValue = r.layoutValue ? r.layoutValue : [&r](const QString& key) {
        return settings::readReportLayoutValue(r.store, key);
    };
    if (!LoadReportSettings(layoutValue, static_cast<int>(r.header.size()), layout, msgs))
        return refuse(common::MsgIcon::Information, box(25));
    if (formPath.trimmed().isEmpty())
        return refuse(common::MsgIcon::Information, box(27));
    // A layout naming column 0 or row 0 would write outside the sheet: refused before anything.
    if (const auto rows = layoutRowsReversed(layout))
        return refuse(common::MsgIcon::Error,
                      box(settings::msgline::LayoutRowsReversed).arg(rows->first).arg(rows->second));
    if (const QString fault = layoutFault(layout); !fault.isEmpty())
        return refuse(common::MsgIcon::Error, box(19) + common::crlf() + fault);
    // Earlier parts' values are never written over.
    if (const auto overlap = layoutOverlap(layout))
        return refuse(common::MsgIcon::Error, box(60).arg(overlap->first, overlap->second));
    return true;
}

// The bookkeeping sheet: the unique ids the form was first filled with, and those of this run
// beside them. False when the part program changed and the user keeps the form as it is.
bool keepUniqueIds(ReportRun& r, Workbook& book) {
    const int n = static_cast<int>(r.entries.size());
    Worksheet* ids = book.sheet(QStringLiteral("UniqueIDs"));
    if (!ids) {
        ids = book.addSheet(QStringLiteral("UniqueIDs"));
        ids->setText(1, 1, QStringLiteral("ID"));
        ids->setText(1, 2, QStringLiteral("Unique-ID"));
        for (int row = 2; row <= n + 1; ++row) {
            writeText(*ids, row, 1, r.entries.at(row - 2));
            writeText(*ids, row, 2, model::UniqueIdText(r.table.row(row - 1)));
        }
        // Ten-digit ids in full, not as 1E+09; bookkeeping, so it is not printed with the report.
        CellFormat whole;
        whole.numberFormat = QStringLiteral("0");
        ids->formatColumns(2, 3, whole);
        ids->setColumnWidth(1, 3, 16);
        book.hideSheet(ids->name());
        return true;
    }
    bool changed = false;
    ids->setText(1, 3, QStringLiteral("New Unique-ID"));
    CellFormat red;
    red.fill = std::optional<Colour>(paletteColour(3));
    CellFormat none;
    none.fill = std::optional<Colour>();
    for (int row = 2; row <= n + 1; ++row) {
        const model::MerkmalRow& m = r.table.row(row - 1);
        writeText(*ids, row, 3, model::UniqueIdText(m));
        const bool differs = !sameUniqueId(ids->cellText(row, 2), m);
        changed = changed || differs;
        ids->format(Range::cell(row, 3), differs ? red : none);
    }
    if (!changed)
        return true;
    common::Message q;
    q.icon = common::MsgIcon::Question;
    q.caption = common::applicationTitle();
    q.text = QStringLiteral("Ihr Messprogramm wurde geändert.") + common::crlf() +
             QStringLiteral("Sollen die Werte trotzdem in das aktuelle Formular übernommen werden?");
    q.buttons = common::MsgButtons::YesNo;
    // Nobody at the screen: values of another program are not mixed into the form.
    q.defaultButton = common::MsgResult::No;
    return r.message && r.message(q) == common::MsgResult::Yes;
}

// Every characteristic to its place on the pages; the number of texts cut to what a cell holds.
// Throws Abort after its message.
int placeCharacteristics(ReportRun& r, ReportLayout& layout, Workbook& book, bool korrektur) {
    const int n = static_cast<int>(r.entries.size());
    Writer w(r, layout, book, korrektur);
    w.firstPage();
    const int progressMax = layout.v.rows ? n : std::max(1, n - 1);
    for (int i = 0; i < n; ++i) {
        if (r.progress)
            r.progress(progressMax, i);
        const model::MerkmalRow& m = r.table.row(i + 1);
        if (!model::takeForOutput(m, r.comments))
            continue;
        const bool selected = r.selection[static_cast<std::size_t>(i)];
        if (layout.EmptyCells != 0 && !selected)
            continue;
        if (korrektur && !selected) {
            ++w.runningNumber;
            continue;
        }
        if (layout.v.rows)
            w.placeInRows(i, m, selected);
        else
            w.placeInColumns(i, m, selected);
    }
    return w.cutTexts;
}

// Saves in place, under a chosen name or as the dated correction report; formPath then names the
// file written. False when no name was chosen or the chosen file is held by another run.
bool saveFilledForm(ReportRun& r, Workbook& book, QString& formPath, bool korrektur) {
    if (!r.SaveAsChosen && !korrektur) {
        book.save();
        return true;
    }
    const QString target =
        r.SaveAsChosen ? withWorkbookExtension(r.chooseSaveAs ? r.chooseSaveAs() : QString(), formPath)
                       : correctionReportName(formPath, r.date, r.time);
    if (target.isEmpty())
        return false;
    // The name chosen may be a form another run is filling.
    const bool sameFile = QFileInfo(target).absoluteFilePath() == QFileInfo(formPath).absoluteFilePath();
    std::unique_ptr<FormLock> targetLock;
    if (!sameFile && !(targetLock = holdForm(r, target)))
        return false;
    book.saveAs(target);
    formPath = target;
    return true;
}

} // namespace

ReportResult FillExcelReport(ReportRun& r, QString& formPath, bool Korrekturbericht) {
    ReportResult result;
    auto status = [&](const QString& t) {
        if (r.status)
            r.status(t);
    };
    auto abortEnding = [&] {
        common::notify(r.message, common::MsgIcon::Critical, r.texts.text(kBox, 38));
        if (r.progress)
            r.progress(-1, 0);
        result.aborted = true;
        return result;
    };
    status(r.texts.text(kStatus, 5) + QLatin1Char(' ') + formPath + QLatin1Char(' ') +
           r.texts.text(kStatus, 6));

    ReportLayout layout;
    if (!checkRun(r, formPath, layout))
        return abortEnding();
    // From opening to saving the form is this run's alone.
    const std::unique_ptr<FormLock> formLock = holdForm(r, formPath);
    if (!formLock)
        return abortEnding();
    std::unique_ptr<Workbook> book;
    try {
        book = openWorkbook(formPath);
    } catch (const SpreadsheetError& e) {
        common::notify(r.message, common::MsgIcon::Critical,
                       r.texts.text(kBox, 29) + common::crlf() + common::crlf() + e.text());
        return result;
    }
    try {
        if (!keepUniqueIds(r, *book))
            return abortEnding();
        const int cutTexts = placeCharacteristics(r, layout, *book, Korrekturbericht);
        if (!saveFilledForm(r, *book, formPath, Korrekturbericht))
            return abortEnding();
        result.saved = true;
        result.cutTexts = cutTexts;
    } catch (const Abort&) {
        return abortEnding();
    } catch (const SpreadsheetError& e) {
        // The engine's text names the cause (a full disk, a row beyond the sheet, a name too long);
        // "in use or read-only" would send the user looking in the wrong place.
        common::notify(r.message, common::MsgIcon::Critical, e.text());
        return abortEnding();
    }

    status(r.texts.text(kStatus, 2) + QLatin1Char(' ') + formPath + QLatin1Char(' ') +
           r.texts.text(kStatus, 3));
    if (r.progress)
        r.progress(-1, 0);
    return result;
}

} // namespace excel
