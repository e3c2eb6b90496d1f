#include "gui/FolderChooser.h"

#include "settings/OutputFileSettings.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
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
#ifndef Q_OS_WIN
    // One root "/" is a tree of the whole system: the user's own folders come first.
    for (const auto where : {QStandardPaths::DocumentsLocation, QStandardPaths::HomeLocation}) {
        const QString place = QStandardPaths::writableLocation(where);
        if (!place.isEmpty() && QDir(place).exists() && m_drive->findText(place) < 0)
            m_drive->insertItem(0, place);
    }
#endif
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_tree->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_tree->hideColumn(c);
    m_tree->header()->hide();
    m_tree->setMinimumHeight(180);
    // The desktop's own folder dialog, beside the tree.
    auto* browse = new QToolButton;
    browse->setObjectName(treeName + QStringLiteral("_Browse"));
    browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browse->setText(QStringLiteral("..."));
    browse->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, QString(), m_folder);
        if (!chosen.isEmpty())
            setFolder(QString(), chosen);
    });
    auto* top = new QHBoxLayout;
    top->addWidget(m_drive, 1);
    top->addWidget(browse);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addLayout(top);
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
    QString d = drive.isEmpty() ? driveOf(folder) : drive;
    // The narrowest listed place that holds the folder roots the tree.
    const QString path = QDir::fromNativeSeparators(folder);
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString place = QDir::fromNativeSeparators(m_drive->itemText(i));
        const QString within = place.endsWith(QLatin1Char('/')) ? place : place + QLatin1Char('/');
        if ((path == place || path.startsWith(within)) && place.size() > QDir::fromNativeSeparators(d).size())
            d = m_drive->itemText(i);
    }
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
