#include "gui/WindowPositionDialog.h"

#include "gui/WindowOnTop.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace gui {

using namespace settings;

namespace {
const QString kSection = QStringLiteral("frm_WindowPositionSetup");
QString twipsText(double twips) {
    return QString::number(qRound(twips));
}
} // namespace

WindowPositionDialog::WindowPositionDialog(DialogContext context, QWidget* mainWindow)
    : QDialog(mainWindow), m_state(context), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_Fensterpos"));
    const DialogContext& st = m_state;
    auto t = [&](int line) { return st.text(kSection, line); };
    setWindowTitle(t(2) + QLatin1Char(' ') + common::applicationTitle());

    auto* frame = new QGroupBox(t(3));
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* g = new QGridLayout(frame);
    auto label = [](const QString& name, const QString& text) {
        auto* l = new QLabel(text);
        l->setObjectName(name);
        return l;
    };
    auto edit = [](const QString& name, bool readOnly) {
        auto* e = new QLineEdit;
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        e->setAlignment(Qt::AlignRight);
        e->setMaximumWidth(110);
        return e;
    };
    m_top = edit(QStringLiteral("txt_POS_TOP"), false);
    m_left = edit(QStringLiteral("txt_POS_LEFT"), false);
    m_topAlt = edit(QStringLiteral("txt_POS_TOP_ALT"), true);
    m_leftAlt = edit(QStringLiteral("txt_POS_LEFT_ALT"), true);
    g->addWidget(label(QStringLiteral("Label3"), t(6)), 0, 1, Qt::AlignCenter);
    g->addWidget(label(QStringLiteral("Label4"), t(7)), 0, 2, Qt::AlignCenter);
    g->addWidget(label(QStringLiteral("Label1"), t(4)), 1, 0);
    g->addWidget(m_top, 1, 1);
    g->addWidget(m_topAlt, 1, 2);
    g->addWidget(label(QStringLiteral("Label2"), t(5)), 2, 0);
    g->addWidget(m_left, 2, 1);
    g->addWidget(m_leftAlt, 2, 2);

    auto button = [](const QString& name, const QString& text) {
        auto* b = new QPushButton(text);
        b->setObjectName(name);
        return b;
    };
    QPushButton* read = button(QStringLiteral("cmd_POS_LESEN"), t(8));
    QPushButton* save = button(QStringLiteral("cmd_POS_SAVE"), t(9));
    QPushButton* cancel = button(QStringLiteral("cmd_CANCEL"), t(10));
    save->setDefault(true);
    connect(read, &QPushButton::clicked, this, &WindowPositionDialog::cmd_POS_LESEN_Click);
    connect(save, &QPushButton::clicked, this, &WindowPositionDialog::cmd_POS_SAVE_Click);
    connect(cancel, &QPushButton::clicked, this, &WindowPositionDialog::cmd_CANCEL_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto* v = new QVBoxLayout(this);
    v->addWidget(frame);
    v->addLayout(buttons);

    if (const auto stored = settings::readWindowPosition(st.store)) {
        m_top->setText(stored->first);
        m_topAlt->setText(stored->first);
        m_left->setText(stored->second);
        m_leftAlt->setText(stored->second);
    } else {
        m_top->setText(twipsText(settings::pixelsToTwips(mainWindow->y())));
        m_topAlt->setText(m_top->text());
        m_left->setText(twipsText(settings::pixelsToTwips(mainWindow->x())));
        m_leftAlt->setText(m_left->text());
        const QString box = QStringLiteral("MessageBoxen");
        common::notify(st.message, common::MsgIcon::Information,
                       st.text(box, 6) + common::crlf() + st.text(box, 7));
    }
    SetTopmost(this, true);
}

void WindowPositionDialog::cmd_POS_LESEN_Click() {
    m_top->setText(twipsText(settings::pixelsToTwips(m_main->y())));
    m_left->setText(twipsText(settings::pixelsToTwips(m_main->x())));
}

void WindowPositionDialog::cmd_POS_SAVE_Click() {
    const DialogContext& st = m_state;
    // Stored as typed; a text that is no number is read as 1 at the next start.
    settings::writeWindowPosition(st.store, m_top->text(), m_left->text(), st.texts, st.message);
    close();
}

void WindowPositionDialog::cmd_CANCEL_Click() {
    close();
}

void WindowPositionDialog::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        m_main->move(twipsToPixels(positionTwips(m_leftAlt->text())),
                     twipsToPixels(positionTwips(m_topAlt->text())));
        m_main->show();
    }
    event->accept();
}

} // namespace gui
