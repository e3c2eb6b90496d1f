#pragma once

#include "gui/DialogContext.h"

#include <QDialog>

namespace gui {

class FolderChooser;

// Asks for the result folder before each ASCII export, then starts the export.
class SelectFolderDialog : public QDialog {
    Q_OBJECT

public:
    explicit SelectFolderDialog(DialogContext context, QWidget* mainWindow);

    void cmdOK_Click();
    FolderChooser* chooser() const { return m_folder; }

Q_SIGNALS:
    // The folder is stored: the ASCII export may go on.
    void folderChosen();

private:
    DialogContext m_state;
    QWidget* m_main;
    FolderChooser* m_folder;
};

} // namespace gui
