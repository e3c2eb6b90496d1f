#pragma once

#include "excel/Spreadsheet.h"
#include "excel/xlsx/SharedStrings.h"
#include "excel/xlsx/Styles.h"
#include "excel/xlsx/ZipPackage.h"

#include <pugixml.hpp>

#include <functional>
#include <map>
#include <memory>
#include <memory_resource>
#include <vector>

namespace excel::xlsx {

class XlsxWorkbook;

// The relationships of one part.
class Rels {
public:
    struct Rel {
        QString id;
        QString type; // last path segment of the type, "worksheet", "comments", ...
        QString fullType;
        QString target; // as written
        bool external = false;
    };
    void load(const ZipPackage& pkg, const QString& sourcePart);
    QByteArray serialize() const;
    const std::vector<Rel>& all() const { return m_rels; }
    const Rel* byId(const QString& id) const;
    const Rel* firstOfType(const QString& type) const;
    QString add(const QString& fullType, const QString& target);
    void append(const Rel& rel) {
        m_rels.push_back(rel);
        m_modified = true;
    }
    void remove(const QString& id);
    bool modified() const { return m_modified; }
    bool empty() const { return m_rels.empty(); }
    QString targetPart(const Rel& r) const { return resolvePart(m_source, r.target); }

private:
    QString m_source;
    std::vector<Rel> m_rels;
    bool m_modified = false;
};

class XlsxWorksheet : public Worksheet {
public:
    XlsxWorksheet(XlsxWorkbook& book, QString part, std::unique_ptr<pugi::xml_document> doc);
    XlsxWorksheet(const XlsxWorksheet&) = delete; // m_lastFresh points into this object's map
    XlsxWorksheet& operator=(const XlsxWorksheet&) = delete;

    QString name() const override;
    QString cellText(int row, int column) override;
    void setText(int row, int column, const QString& text) override;
    void setNumber(int row, int column, double value) override;
    void setDate(int row, int column, const QDate& date) override;
    void setTime(int row, int column, const QTime& time) override;
    void format(const Range& range, const CellFormat& format) override;
    void formatColumns(int firstColumn, int lastColumn, const CellFormat& format) override;
    void merge(const Range& range) override;
    void setColumnWidth(int firstColumn, int lastColumn, double width) override;
    void autoFitColumn(int column) override;
    void freezeFirstRow() override;
    void clearComment(int row, int column) override;

    const QString& part() const { return m_part; }
    bool modified() const { return m_modified; }
    QByteArray serialize();
    Rels& rels();
    const pugi::xml_document& document() const { return *m_doc; }

private:
    // Rows the program adds are kept compact until saved: a form gets thousands of them, and a
    // node per cell and value would cost more than everything else.
    struct FreshCell {
        int column = 0;
        int style = 0;
        char kind = 0; // 0 empty, 'n' number, 's' shared string
        unsigned char length = 0;
        char value[32]; // the value's text: a shared string index or a number, at most 24 chars
        void set(char k, const char* text, std::size_t n);
        const char* end() const { return value + length; }
    };
    struct CellRef {
        pugi::xml_node node;
        FreshCell* fresh = nullptr;
        explicit operator bool() const { return node || fresh; }
    };
    CellRef at(int row, int column, bool create);
    FreshCell* freshCell(int row, int column, bool create);
    int styleOf(const CellRef& c) const;
    void setStyleOf(CellRef& c, int style);
    void setNumberText(CellRef& c, const char* text);
    QString freshText(const FreshCell& c);
    // The added rows live in an arena: thousands of small blocks, all released at once.
    using FreshRows = std::pmr::map<int, std::pmr::vector<FreshCell>>;
    QByteArray freshRowsXml(FreshRows::const_iterator from, FreshRows::const_iterator to) const;
    std::pmr::monotonic_buffer_resource m_arena;
    FreshRows m_fresh{&m_arena};
    FreshRows::iterator m_lastFresh = m_fresh.end(); // the row written last

    pugi::xml_node cell(int row, int column, bool create);
    pugi::xml_node rowNode(int row, bool create);
    int defaultStyle(int row, int column);
    void clearValue(pugi::xml_node c);
    void unshareFormula(pugi::xml_node c);
    void setStyle(pugi::xml_node c, int style);
    void setValueText(pugi::xml_node c, const char* text);
    void touch();
    // Column ranges: split so that [first, last] is covered by <col> elements of its own.
    std::vector<pugi::xml_node> columnNodes(int first, int last);
    void updateDimension();
    void noteCell(int row, int column);

    XlsxWorkbook& m_book;
    QString m_part;
    std::unique_ptr<pugi::xml_document> m_doc;
    pugi::xml_node m_root;
    pugi::xml_node m_sheetData;
    std::map<int, pugi::xml_node> m_rows;
    int m_lastRow = 0;
    pugi::xml_node m_lastRowNode;
    pugi::xml_node m_lastCellRow;
    int m_lastCellColumn = 0;
    int m_minRow = 0, m_maxRow = 0, m_minColumn = 0, m_maxColumn = 0;
    std::unique_ptr<Rels> m_rels;
    bool m_modified = false;
    struct ColumnStyle {
        int min;
        int max;
        int style;
    };
    std::vector<ColumnStyle> m_columnStyles;
    bool m_columnStylesKnown = false;
};

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
