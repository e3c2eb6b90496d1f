#pragma once

#include "xlsx/ContentTypes.h"
#include "xlsx/Relationships.h"
#include "xlsx/SharedStrings.h"
#include "xlsx/SheetCopy.h"
#include "xlsx/Spreadsheet.h"
#include "xlsx/Styles.h"
#include "xlsx/XlsxWorksheet.h"
#include "xlsx/ZipPackage.h"

#include <pugixml.hpp>

#include <QHash>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace excel::xlsx {

class XlsxWorkbook : public Workbook {
public:
    // Opens a package; throws SpreadsheetError.
    static std::unique_ptr<XlsxWorkbook> open(const QString& path);
    static std::unique_ptr<XlsxWorkbook> create(const QString& sheetName);
    ~XlsxWorkbook() override;

    QStringList sheetNames() const override;
    Worksheet* sheet(const QString& name) override;
    Worksheet* addSheet(const QString& name) override;
    Worksheet* copySheetAfter(const QString& source, const QString& after, const QString& newName) override;
    void hideSheet(const QString& name) override;
    void renameSheet(const QString& oldName, const QString& newName) override;
    void save() override;
    void saveAs(const QString& path) override;
    QString path() const override { return m_path; }

    // For tests: refuse the final rename of saves, or put another one in its place.
    std::function<bool()> beforeRename;
    ReplaceFunction replace;

    SharedStrings& sharedStrings();
    Styles& styles();
    bool date1904() const { return m_date1904; }
    void cellsWritten() { m_cellsWritten = true; }
    QString sheetNameOfPart(const QString& part) const;
    ZipPackage& package() { return *m_pkg; }
    // A sheet is used as a tree: the ones not used for longest are parked beyond a few.
    void holding(XlsxWorksheet& sheet);
    void removePartWithType(const QString& part);

private:
    XlsxWorkbook() = default;
    void load();
    struct SheetEntry {
        QString name;
        QString part;
        pugi::xml_node node;
        std::unique_ptr<XlsxWorksheet> sheet;
        bool legacy = false; // an old macro sheet without a part
    };
    SheetEntry* entry(const QString& name) const;
    int indexOf(const SheetEntry* e) const;
    int indexOf(const QString& name) const { return indexOf(entry(name)); }
    static QString nameKey(const QString& name) { return name.toCaseFolded(); }
    XlsxWorksheet* worksheet(SheetEntry& e);
    void checkNewName(const QString& name, const QString& except = {}) const;
    // Copies a part and what it relates to, unless it is shared by the copies; `run.parts` maps
    // each part copied so far (by partKey) to its copy.
    QString copyPartTree(const QString& part, CopyRun& run);
    void copyRels(const Rels& rels, const QString& copy, CopyRun& run);
    QByteArray copyLegacyDrawing(const QString& copy, const QByteArray& data, CopyRun& run);
    // The copy's text of a part: what must stay unique in the workbook or names other copied
    // parts is given anew.
    QByteArray copyPartData(const QString& part, const QString& copy, const QString& type, CopyRun& run);
    QByteArray copyTable(const QString& part, const QString& copy, const QByteArray& data, CopyRun& run);
    QByteArray copyPivotTable(const QString& part, const QByteArray& data);
    SheetEntry& insertSheet(const QString& name, const QString& relId, int index, const QString& part);
    void setSheetName(SheetEntry& e, const QString& name);
    void shiftLocalSheetIds(int from);
    void updateAppXml();
    void write(const QString& path);
    void matchTypeToName(const QString& path);
    void dropVbaProject();
    template <typename Part>
    Part& partOrNew(std::unique_ptr<Part>& loaded, QString& part, const QString& kind);

    std::unique_ptr<ZipPackage> m_pkg;
    QString m_path;
    QString m_workbookPart;
    ContentTypes m_types;
    CopyIds m_copyIds;
    std::unique_ptr<pugi::xml_document> m_workbook;
    Rels m_workbookRels;
    std::unique_ptr<SharedStrings> m_sst;
    QString m_sstPart;
    std::unique_ptr<Styles> m_styles;
    QString m_stylesPart;
    // A run adds a thousand pages: sheets are found by name and by part through hashes.
    std::vector<std::unique_ptr<SheetEntry>> m_sheets;
    std::vector<XlsxWorksheet*> m_held;   // the sheets held as trees, the one used last at the end
    QHash<QString, SheetEntry*> m_byName; // by nameKey, the first sheet of a name
    QHash<QString, SheetEntry*> m_byPart; // by partKey
    int m_maxSheetId = 0;
    // The defined names local to a sheet (print area, print titles) by the sheet's position.
    std::map<int, std::vector<pugi::xml_node>> m_localNames;
    bool m_date1904 = false;
    bool m_cellsWritten = false;
    bool m_structureChanged = false;
};

} // namespace excel::xlsx
