#pragma once

#include <QWidget>

class QComboBox;
class QFileSystemModel;
class QTreeView;

namespace gui {

// A drive list above a folder tree, as the folder settings show them. On Linux the drive list
// holds the file system roots.
class FolderChooser : public QWidget {
    Q_OBJECT

public:
    FolderChooser(const QString& driveName, const QString& treeName, QWidget* parent = nullptr);

    void setFolder(const QString& drive, const QString& folder);
    QString drive() const;
    QString folder() const;

Q_SIGNALS:
    void folderChanged(const QString& folder);

private:
    void showDrive(const QString& drive);

    QComboBox* m_drive;
    QTreeView* m_tree;
    QFileSystemModel* m_model;
    QString m_folder;
};

} // namespace gui
