#include "gui/HeaderDataDialog.h"

#include "gui/DialogButton.h"
#include "gui/WindowOnTop.h"
#include "settings/HeaderData.h"
#include "settings/SettingsMessages.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace gui {

using namespace settings;

namespace {
const QString kSection = QStringLiteral("frm_HeaderDataSetup");
}

HeaderDataDialog::HeaderDataDialog(DialogContext context, model::HeaderRows& header, QWidget* mainWindow)
    : QDialog(mainWindow), m_context(context), m_header(header), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_Kopfdaten"));
    const DialogContext& st = m_context;
    auto t = [&](int line) { return st.text(kSection, line); };
    setWindowTitle(t(2) + QLatin1Char(' ') + common::applicationTitle());

    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("lstVariables"));
    m_list->setToolTip(t(10));
    m_new = new QLineEdit;
    m_new->setObjectName(QStringLiteral("txtNewVariable"));
    m_new->setToolTip(t(11));

    auto picture = [this](const QString& name, QStyle::StandardPixmap icon, const QString& tip) {
        auto* b = new QPushButton;
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setFixedWidth(40);
        // Enter in the name box adds the name itself; a button taking the key too adds it twice.
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* add = picture(QStringLiteral("cmdAddInList"), QStyle::SP_ArrowDown, t(7));
    QPushButton* remove = picture(QStringLiteral("cmdRemoveFromList"), QStyle::SP_DialogDiscardButton, t(8));
    QPushButton* clear = picture(QStringLiteral("cmdClearList"), QStyle::SP_TrashIcon, t(9));
    connect(add, &QPushButton::clicked, this, &HeaderDataDialog::cmdAddInList_Click);
    connect(m_new, &QLineEdit::returnPressed, this, &HeaderDataDialog::cmdAddInList_Click);
    connect(remove, &QPushButton::clicked, this, &HeaderDataDialog::cmdRemoveFromList_Click);
    connect(clear, &QPushButton::clicked, this, &HeaderDataDialog::cmdClearList_Click);

    QPushButton* ok = gui::dialogButton(QStringLiteral("cmdOK"), t(3), t(12));
    QPushButton* cancel = gui::dialogButton(QStringLiteral("cmdCancel"), t(4), t(13));
    QPushButton* exp = gui::dialogButton(QStringLiteral("cmdExport"), t(5), t(14));
    QPushButton* imp = gui::dialogButton(QStringLiteral("cmdImport"), t(6), t(15));
    connect(ok, &QPushButton::clicked, this, &HeaderDataDialog::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(exp, &QPushButton::clicked, this, &HeaderDataDialog::cmdExport_Click);
    connect(imp, &QPushButton::clicked, this, &HeaderDataDialog::cmdImport_Click);

    auto* entry = new QHBoxLayout;
    entry->addWidget(m_new, 1);
    entry->addWidget(add);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(remove);
    listButtons->addWidget(clear);
    listButtons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(listButtons);
    auto* buttons = new QGridLayout;
    buttons->addWidget(exp, 0, 0);
    buttons->addWidget(imp, 0, 1);
    buttons->setColumnStretch(2, 1);
    buttons->addWidget(ok, 0, 3);
    buttons->addWidget(cancel, 0, 4);
    auto* v = new QVBoxLayout(this);
    v->addLayout(entry);
    v->addLayout(listRow, 1);
    v->addLayout(buttons);
    resize(460, 380);

    m_list->addItems(readTextLines(headerDataFile(), systemCodePage()).value_or(QStringList()));
    SetTopmost(this, true);
}

QStringList HeaderDataDialog::names() const {
    QStringList n;
    for (int i = 0; i < m_list->count(); ++i)
        n << m_list->item(i)->text();
    return n;
}

void HeaderDataDialog::cmdAddInList_Click() {
    if (const auto name = headerNameToAdd(m_new->text())) {
        m_list->addItem(*name);
        // The next name starts in an empty box, not after this one.
        m_new->clear();
    }
}

void HeaderDataDialog::cmdRemoveFromList_Click() {
    const int row = m_list->currentRow();
    if (row >= 0 && m_list->item(row)->isSelected())
        delete m_list->takeItem(row);
}

void HeaderDataDialog::cmdClearList_Click() {
    m_list->clear();
}

bool HeaderDataDialog::save() {
    const DialogContext& st = m_context;
    return exportSettingsFile(headerDataFile(), names(), st.texts, st.message);
}

void HeaderDataDialog::cmdOK_Click() {
    if (!save())
        return; // the dialog stays open with the list
    applyHeaderNames(m_header, names());
    Q_EMIT headerChanged();
    close();
}

void HeaderDataDialog::cmdExport_Click() {
    save();
}

void HeaderDataDialog::cmdImport_Click() {
    if (const auto lines = readTextLines(headerDataFile(), systemCodePage())) {
        m_list->clear();
        m_list->addItems(*lines);
    }
}

void HeaderDataDialog::closeEvent(QCloseEvent* event) {
    m_main->show();
    m_main->raise();
    event->accept();
}

} // namespace gui
