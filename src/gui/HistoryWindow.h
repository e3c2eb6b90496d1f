#pragma once

#include "gui/DialogContext.h"
#include "gui/HistoryWindowOpen.h"

#include "history/History.h"
#include "history/HistoryChart.h"

#include <QDialog>
#include <QFutureWatcher>

#include <memory>
#include <optional>

class QChart;
class QXYSeries;
class QColor;
class QFormLayout;
class QPointF;

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpinBox;

class QChartView;

namespace gui {

class GaugeStudyDialog;

// The history of one characteristic: its run chart over the stored parts with tolerance and
// warning limits, its control charts or histogram, its capability figures, filters by date and
// number of parts, and exports.
class HistoryWindow : public QDialog {
    Q_OBJECT

public:
    // Opens on the given part program and characteristic ("ID.Achse") when they are stored.
    HistoryWindow(DialogContext context, QWidget* parent, const QString& program = {},
                  const QString& characteristic = {});
    ~HistoryWindow() override;

    void selectProgram(const QString& program);
    void selectCharacteristic(const QString& text);
    void setLastParts(std::optional<int> n);
    // The values shown; a read still running is waited for.
    const history::Series& series();
    // The figures of the chart shown.
    const statistics::Capability& capability() const { return m_data.capability; }
    QString figure(const char* name); // the text shown beside the chart, by object name

    bool exportPng(const QString& file);
    bool exportSvg(const QString& file);
    bool exportCsv(const QString& file);
    // The type 1 gauge study of the parts shown, in a window of its own.
    GaugeStudyDialog* openGaugeStudy();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString text(int line) const;
    QHBoxLayout* buildChoiceRow();
    QHBoxLayout* buildFilterRow();
    QHBoxLayout* buildChartChoiceRow();
    QHBoxLayout* buildChartRow();
    QGroupBox* buildFigureGroup();
    void addFigureRow(QFormLayout* form, const char* name, const QString& caption);
    QHBoxLayout* buildButtonRow();
    void connectChoices();
    void openDatabase();
    void fillPrograms();
    void fillCharacteristics();
    void reload();
    void showRead();
    void draw();
    void showFigures();
    QChart* panelChart(std::size_t panel, const QString& title);
    void addLevels(QChart* chart, const history::Panel& panel);
    void addPoints(QChart* chart, std::size_t panel);
    void addRuleMarks(QChart* chart, std::size_t panel);
    void connectTooltip(QXYSeries* series, std::size_t panel);
    void addHistogram(QChart* chart);
    void showPointTooltip(std::size_t panel, const QPointF& at);
    void alignPlotAreas();
    void addLegendEntry(const QString& name, const QColor& colour, const QString& symbol);
    int ticksFitting(qreal plotWidth) const;
    bool updateTicks();
    int labelOverhang(QChart* chart) const;
    QString quantityName(history::Quantity q) const;
    QString reasonText(const std::string& reason) const;
    void deliver();
    std::optional<std::pair<history::CharacteristicKey, history::Series>> seriesWithHeaders();
    void showProblem(const QString& problem);
    void askAndExport(int titleLine, const QString& filter, bool (HistoryWindow::*write)(const QString&));

    DialogContext m_state;
    std::unique_ptr<history::History> m_history;
    std::vector<history::CharacteristicKey> m_keys;
    history::Series m_series;
    // A series is read on a thread of its own (its own connection): the window stays responsive.
    struct Read {
        history::Series series;
        QString problem;
    };
    QFutureWatcher<Read> m_reading;
    bool m_readPending = false;
    bool m_rereadWanted = false;
    history::ChartData m_data;
    bool m_filling = false;

    QComboBox* m_program = nullptr;
    QComboBox* m_characteristic = nullptr;
    QCheckBox* m_useSince = nullptr;
    QDateEdit* m_since = nullptr;
    QCheckBox* m_useUntil = nullptr;
    QDateEdit* m_until = nullptr;
    QCheckBox* m_useLast = nullptr;
    QSpinBox* m_last = nullptr;
    QComboBox* m_chartKind = nullptr;
    QSpinBox* m_subgroup = nullptr;
    QCheckBox* m_partAxis = nullptr;
    QWidget* m_charts = nullptr; // the chart, or a control chart's two one above the other
    QChartView* m_view = nullptr;
    QChartView* m_lower = nullptr;
    QLabel* m_legend = nullptr;
    QStringList m_legendEntries;
    QLabel* m_withinHeader = nullptr;
    QFormLayout* m_figureForm = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_deliver = nullptr;
    std::vector<std::pair<const char*, QLabel*>> m_figures;
};

} // namespace gui
