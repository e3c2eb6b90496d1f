#include "gui/SelectFolderDialog.h"
#include "settings/ProgramSettings.h"

#include "gui/FolderChooser.h"
#include "gui/WindowOnTop.h"
#include "settings/SettingsMessages.h"

#include <QDir>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace gui {

using namespace settings;

SelectFolderDialog::SelectFolderDialog(DialogContext context, QWidget* mainWindow)
    : QDialog(mainWindow), m_state(context), m_main(mainWindow),
      m_folder(new FolderChooser(QStringLiteral("Drive1"), QStringLiteral("Dir1"))) {
    setObjectName(QStringLiteral("frm_SelectFolder"));
    const DialogContext& st = m_state;
    const QString section = QStringLiteral("frm_SelectOutputFolder");
    setWindowTitle(st.text(section, 2));

    auto* ok = new QPushButton(st.text(section, 3));
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setToolTip(st.text(section, 4));
    ok->setDefault(true);
    auto* cancel = new QPushButton(st.text(section, 5));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setToolTip(st.text(section, 6));
    connect(ok, &QPushButton::clicked, this, &SelectFolderDialog::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* v = new QVBoxLayout(this);
    v->addWidget(m_folder, 1);
    v->addLayout(buttons);
    resize(460, 420);

    const settings::FolderChoice stored = settings::readFolderChoice(st.store, QDir::rootPath());
    m_folder->setFolder(stored.drive, stored.folder);
    SetTopmost(this, true);
}

void SelectFolderDialog::cmdOK_Click() {
    const DialogContext& st = m_state;
    if (!settings::writeFolderChoice(st.store, {m_folder->drive(), m_folder->folder()}, st.texts, st.message))
        return;
    hide();
    Q_EMIT folderChosen();
    close();
}

} // namespace gui
