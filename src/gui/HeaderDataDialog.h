#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace run {
struct AppState;
}

namespace gui {

// The list of header data variable names, kept in "HeaderData.cfg".
class HeaderDataDialog : public QDialog {
    Q_OBJECT

public:
    explicit HeaderDataDialog(run::AppState& state, QWidget* mainWindow);

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

    run::AppState& m_state;
    QWidget* m_main;
    QListWidget* m_list = nullptr;
    QLineEdit* m_new = nullptr;
};

} // namespace gui
