#pragma once

#include "gui/DialogContext.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

namespace gui {

// Writes the file that starts this program unattended with the chosen start options.
class BatchFileDialog : public QDialog {
    Q_OBJECT

public:
    explicit BatchFileDialog(DialogContext context, QWidget* mainWindow);

    void cmdCreateBatchFile_Click();
    void setWorkbook1(const QString& path);
    void setWorkbook2(const QString& path);
    void setConfiguration(const QString& path);
    void selectChoice(int index);
    bool workbook2Enabled() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc goes the way of closing: the main window, hidden while this one is open, comes back.
    void reject() override { close(); }

private:
    void option2Clicked(int index);

    DialogContext m_state;
    QWidget* m_main;
    QLabel* m_tabelle1 = nullptr;
    QLabel* m_tabelle2 = nullptr;
    QLabel* m_konfig = nullptr;
    QPushButton* m_selectTabelle2 = nullptr;
    QRadioButton* m_option1[3] = {};
    QRadioButton* m_option2[3] = {};
};

} // namespace gui
