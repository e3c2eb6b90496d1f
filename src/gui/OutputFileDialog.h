#pragma once

#include "settings/OutputFileSettings.h"

#include "gui/DialogContext.h"
#include "model/MerkmalTable.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace gui {

class FolderChooser;

// Where result files go and how they are named, the warning limit, the settings root, multi-line
// comments and minimising while online.
class OutputFileDialog : public QDialog {
    Q_OBJECT

public:
    OutputFileDialog(DialogContext context, const model::HeaderRows& header, QWidget* mainWindow);

    void OKButton_Click();
    void cmdExport_Click();
    void cmdImport_Click();

    settings::OutputFileSettings current() const;
    void showSettings(const settings::OutputFileSettings& s);

Q_SIGNALS:
    // The header data frame is shown or hidden by the stored switch.
    void headerVisibilityChanged(bool visible);

private:
    QString text(int line) const;
    QGroupBox* buildFolderGroup();
    QGroupBox* buildProgramGroup();
    QGroupBox* buildNamingGroup();
    QGroupBox* buildProtocolGroup(const model::HeaderRows& header);
    void folderModeChanged();

    DialogContext m_context;
    QWidget* m_main;
    QRadioButton* m_optDefault = nullptr;
    QRadioButton* m_optPartProgram = nullptr;
    QRadioButton* m_optSelected = nullptr;
    FolderChooser* m_folder = nullptr;
    QLabel* m_path = nullptr;
    QComboBox* m_fileName[5] = {};
    QComboBox* m_separator = nullptr;
    QCheckBox* m_counter = nullptr;
    QCheckBox* m_multiLine = nullptr;
    QCheckBox* m_currentUser = nullptr;
    QCheckBox* m_minimize = nullptr;
    QCheckBox* m_header = nullptr;
    QLineEdit* m_tolProzent = nullptr;
    QCheckBox* m_aqdef = nullptr;
    QCheckBox* m_qif = nullptr;
    QCheckBox* m_pdf = nullptr;
    QComboBox* m_k0006 = nullptr;
    QComboBox* m_k0008 = nullptr;
};

} // namespace gui
