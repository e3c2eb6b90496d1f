#pragma once

#include "excel/Spreadsheet.h"
#include "excel/xlsx/Relationships.h"
#include "excel/xlsx/SharedStrings.h"
#include "excel/xlsx/Styles.h"
#include "excel/xlsx/XlsxWorksheet.h"
#include "excel/xlsx/ZipPackage.h"

#include <pugixml.hpp>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace excel::xlsx {

// The content type of a SpreadsheetML part: "worksheet" gives its ...spreadsheetml.worksheet+xml.
QString spreadsheetType(const QString& kind);

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
    void renameSheet(const QString& oldName, const QString& newName) override;
    void save() override;
    void saveAs(const QString& path) override;
    QString path() const override { return m_path; }

    // For tests: refuse the final rename of the next save.
    std::function<bool()> beforeRename;

    SharedStrings& sharedStrings();
    Styles& styles();
    bool date1904() const { return m_date1904; }
    void cellsWritten() { m_cellsWritten = true; }
    QString sheetNameOfPart(const QString& part) const;
    ZipPackage& package() { return *m_pkg; }
    void setContentType(const QString& part, const QString& type);
    QString contentTypeOf(const QString& part) const;
    void removePartWithType(const QString& part);

private:
    XlsxWorkbook() = default;
    void load();
    struct SheetEntry {
        QString name;
        QString part;
        pugi::xml_node node;
        std::unique_ptr<XlsxWorksheet> sheet;
    };
    SheetEntry* entry(const QString& name);
    int indexOf(const QString& name) const;
    XlsxWorksheet* worksheet(SheetEntry& e);
    void checkNewName(const QString& name, const QString& except = {}) const;
    QString freePartName(const QString& like) const;
    QString copyPartTree(const QString& part, std::map<QString, QString>& copied);
    void insertSheetNode(const QString& name, const QString& relId, int index, SheetEntry entry);
    void shiftLocalSheetIds(int from);
    void updateAppXml();
    void write(const QString& path);
    template <typename Part>
    Part& partOrNew(std::unique_ptr<Part>& loaded, QString& part, const QString& kind);

    std::unique_ptr<ZipPackage> m_pkg;
    QString m_path;
    QString m_workbookPart;
    std::unique_ptr<pugi::xml_document> m_contentTypes;
    std::unique_ptr<pugi::xml_document> m_workbook;
    Rels m_workbookRels;
    std::unique_ptr<SharedStrings> m_sst;
    QString m_sstPart;
    std::unique_ptr<Styles> m_styles;
    QString m_stylesPart;
    std::vector<SheetEntry> m_sheets;
    bool m_date1904 = false;
    bool m_cellsWritten = false;
    bool m_structureChanged = false;
};

} // namespace excel::xlsx
