#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace mainwindow {
class frm_Hauptfenster;
}

namespace settings {

// The list of header data variable names, kept in "HeaderData.cfg".
class frm_Kopfdaten : public QDialog {
    Q_OBJECT

public:
    explicit frm_Kopfdaten(mainwindow::frm_Hauptfenster& main);

    void cmdAddInList_Click();
    void cmdRemoveFromList_Click();
    void cmdClearList_Click();
    void cmdOK_Click();
    void cmdExport_Click();
    void cmdImport_Click();
    QStringList names() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool save();

    mainwindow::frm_Hauptfenster& m_main;
    QListWidget* m_list = nullptr;
    QLineEdit* m_new = nullptr;
};

} // namespace settings
