#pragma once

#include <QDialog>

namespace mainwindow {
class frm_Hauptfenster;
}

namespace settings {

class FolderChooser;

// Asks for the result folder before each ASCII export, then starts the export.
class frm_SelectFolder : public QDialog {
    Q_OBJECT

public:
    explicit frm_SelectFolder(mainwindow::frm_Hauptfenster& main);

    void cmdOK_Click();
    FolderChooser* chooser() const { return m_folder; }

private:
    mainwindow::frm_Hauptfenster& m_main;
    FolderChooser* m_folder;
};

} // namespace settings
