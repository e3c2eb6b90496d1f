#include "excel/ReportLayout.h"

#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"

#include "settings/TextCodec.h"

#include <QHash>

#include <array>
#include <map>
#include <set>

namespace excel {

namespace {

int letterValue(QChar c) {
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? c.unicode() - u'A' + 1 : 0;
}

} // namespace

std::vector<QString*> ReportLayoutValues::fileOrderFields() {
    return {&FormATolColum,   &FormDevColum,     &FormIDColum,   &FormCommentColum,
            &CommentLength,   &FormNominalColum, &FormOTolColum, &FormMeasColums,
            &FormSymbolColum, &FormUTolColum,    &FormEndRow,    &FormStartRow};
}

int ColumnNumber(const QString& text, const LayoutMessages* messages) {
    if (text.isEmpty())
        return 0;
    const int first = letterValue(text.at(0));
    int result = first;
    const QString trimmed = text.trimmed();
    if (trimmed.size() == 2)
        result = first * 26 + letterValue(trimmed.at(1));
    if (result > 256) {
        if (messages)
            common::notify(messages->message, common::MsgIcon::Information,
                           messages->texts.text(QStringLiteral("MessageBoxen"), 40));
        result = 256;
    }
    return result;
}

std::vector<int> ParseColumnList(const QString& text, const LayoutMessages* messages) {
    std::vector<int> list;
    for (const QString& piece : text.split(QLatin1Char(','))) {
        const qsizetype dash = piece.indexOf(QLatin1Char('-'));
        if (dash >= 0) {
            const int from = ColumnNumber(piece.left(dash).toUpper(), messages);
            const int to = ColumnNumber(piece.mid(dash + 1).toUpper(), messages);
            for (int c = from; c <= to; ++c)
                list.push_back(c);
        } else {
            list.push_back(ColumnNumber(piece, messages));
        }
    }
    return list;
}

bool LoadReportSettings(const settings::SettingsStore& store, int headerItems, ReportLayout& layout,
                        const LayoutMessages& messages) {
    return LoadReportSettings(
        [&store](const QString& key) { return settings::readReportLayoutValue(store, key); }, headerItems,
        layout, messages);
}

bool LoadReportSettings(const LayoutValueFn& value, int headerItems, ReportLayout& layout,
                        const LayoutMessages& messages) {
    ReportLayoutValues& v = layout.v;
    auto read = [&](const char* key) { return value(QString::fromLatin1(key)).value_or(QString()); };
    auto optional = [&](const char* key) {
        const QString s = read(key);
        return s.isEmpty() ? kNotUsed : s;
    };
    v.FormStartRow = read("FormStartRow");
    v.FormEndRow = read("FormEndRow");
    v.FormMeasColums = read("FormMeasColums");
    v.FormIDColum = read("FormIDColum");
    v.FormNominalColum = read("FormNominalColum");
    v.FormUTolColum = read("FormUTolColum");
    v.FormOTolColum = read("FormOTolColum");
    v.FormDevColum = read("FormDevColum");
    v.FormATolColum = read("FormATolColum");
    v.FormSymbolColum = read("FormSymbolColum");
    v.FormCommentColum = optional("FormCommentColum");
    v.CommentLength = read("CommentLength").isEmpty() ? QStringLiteral("0") : read("CommentLength");
    v.rows = settings::parseFlag(read("Zeile_Spalte")).value_or(true);
    v.FormDateRow = optional("FormDateRow");
    v.FormTimeRow = optional("FormTimeRow");
    v.Element1Colum = optional("Element1Colum");
    v.Element2Colum = optional("Element2Colum");
    v.Element3Colum = optional("Element3Colum");
    v.Bezug1Colum = optional("Bezug1Colum");
    v.Bezug2Colum = optional("Bezug2Colum");
    v.Bezug3Colum = optional("Bezug3Colum");
    v.EinheitColum = optional("EinheitColum");
    v.LfdNr = optional("LfdNr");
    layout.EmptyCells = settings::parseInteger(read("EmptyCells")).value_or(0);
    v.unicodeSymbols = settings::parseFlag(read("UnicodeSymbols")).value_or(false);
    v.Kopfdaten1.clear();
    v.Kopfdaten2.clear();
    // A header variable added after the layout was made has no cell yet: it is left out.
    for (int i = 1; i <= headerItems; ++i) {
        v.Kopfdaten1.push_back(value(QStringLiteral("Kopfdaten_1_%1").arg(i)).value_or(kNotUsed));
        v.Kopfdaten2.push_back(value(QStringLiteral("Kopfdaten_2_%1").arg(i)).value_or(kNotUsed));
    }

    const int start = settings::parseInteger(v.FormStartRow).value_or(0);
    const int end = settings::parseInteger(v.FormEndRow).value_or(0);
    bool valid = start != 0 && end != 0;
    for (const QString* required : {&v.FormMeasColums, &v.FormIDColum, &v.FormNominalColum, &v.FormUTolColum,
                                    &v.FormOTolColum, &v.FormDevColum, &v.FormATolColum, &v.FormSymbolColum})
        valid = valid && !required->isEmpty();
    if (!valid) {
        common::notify(messages.message, common::MsgIcon::Error,
                       messages.texts.text(QStringLiteral("MessageBoxen"), 39));
        return false;
    }
    layout.ColumnList = ParseColumnList(v.FormMeasColums, &messages);
    return true;
}

namespace {

// The fields that lie across the characteristics (columns with characteristics in rows, rows
// with characteristics in columns), by their settings key.
std::array<std::pair<const char*, const QString*>, 16> fieldsAcross(const ReportLayoutValues& v) {
    return {{{"FormIDColum", &v.FormIDColum},
             {"FormNominalColum", &v.FormNominalColum},
             {"FormUTolColum", &v.FormUTolColum},
             {"FormOTolColum", &v.FormOTolColum},
             {"FormDevColum", &v.FormDevColum},
             {"FormATolColum", &v.FormATolColum},
             {"FormSymbolColum", &v.FormSymbolColum},
             {"FormCommentColum", &v.FormCommentColum},
             {"Element1Colum", &v.Element1Colum},
             {"Element2Colum", &v.Element2Colum},
             {"Element3Colum", &v.Element3Colum},
             {"Bezug1Colum", &v.Bezug1Colum},
             {"Bezug2Colum", &v.Bezug2Colum},
             {"Bezug3Colum", &v.Bezug3Colum},
             {"EinheitColum", &v.EinheitColum},
             {"LfdNr", &v.LfdNr}}};
}

using Overlap = std::pair<QString, QString>;

const QString kMeasuredKey = QStringLiteral("FormMeasColums");
const QString kRowsKey = QStringLiteral("FormStartRow/FormEndRow");

// Where the characteristics' values go. Across the characteristics (a column with characteristics
// in rows, a row with characteristics in columns) lie the fields and the measurements; along them,
// date, time and header data.
class ValueBlock {
public:
    explicit ValueBlock(const ReportLayout& layout)
        : m_rows(layout.v.rows), m_first(row(layout.v.FormStartRow)), m_last(row(layout.v.FormEndRow)),
          m_measured(layout.ColumnList.begin(), layout.ColumnList.end()) {}

