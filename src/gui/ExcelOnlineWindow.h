#pragma once

#include "excel/OnlineProtocol.h"
#include "gui/DialogContext.h"
#include "host/HostConnection.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace gui {

// Excel online: dimension values stream into a protocol while the host executes the program.
class ExcelOnlineWindow : public QDialog, public host::HostEventListener {
    Q_OBJECT

public:
    ExcelOnlineWindow(DialogContext context, host::HostFinder findHost, QWidget* mainWindow);
    ~ExcelOnlineWindow() override;

    void cmdPause_Click();
    void cmdStopOnline_Click();
    bool receiving() const { return m_events != nullptr; }
    const excel::OnlineProtocol& protocol() const { return m_protocol; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc goes the way of closing: the main window, hidden while this one is open, comes back.
    void reject() override { close(); }

private:
    void OnObjectExecuted(std::shared_ptr<host::HostPartProgram>,
                          std::shared_ptr<host::HostCommand> c) override;
    void OnEndExecution(std::shared_ptr<host::HostPartProgram>, int) override {}
    void OnAddObject(std::shared_ptr<host::HostPartProgram>, std::shared_ptr<host::HostCommand> c) override;
    void OnConnectionLost(const host::HostError& why) override;
    void reportHostError(const QString& lead, const host::HostError& e);
    void showNewRows();
    QString text(int line) const;

    DialogContext m_context;
    host::HostFinder m_findHost;
    QWidget* m_main;
    host::HostLink m_link;
    std::shared_ptr<host::HostApplicationEvents> m_events;
    excel::OnlineProtocol m_protocol;
    QTableWidget* m_view = nullptr;
    QLabel* m_path = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_stop = nullptr;
    std::size_t m_shown = 0;
    bool m_stopped = false;
};

} // namespace gui
