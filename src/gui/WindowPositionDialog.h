#pragma once

#include "gui/DialogContext.h"

#include <QDialog>

class QLineEdit;

namespace gui {

// Edits the main window's stored position. Every way of closing moves the main window back to
// where it was when the dialog opened; a new position takes effect at the next start-up.
class WindowPositionDialog : public QDialog {
    Q_OBJECT

public:
    explicit WindowPositionDialog(DialogContext context, QWidget* mainWindow);

    void cmd_POS_LESEN_Click();
    void cmd_POS_SAVE_Click();
    void cmd_CANCEL_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DialogContext m_state;
    QWidget* m_main;
    QLineEdit* m_top = nullptr;
    QLineEdit* m_left = nullptr;
    QLineEdit* m_topAlt = nullptr;
    QLineEdit* m_leftAlt = nullptr;
    bool m_closing = false;
};

} // namespace gui
