#pragma once

#include "excel/FormLock.h"
#include "xlsx/Spreadsheet.h"
#include "hostlink/HostInterfaces.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The live protocol of Excel online: a label row for each executed group start or single
// dimension, a value row for each axis or single dimension, written into a workbook of our own
// that is saved after every row, so closing anything never loses what was measured.
namespace excel {

class OnlineProtocol {
public:
    struct Row {
        bool label = false;
        QStringList cells; // A to H; label rows hold A only
    };

    OnlineProtocol();

    // Where the workbook is saved (after every row); empty: not saved. A protocol started in the
    // same second under the same name (another window, another station) is never replaced: the
    // name gets "__2", "__3"; the protocol holds its name while it lives.
    void setPath(const QString& path);
    const QString& path() const { return m_path; }

    // An executed command (the host's mark is required) or an added one (it is not).
    void OnObjectExecuted(host::HostCommand& c) { handle(c, true); }
    void OnAddObject(host::HostCommand& c) { handle(c, false); }

    const std::vector<Row>& rows() const { return m_rows; }
    int OnlineRow() const { return m_onlineRow; }
    Workbook& workbook() { return *m_book; }
    // Saving failed at the last row: the text says why (the rows are still in memory).
    const QString& saveError() const { return m_saveError; }

    static QString title(const QString& typ, const QString& f1, const QString& f2, const QString& f3);
    static double threeDecimals(double v);

private:
    void handle(host::HostCommand& c, bool markTest);
    void labelRow(const QString& text);
    void save();

    std::unique_ptr<Workbook> m_book;
    Worksheet* m_sheet = nullptr;
    std::vector<Row> m_rows;
    int m_onlineRow = 1;
    QString m_feature[3];
    QString m_path;
    QString m_saveError;
    std::unique_ptr<FormLock> m_lock;
};

// Screen placement the host is given while the protocol runs: the upper two thirds.
struct HostPlacement {
    int dispid;
    double value;
};
std::vector<HostPlacement> hostPlacement(int screenWidth, int screenHeight);

} // namespace excel
