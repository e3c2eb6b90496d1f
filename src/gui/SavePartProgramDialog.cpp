#include "gui/SavePartProgramDialog.h"

#include "gui/WindowOnTop.h"
#include "partprogram/SavePartProgram.h"
#include "settings/SettingsMessages.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace gui {

using namespace partprogram;

namespace {
const QString kSection = QStringLiteral("frm_SavePartProgram");
const QString kBox = QStringLiteral("MessageBoxen");
} // namespace

QString SavePartProgramDialog::text(int line) const {
    return m_context.text(kSection, line);
}

SavePartProgramDialog::SavePartProgramDialog(DialogContext context, host::HostLink& link, QWidget* mainWindow)
    : QDialog(mainWindow), m_context(context), m_link(link), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_SavePartProgram"));
    setWindowTitle(text(2));

    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* g = new QGridLayout(frame);
    const char* names[4] = {"Label1", "Label2", "Label3", "Label4"};
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(text(3 + i));
        l->setObjectName(QString::fromLatin1(names[i]));
        g->addWidget(l, i, 0);
    }
    m_lblProgramName = new QLabel;
    m_lblProgramName->setObjectName(QStringLiteral("lblProgramName"));
    m_lblProgramName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblDate = new QLabel;
    m_lblDate->setObjectName(QStringLiteral("lblDate"));
    m_lblTime = new QLabel;
    m_lblTime->setObjectName(QStringLiteral("lblTime"));
    m_txtPartNumber = new QLineEdit;
    m_txtPartNumber->setObjectName(QStringLiteral("txtPartNumber"));
    g->addWidget(m_lblProgramName, 0, 1);
    g->addWidget(m_lblDate, 1, 1);
    g->addWidget(m_lblTime, 2, 1);
    g->addWidget(m_txtPartNumber, 3, 1);
    g->setColumnStretch(1, 1);

    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("lblNotice"));
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_notice->setVisible(false);

    m_cmdOK = new QPushButton(text(7));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setToolTip(text(8));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(text(9));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setToolTip(text(10));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(m_cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(m_cmdCancel, QDialogButtonBox::RejectRole);
    connect(m_cmdOK, &QPushButton::clicked, this, &SavePartProgramDialog::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::close);

    auto* v = new QVBoxLayout(this);
    v->addWidget(frame);
    v->addWidget(m_notice);
    v->addWidget(buttons);
    setMinimumWidth(560);

    // Without a connected part program there is nothing to save: say so instead of failing.
    try {
        if (!m_link.hasPartProgram())
            throw host::HostError(m_context.text(kBox, 22));
        const QString file = m_link.partProgram->FileName();
        m_lblProgramName->setText(file.left(std::max<qsizetype>(0, file.size() - 4)));
    } catch (const host::HostError& e) {
        m_notice->setText(host::hostErrorText(e, m_context.texts));
        m_notice->setVisible(true);
        m_cmdOK->setEnabled(false);
    }
    const QDateTime now = QDateTime::currentDateTime();
    m_lblDate->setText(dateText(now.date()));
    m_lblTime->setText(timeText(now.time()));
    m_txtPartNumber->clear();
    gui::SetTopmost(this, true);
}

bool SavePartProgramDialog::reportFailure(const QString& t) {
    common::notify(m_context.message, common::MsgIcon::Error, t);
    return false;
}

void SavePartProgramDialog::cmdOK_Click() {
    if (!isValidPartNumber(m_txtPartNumber->text())) {
        reportFailure(m_context.text(kBox, 21));
        return;
    }
    const QString target =
        copyName(m_lblProgramName->text(), m_lblDate->text(), m_lblTime->text(), m_txtPartNumber->text());
    try {
        if (!m_link.hasPartProgram())
            throw host::HostError(m_context.text(kBox, 22));
        m_link.partProgram->Save();
        copyOverwriting(m_link.partProgram->FileName(), target);
    } catch (const host::HostError& e) {
        reportFailure(host::hostErrorText(e, m_context.texts));
        return; // the window stays open
    } catch (const settings::FileError& e) {
        reportFailure(m_context.text(kBox, 20) + common::crlf() + e.path() + common::crlf() + e.reason());
        return;
    }
    close();
    common::notify(
        m_context.message, common::MsgIcon::Information,
        m_context.text(kBox, settings::msgline::PartProgramSaved).arg(QDir::toNativeSeparators(target)));
    if (m_main)
        m_main->show();
}

} // namespace gui
