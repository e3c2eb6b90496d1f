#include "gui/FolderChooser.h"

#include "settings/OutputFileSettings.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

namespace gui {

using namespace settings;

FolderChooser::FolderChooser(const QString& driveName, const QString& treeName, QWidget* parent)
    : QWidget(parent), m_drive(new QComboBox), m_tree(new QTreeView), m_model(new QFileSystemModel(this)) {
    m_drive->setObjectName(driveName);
    m_tree->setObjectName(treeName);
    for (const QFileInfo& d : QDir::drives())
        m_drive->addItem(QDir::toNativeSeparators(d.absoluteFilePath()));
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_tree->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_tree->hideColumn(c);
    m_tree->header()->hide();
    m_tree->setMinimumHeight(180);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(m_drive);
    v->addWidget(m_tree, 1);

    // A drive that is not ready leaves the tree where it was.
    connect(m_drive, &QComboBox::currentTextChanged, this, [this](const QString& d) {
        if (QDir(d).exists()) {
            showDrive(d);
            m_folder = QDir::fromNativeSeparators(d);
            Q_EMIT folderChanged(m_folder);
        }
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& i) {
                if (!i.isValid())
                    return;
                m_folder = m_model->filePath(i);
                Q_EMIT folderChanged(m_folder);
            });
}

void FolderChooser::showDrive(const QString& drive) {
    const QString root = QDir::fromNativeSeparators(drive);
    m_model->setRootPath(root);
    m_tree->setRootIndex(m_model->index(root));
}

void FolderChooser::setFolder(const QString& drive, const QString& folder) {
    const QString d = drive.isEmpty() ? driveOf(folder) : drive;
    if (m_drive->findText(QDir::toNativeSeparators(d)) < 0)
        m_drive->addItem(QDir::toNativeSeparators(d));
    {
        const QSignalBlocker block(m_drive);
        m_drive->setCurrentText(QDir::toNativeSeparators(d));
    }
    showDrive(d);
    m_folder = QDir::fromNativeSeparators(folder);
    const QModelIndex i = m_model->index(m_folder);
    if (i.isValid()) {
        m_tree->setCurrentIndex(i);
        m_tree->scrollTo(i);
    }
    Q_EMIT folderChanged(m_folder);
}

QString FolderChooser::drive() const {
    return m_drive->currentText();
}
QString FolderChooser::folder() const {
    return QDir::toNativeSeparators(m_folder);
}

} // namespace gui
