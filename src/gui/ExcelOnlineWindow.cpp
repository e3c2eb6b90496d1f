#include "gui/ExcelOnlineWindow.h"
#include "settings/OutputFileSettings.h"

#include "common/ProgramPaths.h"
#include "gui/WindowOnTop.h"
#include "settings/LocaleText.h"
#include "settings/ResultFileName.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace gui {

using namespace excel;

namespace {
const QString kSection = QStringLiteral("frm_ExcelOnline");
}

QString ExcelOnlineWindow::text(int line) const {
    return m_context.text(kSection, line);
}

ExcelOnlineWindow::ExcelOnlineWindow(DialogContext context, host::HostFinder findHost, QWidget* mainWindow)
    : QDialog(mainWindow), m_context(context), m_findHost(std::move(findHost)), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_Online"));
    const DialogContext& st = m_context;
    setWindowTitle(text(2));

    m_view = new QTableWidget(0, 8);
    m_view->setObjectName(QStringLiteral("tblProtocol"));
    m_view->verticalHeader()->hide();
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setHorizontalHeaderLabels(m_protocol.rows().front().cells);
    m_view->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background: #00CCFF; color: black; font-weight: bold; }"));
    m_view->setColumnWidth(0, 260);
    for (int c = 1; c < 8; ++c)
        m_view->setColumnWidth(c, 110);
    m_path = new QLabel;
    m_path->setObjectName(QStringLiteral("lblPath"));
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pause = new QPushButton(text(4));
    m_pause->setObjectName(QStringLiteral("cmdPause"));
    m_pause->setToolTip(text(6));
    m_stop = new QPushButton(text(3));
    m_stop->setObjectName(QStringLiteral("cmdStopOnline"));
    m_stop->setToolTip(text(7));
    connect(m_pause, &QPushButton::clicked, this, &ExcelOnlineWindow::cmdPause_Click);
    connect(m_stop, &QPushButton::clicked, this, &ExcelOnlineWindow::cmdStopOnline_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_path, 1);
    buttons->addWidget(m_pause);
    buttons->addWidget(m_stop);
    auto* v = new QVBoxLayout(this);
    v->addWidget(m_view, 1);
    v->addLayout(buttons);
    resize(1100, 420);

    show();
    gui::SetTopmost(this, true);
    QString name;
    host::Verbinden(m_link, name, m_findHost, st.texts, st.message);
    if (name.isEmpty()) {
        m_pause->setEnabled(false);
        return; // the window stays; nothing is received
    }
    try {
        m_events = m_link.application->Events();
        m_events->setListener(this);
        // The protocol lives in the result folder, named after the part program and the start.
        const QDateTime now = QDateTime::currentDateTime();
        const QString folder = settings::readResultFileSettings(st.store, common::programDir()).folder;
        m_protocol.setPath(QDir(folder).filePath(
            settings::fileNameSafe(m_link.partProgram->PartName()) + QStringLiteral("__") +
            settings::fileNameSafe(settings::shortDateText(now.date())) + QStringLiteral("__") +
            settings::CurrentTimeText(now.time()) + QStringLiteral(".xlsx")));
        m_path->setText(text(8) + QLatin1Char(' ') + QDir::toNativeSeparators(m_protocol.path()));
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                              : QRect(0, 0, 1280, 800);
        for (const HostPlacement& p : hostPlacement(screen.width(), screen.height()))
            m_link.application->SetPlacement(p.dispid, p.value);
    } catch (const host::HostError& e) {
        reportHostError(QString(), e);
    }
}

ExcelOnlineWindow::~ExcelOnlineWindow() {
    m_events.reset();
    host::Trennen(m_link);
}

void ExcelOnlineWindow::showNewRows() {
    const auto& rows = m_protocol.rows();
    for (; m_shown < rows.size(); ++m_shown) {
        if (m_shown == 0)
            continue; // the heading is the view's own
        const OnlineProtocol::Row& r = rows[m_shown];
        const int at = m_view->rowCount();
        m_view->insertRow(at);
        for (int c = 0; c < r.cells.size(); ++c) {
            auto* item = new QTableWidgetItem(r.cells.at(c));
            item->setTextAlignment(r.label || c > 0 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
            QFont f = item->font();
            f.setBold(r.label || c == 0);
            item->setFont(f);
            if (r.label) { // the protocol's grey label rows, black on grey in any theme
                item->setBackground(QColor(0xC0, 0xC0, 0xC0));
                item->setForeground(QColor(Qt::black));
            }
            m_view->setItem(at, c, item);
        }
        if (r.label)
            m_view->setSpan(at, 0, 1, 8);
    }
    m_view->scrollToBottom();
    if (!m_protocol.saveError().isEmpty())
        m_path->setText(m_protocol.saveError());
}

void ExcelOnlineWindow::OnObjectExecuted(std::shared_ptr<host::HostPartProgram>,
                                         std::shared_ptr<host::HostCommand> c) {
    m_protocol.OnObjectExecuted(*c);
    showNewRows();
}

void ExcelOnlineWindow::OnAddObject(std::shared_ptr<host::HostPartProgram>,
                                    std::shared_ptr<host::HostCommand> c) {
    m_protocol.OnAddObject(*c);
    showNewRows();
}

void ExcelOnlineWindow::cmdPause_Click() {
    if (m_events) {
        m_events.reset();
        m_pause->setText(text(5));
        return;
    }
    if (!m_link.application)
        return;
    try {
        m_events = m_link.application->Events();
        m_events->setListener(this);
        m_pause->setText(text(4));
    } catch (const host::HostError& e) {
        m_events.reset();
        reportHostError(QString(), e);
    }
}

void ExcelOnlineWindow::reportHostError(const QString& lead, const host::HostError& e) {
    const QString detail = host::hostErrorText(e, m_context.texts);
    common::notify(m_context.message, common::MsgIcon::Error,
                   lead.isEmpty() ? detail : lead + common::crlf() + detail, host::connectionCaption());
}

void ExcelOnlineWindow::OnConnectionLost(const host::HostError& why) {
    // Nothing more will come; the protocol keeps what was received.
    m_events.reset();
    m_pause->setEnabled(false);
    reportHostError(m_context.text(QStringLiteral("MessageBoxen"), 58), why);
}

void ExcelOnlineWindow::cmdStopOnline_Click() {
    close();
}

void ExcelOnlineWindow::closeEvent(QCloseEvent* event) {
    if (!m_stopped) {
        m_stopped = true;
        m_events.reset();
        // The protocol is kept; it can be opened where the desktop opens workbooks.
        if (QFile::exists(m_protocol.path())) {
            common::Message m;
            m.icon = common::MsgIcon::Question;
            m.caption = common::applicationTitle();
            m.text = text(9) + common::crlf() + QDir::toNativeSeparators(m_protocol.path());
            m.buttons = common::MsgButtons::YesNo;
            m.defaultButton = common::MsgResult::No;
            if (m_context.message(m) == common::MsgResult::Yes)
                QDesktopServices::openUrl(QUrl::fromLocalFile(m_protocol.path()));
        }
        m_main->show();
    }
    event->accept();
}

} // namespace gui
