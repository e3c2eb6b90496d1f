#pragma once

#include "gui/DialogContext.h"
#include "history/History.h"
#include "history/HistoryGauge.h"
#include "protocol/GaugeStudyPdf.h"

#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace gui {

// The type 1 gauge study of one characteristic's stored parts: which parts were the reference
// part, the study's settings, its figures as the choice changes, and the report as a PDF file.
class GaugeStudyDialog : public QDialog {
    Q_OBJECT

public:
    GaugeStudyDialog(DialogContext context, QWidget* parent, const QString& program,
                     const history::CharacteristicKey& key, const history::Series& series);

    const history::GaugeResult& result() const { return m_result; }
    protocol::GaugeStudyReport report() const;
    // Writes the report whole or not at all; a failure is reported through the message function.
    bool savePdf(const QString& file);

private:
    QString text(int line) const;
    QWidget* buildChoice();
    QWidget* buildSettings();
    QWidget* buildFigures();
    void fillHeaderValues();
    std::optional<double> typed(QLineEdit* edit, bool& valid) const;
    void choiceChanged();
    void showDefaults(bool leaving);
    void recompute();
    void showFigures();
    void askAndSave();
    bool fail(const QString& file, const QString& why);

    DialogContext m_context;
    QString m_program;
    history::CharacteristicKey m_key;
    history::Series m_series;
    history::GaugeResult m_result;
    bool m_updating = false;
    // A typed reference or tolerance stays when the choice changes; an untyped one follows it.
    bool m_referenceTyped = false;
    bool m_toleranceTyped = false;

    QRadioButton* m_byLast = nullptr;
    QRadioButton* m_byRange = nullptr;
    QRadioButton* m_byHeader = nullptr;
    QSpinBox* m_last = nullptr;
    QSpinBox* m_from = nullptr;
    QSpinBox* m_to = nullptr;
    QComboBox* m_headerName = nullptr;
    QComboBox* m_headerValue = nullptr;
    QLabel* m_chosen = nullptr;
    QLineEdit* m_reference = nullptr;
    QLineEdit* m_tolerance = nullptr;
    QDoubleSpinBox* m_k = nullptr;
    QDoubleSpinBox* m_l = nullptr;
    QDoubleSpinBox* m_minimum = nullptr;
    QLineEdit* m_station = nullptr;
    QLineEdit* m_operator = nullptr;
    struct FigureRow {
        QLabel* name;
        QLabel* symbol;
        QLabel* value;
        QLabel* note;
    };
    std::vector<FigureRow> m_figures;
    QLabel* m_capability = nullptr;
    QLabel* m_bias = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_save = nullptr;
};

} // namespace gui
