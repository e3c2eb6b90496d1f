#pragma once

#include "gui/DialogContext.h"

#include "ascii/AsciiLayout.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace gui {

// Which columns the ASCII result file holds, in which order, with which separator and type.
class AsciiSetupDialog : public QDialog {
    Q_OBJECT

public:
    explicit AsciiSetupDialog(DialogContext context, QWidget* mainWindow);

    void OKButton_Click();
    void cmdExport_Click();
    void cmdImport_Click();
    const ascii::AsciiLayout& layout() const { return m_layout; }
    void setColumn(int column, bool on);

private:
    void showLayout();
    void takeTextFields();

    DialogContext m_state;
    QWidget* m_main;
    ascii::AsciiLayout m_layout;
    std::array<QCheckBox*, ascii::kColumns> m_check{};
    std::array<QLabel*, ascii::kColumns> m_position{};
    QLineEdit* m_separator = nullptr;
    QRadioButton* m_csv = nullptr;
    QRadioButton* m_txt = nullptr;
    QComboBox* m_preset = nullptr; // item i is settings::CsvPreset(i)
};

} // namespace gui
