#pragma once

#include "gui/DialogContext.h"
#include "model/MerkmalTable.h"

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace gui {

// The list of header data variable names, kept in "HeaderData.cfg".
class HeaderDataDialog : public QDialog {
    Q_OBJECT

public:
    HeaderDataDialog(DialogContext context, model::HeaderRows& header, QWidget* mainWindow);

    void cmdAddInList_Click();
    void cmdRemoveFromList_Click();
    void cmdClearList_Click();
    void cmdOK_Click();
    void cmdExport_Click();
    void cmdImport_Click();
    QStringList names() const;

protected:
    void closeEvent(QCloseEvent* event) override;

Q_SIGNALS:
    // The header data names changed; the grid shows them.
    void headerChanged();

private:
    bool save();

    DialogContext m_context;
    model::HeaderRows& m_header; // the grid's rows, renamed on OK
    QWidget* m_main;
    QListWidget* m_list = nullptr;
    QLineEdit* m_new = nullptr;
};

} // namespace gui
