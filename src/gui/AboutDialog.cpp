#include "gui/AboutDialog.h"

#include "gui/WindowOnTop.h"
#include "settings/ProgramSettings.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gui {

AboutDialog::AboutDialog(const DialogContext& context, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frm_About"));
    const QString section = QStringLiteral("frm_About");
    setWindowTitle(context.text(section, 2));

    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* title = new QLabel(common::applicationTitle());
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    title->setFont(f);
    auto* version = new QLabel(context.text(section, 3) + QLatin1Char(' ') + settings::versionText());
    version->setObjectName(QStringLiteral("lblVersion"));
    auto* description = new QLabel(context.text(section, 4));
    description->setObjectName(QStringLiteral("lblDescription"));
    description->setWordWrap(true);
    description->setMinimumWidth(420);

    auto* ok = new QPushButton(context.text(section, 5));
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(version);
    text->addSpacing(8);
    text->addWidget(description);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(buttons);
    gui::SetTopmost(this, true);
}

} // namespace gui
