#pragma once

#include "gui/DialogContext.h"

#include "history/History.h"
#include "history/HistoryChart.h"

#include <QDialog>
#include <QFutureWatcher>

class QChart;
class QValueAxis;

#include <memory>
#include <optional>

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

// The history of one characteristic: its run chart over the stored parts with tolerance and
// warning limits, its capability figures, filters by date and number of parts, and exports.
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
    const history::Statistics& statistics() const { return m_statistics; }
    QString figure(const char* name); // the text shown beside the chart, by object name

    bool exportPng(const QString& file);
    bool exportSvg(const QString& file);
    bool exportCsv(const QString& file);

protected:
    void changeEvent(QEvent* event) override;

private:
    QString text(int line) const;
    QHBoxLayout* buildChoiceRow();
    QHBoxLayout* buildFilterRow();
    QHBoxLayout* buildChartRow();
    QGroupBox* buildFigureGroup();
    QHBoxLayout* buildButtonRow();
    void connectChoices();
    void openDatabase();
    void fillPrograms();
    void fillCharacteristics();
    void reload();
    void showRead();
    void draw();
    void addLimitLines(QChart* chart, QValueAxis* x, QValueAxis* y, const history::ChartData& data);
    void addPoints(QChart* chart, QValueAxis* x, QValueAxis* y, const history::ChartData& data);
    void deliver();
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
    history::Statistics m_statistics;
    bool m_filling = false;

    QComboBox* m_program = nullptr;
    QComboBox* m_characteristic = nullptr;
    QCheckBox* m_useSince = nullptr;
    QDateEdit* m_since = nullptr;
    QCheckBox* m_useUntil = nullptr;
    QDateEdit* m_until = nullptr;
    QCheckBox* m_useLast = nullptr;
    QSpinBox* m_last = nullptr;
    QChartView* m_view = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_deliver = nullptr;
    std::vector<std::pair<const char*, QLabel*>> m_figures;
};

} // namespace gui
