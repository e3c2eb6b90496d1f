#pragma once

#include "gui/DialogContext.h"
#include "host/HostConnection.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace gui {

// Has the host save its part program and keeps a dated copy beside it.
class SavePartProgramDialog : public QDialog {
    Q_OBJECT

public:
    SavePartProgramDialog(DialogContext context, host::HostLink& link, QWidget* mainWindow);

    void cmdOK_Click();

private:
    QString text(int line) const;
    bool reportFailure(const QString& text);

    DialogContext m_context;
    host::HostLink& m_link;
    QWidget* m_main;
    QLabel* m_lblProgramName = nullptr;
    QLabel* m_lblDate = nullptr;
    QLabel* m_lblTime = nullptr;
    QLineEdit* m_txtPartNumber = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QLabel* m_notice = nullptr;
};

} // namespace gui
