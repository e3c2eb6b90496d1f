#pragma once

#include <QHash>
#include <QString>

#include <map>
#include <optional>
#include <set>

namespace excel::xlsx {

class ContentTypes;
class ZipPackage;

// What one sheet copy has done so far: the parts copied and the ids given anew, which other parts
// of the copy must then name.
struct CopyRun {
    std::map<QString, QString> parts;   // part (by partKey) -> its copy
    std::map<int, int> shapes;          // legacy shape number -> the copy's
    std::map<QString, QString> threads; // threaded comment id, upper case -> the copy's
    std::set<QString> unbound;          // copies of tables that lost their XML map binding
};

// Names in use, compared ignoring case, and fresh names "base_n" (n from 2) beside them.
class NameSet {
public:
    void add(const QString& name) { ++m_used[name.toCaseFolded()]; }
    QString fresh(const QString& base);

private:
    QHash<QString, int> m_used;         // case-folded name: how many use it
    QHash<QString, int> m_lowestSuffix; // per case-folded base: every base_n below this is taken
};

// What copied parts must keep unique across the workbook: the blocks of shape ids in legacy
// drawings, and the ids and names of tables. Worked out from the package once and then kept up
// to date, so that a thousand page copies do not read every drawing and table each time.
class CopyIds {
public:
    // A block of shape ids that no drawing uses yet.
    int newShapeBlock(const ZipPackage& pkg);
    void noteDrawing(const QString& part, int block);
    // An id no table has, and a name "base_n" (n from 2) that no table has as name or display name.
    int newTableId(const ZipPackage& pkg, const ContentTypes& types);
    QString newTableName(const ZipPackage& pkg, const ContentTypes& types, const QString& base);
    void noteTable(const QString& part, int id, const QString& name, const QString& displayName);
    // A pivot table name "base_n" that no pivot table has, taken at once. Names of removed pivot
    // tables stay taken: a run removes none.
    QString newPivotTableName(const ZipPackage& pkg, const ContentTypes& types, const QString& base);
    // A part was removed: what it held is free again.
    void forget(const QString& part);

private:
    void scanDrawings(const ZipPackage& pkg);
    void scanTables(const ZipPackage& pkg, const ContentTypes& types);

    std::optional<QHash<QString, int>> m_blocks; // the highest block of each drawing
    int m_maxBlock = 0;
    struct Table {
        int id = 0;
        QString names[2];
    };
    std::optional<QHash<QString, Table>> m_tables;
    int m_maxTableId = 0;
    NameSet m_tableNames;
    std::optional<NameSet> m_pivotTableNames;
};

} // namespace excel::xlsx
