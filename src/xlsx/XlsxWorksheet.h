#pragma once

#include "xlsx/Spreadsheet.h"
#include "xlsx/Relationships.h"

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <memory_resource>
#include <vector>

namespace excel::xlsx {

class XlsxWorkbook;

// A worksheet is held as a tree while it is being written; the workbook parks the ones not used
// lately as their XML in the package and they are parsed again when next used. A run fills a
// thousand pages, and a tree per page would take hundreds of megabytes.
class XlsxWorksheet : public Worksheet {
public:
    // inPackage: the package holds this content already; else the sheet is written on saving.
    XlsxWorksheet(XlsxWorkbook& book, QString part, std::unique_ptr<pugi::xml_document> doc,
                  bool inPackage = true);
    XlsxWorksheet(const XlsxWorksheet&) = delete; // m_lastFresh points into this object's map
    XlsxWorksheet& operator=(const XlsxWorksheet&) = delete;

    QString name() const override;
    QString cellText(int row, int column) override;
    bool isEmpty(int row, int column) override;
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
    // Changed since the package last got its text: only a held sheet can be.
    bool modified() const { return m_modified; }
    // The sheet's XML as it is now; serialize() wants a held sheet and may run beside others.
    QByteArray currentXml();
    QByteArray serialize();
    // Leaves the text in the package and lets go of the tree.
    void park();
    Rels& rels();

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

    void hold();
    void load();
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

} // namespace excel::xlsx
