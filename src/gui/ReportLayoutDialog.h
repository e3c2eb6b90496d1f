#pragma once

#include "gui/DialogContext.h"

#include "excel/ReportLayout.h"

#include <QDialog>
#include <QFileDialog>
#include <QMap>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace gui {

// Edits the report layout: where each value goes in the user's form.
class ReportLayoutDialog : public QDialog {
    Q_OBJECT

public:
    explicit ReportLayoutDialog(DialogContext context, QWidget* mainWindow);

    void cmdOK_Click();
    void cmdSaveAs_Click(const QString& chosenFile = {});
    void cmdLoad_Click(const QString& chosenFile = {});
    excel::ReportLayoutValues values() const;
    void showValues(const excel::ReportLayoutValues& v);
    QLineEdit* box(const char* name) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using FileDialog = QString (*)(QWidget*, const QString&, const QString&, const QString&, QString*,
                                   QFileDialog::Options);
    QString layoutFile(const QString& chosenFile, FileDialog dialog);
    enum class Check { Ok, Save };
    bool validate(Check check);
    void orientationChanged();
    void setTitle(const QString& file);
    void editCell(int row, int column);
    void leaveCell();
    void moveEditor(int dRow, int dColumn, bool wrap);
    QStringList headerNames() const;
    QString text(int line) const;

    DialogContext m_state;
    QWidget* m_main;
    QMap<QString, QLineEdit*> m_boxes;
    QRadioButton* m_rows = nullptr;
    QRadioButton* m_columns = nullptr;
    QCheckBox* m_unicodeSymbols = nullptr;
    QLabel* m_devLabel = nullptr;
    QLabel* m_atolLabel = nullptr;
    QLabel* m_lfdLabel = nullptr;
    QGroupBox* m_headerFrame = nullptr;
    QTableWidget* m_grid = nullptr;
    QLineEdit* m_text1 = nullptr;
    int m_editRow = -1;
    int m_editColumn = -1;
};

} // namespace gui