    int across(const QString& s) const { return m_rows ? ColumnNumber(s) : row(s); }
    int along(const QString& s) const { return m_rows ? row(s) : ColumnNumber(s); }
    // With characteristics in rows the fields must leave the measurement columns alone; in
    // columns, the measurement rows.
    bool onMeasurements(int at) const { return m_rows ? inMeasured(at) : inRows(at); }
    QString measurementsKey() const { return m_rows ? kMeasuredKey : kRowsKey; }
    // Along the characteristics: one of their own rows (columns).
    bool inside(int at) const { return m_rows ? inRows(at) : inMeasured(at); }
    QString insideKey() const { return m_rows ? kRowsKey : kMeasuredKey; }

private:
    static int row(const QString& s) { return settings::parseInteger(s).value_or(0); }
    bool inRows(int at) const { return at >= m_first && at <= m_last; }
    bool inMeasured(int at) const { return m_measured.count(at) > 0; }

    bool m_rows;
    int m_first;
    int m_last;
    std::set<int> m_measured;
};

// The fields in use by position across the characteristics, into `fields`; stops at the first
// that lies on the measurements or on another field.
std::optional<Overlap> placeFields(const ReportLayout& layout, const ValueBlock& block,
                                   std::map<int, QString>& fields) {
    for (const auto& [name, value] : fieldsAcross(layout.v)) {
        if (!layout.used(*value))
            continue;
        const QString key = QString::fromLatin1(name);
        const int at = block.across(*value);
        if (block.onMeasurements(at))
            return Overlap{key, block.measurementsKey()};
        if (const auto [it, added] = fields.emplace(at, key); !added)
            return Overlap{it->second, key};
    }
    return std::nullopt;
}

// A cell of date, time or header data: beside each part's measured value (no position across),
// or a fixed cell.
struct Place {
    QString key;
    int along = 0;
    std::optional<int> across;
};

// The places of date, time and header data in use, in the order they are checked.
std::vector<Place> placesAlong(const ReportLayout& layout, const ValueBlock& block) {
    const ReportLayoutValues& v = layout.v;
    std::vector<Place> places;
    for (const auto& [key, value] :
         {std::pair{"FormDateRow", &v.FormDateRow}, std::pair{"FormTimeRow", &v.FormTimeRow}})
        if (layout.used(*value))
            places.push_back({QString::fromLatin1(key), block.along(*value), std::nullopt});
    for (std::size_t i = 0; i < v.Kopfdaten1.size(); ++i) {
        const QString& r = v.Kopfdaten1[i];
        const QString& c = v.Kopfdaten2[i];
        if (!layout.used(r) || !layout.used(c))
            continue;
        const QString& acrossValue = v.rows ? c : r;
        Place place{QStringLiteral("Kopfdaten_%1").arg(i + 1), block.along(v.rows ? r : c), std::nullopt};
        if (acrossValue != QLatin1String("VM"))
            place.across = block.across(acrossValue);
        places.push_back(std::move(place));
    }
    return places;
}

// Date, time and header data "VM" go beside each part's measured value: along the
// characteristics, outside them, each in a row (column) of its own among `beside`.
std::optional<Overlap> besideOverlap(const ValueBlock& block, const Place& place,
                                     std::map<int, QString>& beside) {
    if (block.inside(place.along))
        return Overlap{place.key, block.insideKey()};
    if (const auto [it, added] = beside.emplace(place.along, place.key); !added)
        return Overlap{it->second, place.key};
    return std::nullopt;
}

// A fixed cell: only inside the characteristics' block can it meet their values.
std::optional<Overlap> fixedCellOverlap(const ValueBlock& block, const Place& place,
                                        const std::map<int, QString>& fields) {
    if (!block.inside(place.along))
        return std::nullopt;
    if (block.onMeasurements(*place.across))
        return Overlap{place.key, block.measurementsKey()};
    if (const auto field = fields.find(*place.across); field != fields.end())
        return Overlap{place.key, field->second};
    return std::nullopt;
}

} // namespace

std::optional<std::pair<QString, QString>> layoutOverlap(const ReportLayout& layout) {
    const ValueBlock block(layout);
    std::map<int, QString> fields; // position -> key
    if (auto clash = placeFields(layout, block, fields))
        return clash;
    std::map<int, QString> beside; // position -> key
    for (const Place& place : placesAlong(layout, block)) {
        const bool fixed = place.across.has_value();
        if (auto clash = fixed ? fixedCellOverlap(block, place, fields) : besideOverlap(block, place, beside))
            return clash;
    }
    return std::nullopt;
}

std::optional<std::pair<int, int>> layoutRowsReversed(const ReportLayout& layout) {
    const auto first = settings::parseInteger(layout.v.FormStartRow);
    const auto last = settings::parseInteger(layout.v.FormEndRow);
    if (first && last && *first >= 1 && *last >= 1 && *last < *first)
        return std::pair{*first, *last};
    return std::nullopt;
}

QString layoutFault(const ReportLayout& layout) {
    const ReportLayoutValues& v = layout.v;
    auto row = [](const QString& s) { return settings::parseInteger(s).value_or(0); };
    auto col = [](const QString& s) { return ColumnNumber(s); };
    if (row(v.FormStartRow) < 1 || row(v.FormEndRow) < row(v.FormStartRow))
        return QStringLiteral("FormStartRow/FormEndRow");
    if (layout.ColumnList.empty())
        return QStringLiteral("FormMeasColums");
    for (int c : layout.ColumnList)
        if (c < 1)
            return QStringLiteral("FormMeasColums");
    const auto fields = fieldsAcross(v);
    for (const auto& [name, value] : fields)
        if (layout.used(*value) && (v.rows ? col(*value) : row(*value)) < 1)
            return QString::fromLatin1(name);
    for (const auto& [name, value] :
         {std::pair{"FormDateRow", &v.FormDateRow}, std::pair{"FormTimeRow", &v.FormTimeRow}})
        if (layout.used(*value) && (v.rows ? row(*value) : col(*value)) < 1)
            return QString::fromLatin1(name);
    for (std::size_t i = 0; i < v.Kopfdaten1.size(); ++i) {
        const QString& r = v.Kopfdaten1[i];
        const QString& c = v.Kopfdaten2[i];
        if (!layout.used(r) || !layout.used(c))
            continue; // left out, with a message, when the run comes to it
        const bool rowOk = (!v.rows && r == QLatin1String("VM")) || row(r) >= 1;
        const bool colOk = (v.rows && c == QLatin1String("VM")) || col(c) >= 1;
        if (!rowOk || !colOk)
            return QStringLiteral("Kopfdaten_%1").arg(i + 1);
    }
    return {};
}

QStringList layoutFileLines(const ReportLayoutValues& cv, const QStringList& headerNames) {
    ReportLayoutValues v = cv;
    QStringList lines;
    const std::vector<QString*> first = v.fileOrderFields();
    for (QString* f : first)
        lines << *f;
    lines << (v.rows ? QStringLiteral("-1") : QStringLiteral("0"));
    lines << v.FormDateRow << v.FormTimeRow << v.Element1Colum << v.Element2Colum << v.Element3Colum
          << v.Bezug1Colum << v.Bezug2Colum << v.Bezug3Colum << v.EinheitColum;
    for (const QString& k : v.Kopfdaten1)
        lines << k.trimmed();
    for (const QString& k : v.Kopfdaten2)
        lines << k.trimmed();
    lines << v.LfdNr << QStringLiteral("[Kopfdaten]");
    for (const QString& n : headerNames)
        lines << n.trimmed();
    return lines;
}

void readLayoutFile(ReportLayoutValues& v, const QStringList& lines, int headerItems) {
    qsizetype at = 0;
    auto next = [&](QString& into) {
        if (at < lines.size())
            into = lines.at(at);
        ++at;
    };
    for (QString* f : v.fileOrderFields())
        next(*f);
    if (at < lines.size())
        v.rows = settings::parseInteger(lines.at(at)).value_or(0) != 0;
    ++at;
    for (QString* f : {&v.FormDateRow, &v.FormTimeRow, &v.Element1Colum, &v.Element2Colum, &v.Element3Colum,
                       &v.Bezug1Colum, &v.Bezug2Colum, &v.Bezug3Colum, &v.EinheitColum})
        next(*f);
    v.Kopfdaten1.resize(static_cast<std::size_t>(headerItems));
    v.Kopfdaten2.resize(static_cast<std::size_t>(headerItems));
    for (QString& k : v.Kopfdaten1)
        next(k);
    for (QString& k : v.Kopfdaten2)
        next(k);
    next(v.LfdNr);
}

std::optional<QStringList> layoutFileHeaderNames(const QStringList& lines) {
    const qsizetype at = lines.indexOf(QStringLiteral("[Kopfdaten]"));
    if (at < 0)
        return std::nullopt;
    return lines.mid(at + 1);
}

namespace {

QString layoutFilePath(const QString& path) {
    return path.endsWith(QLatin1String(".cfg")) ? path : path + QStringLiteral(".cfg");
}

} // namespace

std::optional<QStringList> layoutHeaderMismatch(const QString& path, const QStringList& current) {
    if (path.isEmpty())
        return std::nullopt;
    const auto lines = settings::readTextLines(layoutFilePath(path), settings::systemCodePage());
    if (!lines)
        return std::nullopt;
    auto names = layoutFileHeaderNames(*lines);
    if (!names)
        return std::nullopt;
    for (QString& n : *names)
        n = n.trimmed();
    QStringList set = current;
    for (QString& n : set)
        n = n.trimmed();
    if (*names == set)
        return std::nullopt;
    return names;
}

QString headerMismatchText(const settings::LanguageTable& texts, const QStringList& inFile,
                           const QStringList& current, bool filledByPosition) {
    using namespace settings::msgline;
    const QString box = QStringLiteral("MessageBoxen");
    auto list = [](const QStringList& names) {
        QStringList shown;
        for (const QString& n : names)
            shown << QStringLiteral("\u201C%1\u201D").arg(n.trimmed());
        return shown.isEmpty() ? QStringLiteral("\u2013") : shown.join(QStringLiteral(", "));
    };
    return texts.text(box, LayoutHeaderMismatch) + common::crlf() +
           texts.text(box, LayoutHeaderNames).arg(list(inFile), list(current)) + common::crlf() +
           texts.text(box, filledByPosition ? LayoutHeaderByPosition : LayoutLoadOther);
}

bool LoadReportConfiguration(const QString& path, const settings::SettingsStore& store, int headerItems,
                             LayoutFileValues* loaded) {
    if (path.isEmpty())
        return false;
    const QString file = layoutFilePath(path);
    const auto lines = settings::readTextLines(file, settings::systemCodePage());
    if (!lines)
        return false;
    QStringList keys = {QStringLiteral("FormATolColum"),   QStringLiteral("FormDevColum"),
                        QStringLiteral("FormIDColum"),     QStringLiteral("FormCommentColum"),
                        QStringLiteral("CommentLength"),   QStringLiteral("FormNominalColum"),
                        QStringLiteral("FormOTolColum"),   QStringLiteral("FormMeasColums"),
                        QStringLiteral("FormSymbolColum"), QStringLiteral("FormUTolColum"),
                        QStringLiteral("FormEndRow"),      QStringLiteral("FormStartRow"),
                        QStringLiteral("Zeile_Spalte"),    QStringLiteral("FormDateRow"),
                        QStringLiteral("FormTimeRow"),     QStringLiteral("Element1Colum"),
                        QStringLiteral("Element2Colum"),   QStringLiteral("Element3Colum"),
                        QStringLiteral("Bezug1Colum"),     QStringLiteral("Bezug2Colum"),
                        QStringLiteral("Bezug3Colum"),     QStringLiteral("EinheitColum")};
    for (int a = 1; a <= 2; ++a)
        for (int k = 1; k <= headerItems; ++k)
            keys << QStringLiteral("Kopfdaten_%1_%2").arg(a).arg(k);
    keys << QStringLiteral("LfdNr");
    // A file that ends before its values would leave the layout half old, half new.
    if (lines->size() < keys.size())
        return false;
    LayoutFileValues values;
    values.reserve(static_cast<std::size_t>(keys.size()));
    for (qsizetype i = 0; i < keys.size(); ++i)
        values.emplace_back(keys.at(i), lines->at(i));
    try {
        settings::writeReportLayoutValues(store, values);
    } catch (const settings::SettingsWriteError&) {
        return false;
    }
    if (loaded)
        *loaded = std::move(values);
    return true;
}

LayoutValueFn layoutOfFile(const LayoutFileValues& values, const settings::SettingsStore& store) {
    QHash<QString, QString> byKey;
    for (const auto& [key, value] : values)
        byKey.insert(key, value);
    // Read now: another run may store its own layout before this one fills its form.
    for (const QString& key : {QStringLiteral("EmptyCells"), QStringLiteral("UnicodeSymbols")})
        if (!byKey.contains(key))
            if (const auto stored = settings::readReportLayoutValue(store, key))
                byKey.insert(key, *stored);
    return [byKey](const QString& key) -> std::optional<QString> {
        if (const auto it = byKey.constFind(key); it != byKey.constEnd())
            return *it;
        return std::nullopt;
    };
}

void storeReportLayout(const settings::SettingsStore& store, const ReportLayoutValues& v) {
    LayoutFileValues values;
    values.emplace_back(QStringLiteral("Zeile_Spalte"), settings::flagText(v.rows));
    const std::pair<const char*, const QString*> boxes[] = {
        {"FormStartRow", &v.FormStartRow},         {"FormEndRow", &v.FormEndRow},
        {"FormMeasColums", &v.FormMeasColums},     {"FormIDColum", &v.FormIDColum},
        {"FormNominalColum", &v.FormNominalColum}, {"FormUTolColum", &v.FormUTolColum},
        {"FormOTolColum", &v.FormOTolColum},       {"FormDevColum", &v.FormDevColum},
        {"FormATolColum", &v.FormATolColum},       {"FormSymbolColum", &v.FormSymbolColum},
        {"FormCommentColum", &v.FormCommentColum}, {"CommentLength", &v.CommentLength},
        {"FormDateRow", &v.FormDateRow},           {"FormTimeRow", &v.FormTimeRow},
        {"Element1Colum", &v.Element1Colum},       {"Element2Colum", &v.Element2Colum},
        {"Element3Colum", &v.Element3Colum},       {"Bezug1Colum", &v.Bezug1Colum},
        {"Bezug2Colum", &v.Bezug2Colum},           {"Bezug3Colum", &v.Bezug3Colum},
        {"EinheitColum", &v.EinheitColum}};
    for (const auto& [key, value] : boxes)
        values.emplace_back(QString::fromLatin1(key), *value);
    for (std::size_t i = 0; i < v.Kopfdaten1.size(); ++i)
        values.emplace_back(QStringLiteral("Kopfdaten_1_%1").arg(i + 1), v.Kopfdaten1[i].trimmed());
    for (std::size_t i = 0; i < v.Kopfdaten2.size(); ++i)
        values.emplace_back(QStringLiteral("Kopfdaten_2_%1").arg(i + 1), v.Kopfdaten2[i].trimmed());
    values.emplace_back(QStringLiteral("LfdNr"), v.LfdNr);
    values.emplace_back(QStringLiteral("UnicodeSymbols"), settings::flagText(v.unicodeSymbols));
    settings::writeReportLayoutValues(store, values);
}

QString SymbolText(const QString& t, bool unicode) {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> h;
        for (const char* loc : {"X_LOCATION", "Y_LOCATION", "Z_LOCATION", "H_LOCATION", "L_LOCATION",
                                "PA_LOCATION", "PD_LOCATION", "PR_LOCATION", "R_LOCATION", "RS_LOCATION",
                                "RT_LOCATION", "S_LOCATION", "T_LOCATION", "V_LOCATION"})
            h.insert(QString::fromLatin1(loc), QStringLiteral("\""));
        const std::pair<const char*, const char*> single[] = {{"A_LOCATION", "$"},
                                                              {"D_LOCATION", "n"},
                                                              {"2D_ANGLE", "2D $"},
                                                              {"2D_DISTANCE", "2D #"},
                                                              {"3D_ANGLE", "3D $"},
                                                              {"3D_DISTANCE", "3D #"},
                                                              {"ANGULARITY", "a"},
                                                              {"COAXIALITY", "%"},
                                                              {"CONCENTRICITY", "r"},
                                                              {"FLATNESS", "c"},
                                                              {"FLATNESS_LOCATION", "c"},
                                                              {"TRUE_FLATNESS_LOCATION", "c"},
                                                              {"KEYIN", "&"},
                                                              {"PARALLELISM", "f"},
                                                              {"PERPENDICULARITY", "b"},
                                                              {"PROFILE", "d"},
                                                              {"ROUNDNESS", "e"},
                                                              {"ROUNDNESS_LOCATION", "e"},
                                                              {"TRUE_ROUNDNESS_LOCATION", "e"},
                                                              {"RUNOUT", "h"},
                                                              {"STRAIGHTNESS", "u"},
                                                              {"STRAIGHTNESS_LOCATION", "u"},
                                                              {"TRUE_STRAIGHTNESS_LOCATION", "u"},
                                                              {"SYMMETRY", "i"}};
        for (const auto& [k, s] : single)
            h.insert(QString::fromLatin1(k), QString::fromLatin1(s));
        for (const char* tp :
             {"TRUE_X_LOCATION", "TRUE_Y_LOCATION", "TRUE_Z_LOCATION", "TRUE_PA_LOCATION", "TRUE_PR_LOCATION",
              "TRUE_DD_LOCATION", "TRUE_DF_LOCATION", "TRUE_DIAM_LOCATION", "TRUE_LD_LOCATION",
              "TRUE_LF_LOCATION", "TRUE_WD_LOCATION", "TRUE_WF_LOCATION", "TRUE_D1_LOCATION",
              "TRUE_D2_LOCATION", "TRUE_D3_LOCATION"})
            h.insert(QString::fromLatin1(tp), QStringLiteral("j"));
        return h;
    }();
    if (!unicode)
        return table.value(t);
    // What the symbol font shows for its letters; the letters of coordinates, distances and
    // angles are no GD&T symbols and mean something in that font only.
    static const QHash<QString, QString> unicodeOf = {
        {QStringLiteral("n"), QStringLiteral("\u2300")}, {QStringLiteral("j"), QStringLiteral("\u2316")},
        {QStringLiteral("c"), QStringLiteral("\u23E5")}, {QStringLiteral("e"), QStringLiteral("\u25CB")},
        {QStringLiteral("u"), QStringLiteral("\u23E4")}, {QStringLiteral("d"), QStringLiteral("\u2313")},
        {QStringLiteral("f"), QStringLiteral("\u2225")}, {QStringLiteral("b"), QStringLiteral("\u27C2")},
        {QStringLiteral("a"), QStringLiteral("\u2220")}, {QStringLiteral("i"), QStringLiteral("\u232F")},
        {QStringLiteral("r"), QStringLiteral("\u25CE")}, {QStringLiteral("%"), QStringLiteral("\u25CE")},
        {QStringLiteral("h"), QStringLiteral("\u2197")}};
    return unicodeOf.value(table.value(t));
}

} // namespace excel
