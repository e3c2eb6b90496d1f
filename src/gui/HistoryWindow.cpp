#include "gui/HistoryWindow.h"

#include "gui/ChartColours.h"
#include "gui/GaugeStudyDialog.h"
#include "gui/WindowOnTop.h"
#include "gui/WindowPlacement.h"
#include "history/HistoryChart.h"
#include "protocol/GaugeStudyPdf.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrentRun>

#include <functional>

namespace gui {

using namespace history;

namespace {

const QString kSection = QStringLiteral("History");

// Lines of the history texts.
enum Line {
    Title = 2,
    Program = 6,
    Characteristic = 7,
    From = 8,
    To = 9,
    LastParts = 10,
    N = 11,
    Mean = 12,
    Min = 14,
    Max = 15,
    ExportPng = 16,
    ExportSvg = 17,
    ExportCsv = 18,
    NoParts = 19,
    Nominal = 20,
    UpperLimit = 21,
    LowerLimit = 22,
    Measured = 25,
    Deliver = 26,
    ChartCaption = 30,
    RunChart = 31,
    ImrChart = 32,
    MeanRangeChart = 33,
    MeanStdDevChart = 34,
    HistogramChart = 35,
    SubgroupSize = 36,
    PartAxis = 37,
    PartTitle = 38,
    WarningShare = 39,
    ToleranceLimits = 40,
    ControlLimits = 41,
    CentreLine = 42,
    Individuals = 43,
    Means = 44,
    MovingRanges = 45,
    Ranges = 46,
    StdDevs = 47,
    Counts = 48,
    NormalCurve = 49,
    RuleBroken = 50,
    Rule1 = 51, // to Rule4 = 54
    NoControlChart = 55,
    Overall = 56,
    WithinHeader = 57,
    SOverall = 58,
    SWithin = 59,
    Bounds95 = 60,
    Normal = 61,
    NotNormal = 62,
    NormalityUntested = 63,
    Percentile = 64,
    Subgroup = 65,
    DroppedValues = 66,
};

// The reasons the statistics give, as the language files say them.
const std::pair<const char*, int> kReasons[] = {
    {"no spread", 67},
    {"no lower limit", 68},
    {"no upper limit", 69},
    {"no values", 70},
    {"fewer than two values", 71},
    {"fewer than eight values", 72},
    {"fewer than two subgroups", 73},
    {"no limits", 74},
    {"no complete subgroup", 75},
    {"lower limit not below upper limit", 76},
};

const QString kXBar = QStringLiteral("X\u0304");

// A chart view that says when it has been resized, so that stacked charts line up again.
class PanelView : public QChartView {
public:
    using QChartView::QChartView;
    std::function<void()> resized;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QChartView::resizeEvent(event);
        if (resized)
            resized();
    }
};

} // namespace

QWidget* makeHistoryWindow(DialogContext context, QWidget* parent, const QString& program,
                           const QString& characteristic) {
    return new HistoryWindow(context, parent, program, characteristic);
}

HistoryWindow::HistoryWindow(DialogContext context, QWidget* parent, const QString& program,
                             const QString& characteristic)
    : QDialog(parent), m_state(context) {
    setObjectName(QStringLiteral("frm_Verlauf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(text(Title));

    QHBoxLayout* choose = buildChoiceRow();
    QHBoxLayout* filters = buildFilterRow();
    QHBoxLayout* chartChoice = buildChartChoiceRow();
    QHBoxLayout* middle = buildChartRow();
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("lblProblem"));
    m_problem->setWordWrap(true);
    m_problem->setVisible(false);
    QHBoxLayout* buttons = buildButtonRow();

    auto* v = new QVBoxLayout(this);
    v->addLayout(choose);
    v->addLayout(filters);
    v->addLayout(chartChoice);
    v->addWidget(m_problem);
    v->addLayout(middle, 1);
    v->addLayout(buttons);
    connectChoices();

    resize(1180, 720);
    gui::SetTopmost(this, true);

    openDatabase();
    fillPrograms();
    if (!program.isEmpty())
        selectProgram(program);
    if (!characteristic.isEmpty())
        selectCharacteristic(characteristic);
    draw();
}

// The part program and the characteristic, each with its caption.
QHBoxLayout* HistoryWindow::buildChoiceRow() {
    m_program = new QComboBox;
    m_program->setObjectName(QStringLiteral("cboProgram"));
    m_program->setMinimumContentsLength(24);
    m_characteristic = new QComboBox;
    m_characteristic->setObjectName(QStringLiteral("cboCharacteristic"));
    m_characteristic->setMinimumContentsLength(16);
    auto* choose = new QHBoxLayout;
    auto* programLabel = new QLabel(text(Program));
    programLabel->setBuddy(m_program);
    auto* characteristicLabel = new QLabel(text(Characteristic));
    characteristicLabel->setBuddy(m_characteristic);
    choose->addWidget(programLabel);
    choose->addWidget(m_program, 2);
    choose->addSpacing(12);
    choose->addWidget(characteristicLabel);
    choose->addWidget(m_characteristic, 1);
    return choose;
}

// The date range and the number of last parts, each switched on by its check box.
QHBoxLayout* HistoryWindow::buildFilterRow() {
    const QDate today = QDate::currentDate();
    m_useSince = new QCheckBox(text(From));
    m_useSince->setObjectName(QStringLiteral("chkSince"));
    m_since = new QDateEdit(today.addMonths(-1));
    m_since->setObjectName(QStringLiteral("dtpSince"));
    m_since->setCalendarPopup(true);
    m_useUntil = new QCheckBox(text(To));
    m_useUntil->setObjectName(QStringLiteral("chkUntil"));
    m_until = new QDateEdit(today);
    m_until->setObjectName(QStringLiteral("dtpUntil"));
    m_until->setCalendarPopup(true);
    m_useLast = new QCheckBox(text(LastParts));
    m_useLast->setObjectName(QStringLiteral("chkLast"));
    m_last = new QSpinBox;
    m_last->setObjectName(QStringLiteral("spnLast"));
    m_last->setRange(1, 1000000);
    m_last->setValue(50);
    const int opening = readHistorySettings(m_state.store).windowParts;
    if (opening > 0) {
        m_last->setValue(opening);
        m_useLast->setChecked(true);
    }
    auto* filters = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_useSince, m_since, m_useUntil, m_until, m_useLast, m_last})
        filters->addWidget(w);
    filters->addStretch(1);
    return filters;
}

// The kind of chart, the subgroup size of the mean charts and what runs along x.
QHBoxLayout* HistoryWindow::buildChartChoiceRow() {
    m_chartKind = new QComboBox;
    m_chartKind->setObjectName(QStringLiteral("cboChart"));
    // In the order of history::ChartKind.
    m_chartKind->addItems({text(RunChart), text(ImrChart), text(MeanRangeChart).arg(kXBar),
                           text(MeanStdDevChart).arg(kXBar), text(HistogramChart)});
    m_subgroup = new QSpinBox;
    m_subgroup->setObjectName(QStringLiteral("spnSubgroup"));
    m_subgroup->setRange(2, 25);
    m_subgroup->setValue(5);
    m_subgroup->setEnabled(false);
    m_partAxis = new QCheckBox(text(PartAxis));
    m_partAxis->setObjectName(QStringLiteral("chkPartAxis"));
    auto* kindLabel = new QLabel(text(ChartCaption));
    kindLabel->setBuddy(m_chartKind);
    auto* subgroupLabel = new QLabel(text(SubgroupSize));
    subgroupLabel->setBuddy(m_subgroup);
    auto* row = new QHBoxLayout;
    row->addWidget(kindLabel);
    row->addWidget(m_chartKind);
    row->addSpacing(12);
    row->addWidget(subgroupLabel);
    row->addWidget(m_subgroup);
    row->addSpacing(12);
    row->addWidget(m_partAxis);
    row->addStretch(1);
    return row;
}

// The chart (a control chart's two one above the other) with the figures beside it.
QHBoxLayout* HistoryWindow::buildChartRow() {
    m_charts = new QWidget;
    m_charts->setObjectName(QStringLiteral("chtVerlaufFlaeche"));
    m_charts->setMinimumSize(560, 400);
    auto* upper = new PanelView(new QChart);
    auto* lower = new PanelView(new QChart);
    m_view = upper;
    m_lower = lower;
    m_view->setObjectName(QStringLiteral("chtVerlauf"));
    m_lower->setObjectName(QStringLiteral("chtVerlaufStreuung"));
    m_lower->setVisible(false);
    for (PanelView* view : {upper, lower}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setAccessibleName(text(Title));
        view->resized = [this] { alignPlotAreas(); };
    }
    m_legend = new QLabel;
    m_legend->setObjectName(QStringLiteral("lblLegend"));
    m_legend->setTextFormat(Qt::RichText);
    m_legend->setWordWrap(true);
    m_legend->setContentsMargins(8, 2, 8, 6);
    // The exports take the charts with their legend, on the charts' ground.
    m_charts->setBackgroundRole(QPalette::Base);
    m_charts->setAutoFillBackground(true);
    auto* stack = new QVBoxLayout(m_charts);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(m_view, 3);
    stack->addWidget(m_lower, 2);
    stack->addWidget(m_legend);
    QGroupBox* figures = buildFigureGroup();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_charts, 1);
    middle->addWidget(figures, 0, Qt::AlignTop);
    return middle;
}

void HistoryWindow::addFigureRow(QFormLayout* form, const char* name, const QString& caption) {
    auto* value = new QLabel;
    value->setObjectName(QString::fromLatin1(name));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("[-00,00; -00,00]")));
    auto* label = new QLabel(caption);
    label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
    label->setBuddy(value);
    form->addRow(label, value);
    m_figures.emplace_back(name, value);
}

// The figures in groups: the values, the overall spread with Pp and Ppk, the spread within with
// Cp and Cpk (named by its estimate), the normality test.
QGroupBox* HistoryWindow::buildFigureGroup() {
    auto* figures = new QGroupBox;
    figures->setObjectName(QStringLiteral("FrameFigures"));
    m_figureForm = new QFormLayout(figures);
    QFormLayout* form = m_figureForm;
    const auto header = [&](const QString& caption) {
        auto* label = new QLabel(caption);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        label->setContentsMargins(0, 6, 0, 0);
        form->addRow(label);
        return label;
    };
    addFigureRow(form, "lblN", text(N));
    addFigureRow(form, "lblMean", text(Mean));
    addFigureRow(form, "lblMin", text(Min));
    addFigureRow(form, "lblMax", text(Max));
    header(text(Overall));
    addFigureRow(form, "lblSOverall", text(SOverall));
    addFigureRow(form, "lblPp", QStringLiteral("Pp"));
    addFigureRow(form, "lblPpk", QStringLiteral("Ppk"));
    addFigureRow(form, "lblPpkBounds", text(Bounds95).arg(QStringLiteral("Ppk")));
    m_withinHeader = header(QString());
    m_withinHeader->setObjectName(QStringLiteral("lblWithinHeader"));
    addFigureRow(form, "lblSWithin", text(SWithin));
    addFigureRow(form, "lblCp", QStringLiteral("Cp"));
    addFigureRow(form, "lblCpk", QStringLiteral("Cpk"));
    addFigureRow(form, "lblCpkBounds", text(Bounds95).arg(QStringLiteral("Cpk")));
    // The test's verdict spans the group; below it the percentile figures where it failed.
    auto* normality = new QLabel;
    normality->setObjectName(QStringLiteral("lblNormality"));
    normality->setWordWrap(true);
    normality->setTextInteractionFlags(Qt::TextSelectableByMouse);
    normality->setContentsMargins(0, 6, 0, 0);
    form->addRow(normality);
    m_figures.emplace_back("lblNormality", normality);
    addFigureRow(form, "lblPercentile", text(Percentile));
    return figures;
}

// The exports, the delivery of the outbox and Close.
QHBoxLayout* HistoryWindow::buildButtonRow() {
    auto* png = new QPushButton(text(ExportPng));
    png->setObjectName(QStringLiteral("cmdPng"));
    auto* svg = new QPushButton(text(ExportSvg));
    svg->setObjectName(QStringLiteral("cmdSvg"));
    auto* csv = new QPushButton(text(ExportCsv));
    csv->setObjectName(QStringLiteral("cmdCsv"));
    auto* gauge = new QPushButton(m_state.text(protocol::gaugeStudySection(), protocol::gaugeline::Title) +
                                  QStringLiteral(" ..."));
    gauge->setObjectName(QStringLiteral("cmdGaugeStudy"));
    m_deliver = new QPushButton(text(Deliver));
    m_deliver->setObjectName(QStringLiteral("cmdDeliver"));
    m_deliver->setVisible(false);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {png, svg, csv, gauge, m_deliver}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(close);

    connect(close, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(png, &QPushButton::clicked, this,
            [this] { askAndExport(ExportPng, QStringLiteral("PNG (*.png)"), &HistoryWindow::exportPng); });
    connect(svg, &QPushButton::clicked, this,
            [this] { askAndExport(ExportSvg, QStringLiteral("SVG (*.svg)"), &HistoryWindow::exportSvg); });
    connect(csv, &QPushButton::clicked, this,
            [this] { askAndExport(ExportCsv, QStringLiteral("CSV (*.csv)"), &HistoryWindow::exportCsv); });
    connect(gauge, &QPushButton::clicked, this, &HistoryWindow::openGaugeStudy);
    connect(m_deliver, &QPushButton::clicked, this, &HistoryWindow::deliver);
    return buttons;
}

// A changed choice or filter reads the series again; not while the lists are being filled.
void HistoryWindow::connectChoices() {
    connect(&m_reading, &QFutureWatcher<Read>::finished, this, &HistoryWindow::showRead);
    connect(m_program, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            fillCharacteristics();
    });
    connect(m_characteristic, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            reload();
    });
    for (QCheckBox* c : {m_useSince, m_useUntil, m_useLast})
        connect(c, &QCheckBox::toggled, this, &HistoryWindow::reload);
    for (QDateEdit* d : {m_since, m_until})
        connect(d, &QDateEdit::dateChanged, this, [this] {
            if (!m_filling)
                reload();
        });
    connect(m_last, &QSpinBox::valueChanged, this, [this] {
        if (m_useLast->isChecked())
            reload();
    });
    // The chart of the values read: drawn again, not read again.
    connect(m_chartKind, &QComboBox::currentIndexChanged, this, [this](int kind) {
        const auto k = static_cast<ChartKind>(kind);
        m_subgroup->setEnabled(k == ChartKind::MeanRange || k == ChartKind::MeanStdDev);
        draw();
    });
    connect(m_subgroup, &QSpinBox::valueChanged, this, &HistoryWindow::draw);
    connect(m_partAxis, &QCheckBox::toggled, this, &HistoryWindow::draw);
}

// Without a usable history the window still opens, with the problem shown.
void HistoryWindow::openDatabase() {
    try {
        m_history = std::make_unique<History>(readHistorySettings(m_state.store));
        m_history->database();
    } catch (const HistoryError& e) {
        showProblem(e.text());
    }
}

HistoryWindow::~HistoryWindow() = default;

QString HistoryWindow::text(int line) const {
    return m_state.text(kSection, line);
}

void HistoryWindow::showProblem(const QString& problem) {
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
}

void HistoryWindow::fillPrograms() {
    m_filling = true;
    m_program->clear();
    if (m_history) {
        try {
            m_program->addItems(m_history->database().programs());
            const int pending = m_history->pendingInOutbox();
            m_deliver->setVisible(pending > 0);
        } catch (const HistoryError& e) {
            showProblem(e.text());
        }
    }
    m_filling = false;
    fillCharacteristics();
}

void HistoryWindow::fillCharacteristics() {
    m_filling = true;
    m_characteristic->clear();
    m_keys.clear();
    if (m_history && m_program->currentIndex() >= 0) {
        try {
            m_keys = m_history->database().characteristics(m_program->currentText());
        } catch (const HistoryError& e) {
            showProblem(e.text());
        }
        for (const CharacteristicKey& k : m_keys)
            m_characteristic->addItem(k.text());
    }
    m_filling = false;
    reload();
}

void HistoryWindow::selectProgram(const QString& program) {
    const int i = m_program->findText(program);
    if (i >= 0)
        m_program->setCurrentIndex(i);
}

void HistoryWindow::selectCharacteristic(const QString& text) {
    const int i = m_characteristic->findText(text);
    if (i >= 0)
        m_characteristic->setCurrentIndex(i);
}

void HistoryWindow::setLastParts(std::optional<int> n) {
    m_filling = true;
    if (n)
        m_last->setValue(*n);
    m_filling = false;
    m_useLast->setChecked(n.has_value());
    reload();
}

void HistoryWindow::reload() {
    m_since->setEnabled(m_useSince->isChecked());
    m_until->setEnabled(m_useUntil->isChecked());
    m_last->setEnabled(m_useLast->isChecked());
    if (m_readPending) {
        m_rereadWanted = true; // the newest choice is read when the running read ends
        return;
    }
    // The chart keeps the values shown until the new ones are read: a chart drawn meanwhile
    // (another kind) draws them.
    const int i = m_characteristic->currentIndex();
    if (m_history && i >= 0 && i < static_cast<int>(m_keys.size())) {
        SeriesFilter filter;
        filter.withHeader = false; // a tooltip fetches its part's header data when it is shown
        // Whole local days, as the user picks them.
        if (m_useSince->isChecked())
            filter.since = m_since->date().startOfDay().toUTC();
        if (m_useUntil->isChecked())
            filter.until = m_until->date().endOfDay().toUTC();
        if (m_useLast->isChecked())
            filter.lastN = m_last->value();
        m_readPending = true;
        m_reading.setFuture(QtConcurrent::run([settings = readHistorySettings(m_state.store),
                                               program = m_program->currentText(),
                                               key = m_keys[static_cast<std::size_t>(i)], filter]() -> Read {
            try {
                History h(settings);
                return {h.database().series(program, key, filter), {}};
            } catch (const HistoryError& e) {
                return {{}, e.text()};
            }
        }));
        return;
    }
    m_series.clear();
    draw();
}

void HistoryWindow::showRead() {
    if (!m_readPending)
        return;
    m_readPending = false;
    Read r = m_reading.result();
    m_series = std::move(r.series);
    if (!r.problem.isEmpty())
        showProblem(r.problem);
    // Drawn at once, so that the chart and the tooltips stay with the values held.
    draw();
    if (m_rereadWanted) {
        m_rereadWanted = false;
        reload();
    }
}

const history::Series& HistoryWindow::series() {
    while (m_readPending) {
        m_reading.waitForFinished();
        showRead();
    }
    return m_series;
}

namespace {

void attach(QChart* chart, QAbstractAxis* x, QAbstractAxis* y, QAbstractSeries* s) {
    chart->addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
}

QChart* newChart(const QPalette& pal, const QString& title) {
    auto* chart = new QChart;
    chart->setBackgroundBrush(pal.brush(QPalette::Base));
    chart->setTitleBrush(pal.brush(QPalette::Text));
    // The window's legend below the charts wraps its lines; the chart's own would cut the names.
    chart->legend()->hide();
    chart->setLocalizeNumbers(true);
    chart->setTitle(title);
    return chart;
}

void styleAxis(QAbstractAxis* a, const QPalette& pal) {
    a->setLabelsColor(pal.color(QPalette::Text));
    a->setTitleBrush(pal.brush(QPalette::Text));
    a->setGridLineColor(pal.color(QPalette::Mid));
    a->setLinePenColor(pal.color(QPalette::Mid));
    QFont f = a->titleFont();
    f.setBold(false);
    a->setTitleFont(f);
}

} // namespace

QString HistoryWindow::quantityName(Quantity q) const {
    switch (q) {
    case Quantity::Values:
        return text(Measured);
    case Quantity::Individuals:
        return text(Individuals);
    case Quantity::Means:
        return text(Means);
    case Quantity::MovingRanges:
        return text(MovingRanges);
    case Quantity::Ranges:
        return text(Ranges);
    case Quantity::StdDevs:
        return text(StdDevs);
    case Quantity::Counts:
        return text(Counts);
    }
    return {};
}

QString HistoryWindow::reasonText(const std::string& reason) const {
    for (const auto& [english, line] : kReasons)
        if (reason == english)
            return text(line);
    return QString::fromStdString(reason);
}

void HistoryWindow::draw() {
    const int width = std::max(m_charts->width(), m_charts->minimumWidth());
    ChartOptions options;
    options.kind = static_cast<ChartKind>(std::max(m_chartKind->currentIndex(), 0));
    options.axis = m_partAxis->isChecked() ? AxisKind::Part : AxisKind::Time;
    options.subgroupSize = m_subgroup->value();
    options.warningPercent = settings::warningPercent(settings::readTolProzent(m_state.store));
    // A first guess; once laid out, the labels are fitted to the plot's width.
    options.maxTicks = ticksFitting(width - 80);
    m_data = chartData(m_series, options);
    showFigures();

    // The chart title is rich text.
    QString title = m_series.empty() ? text(NoParts)
                                     : m_program->currentText() + QStringLiteral(" \u2013 ") +
                                           m_characteristic->currentText();
    title = title.toHtmlEscaped();
    if (!m_series.empty() && !m_data.problem.empty())
        title +=
            QStringLiteral("<br>") + text(NoControlChart).arg(reasonText(m_data.problem)).toHtmlEscaped();
    m_legendEntries.clear();
    QChart* upper = panelChart(0, title);
    QChart* lower = m_data.panels.size() > 1 ? panelChart(1, QString()) : new QChart;
    // One ground for the charts and the legend between and below them.
    for (auto [view, chart] : {std::pair{m_view, upper}, std::pair{m_lower, lower}}) {
        QChart* old = view->chart();
        chart->setBackgroundRoundness(0);
        view->setBackgroundBrush(palette().brush(QPalette::Base));
        view->setChart(chart);
        delete old;
    }
    m_lower->setVisible(m_data.panels.size() > 1);
    m_legend->setText(m_legendEntries.join(QStringLiteral(" &nbsp; ")));
    m_legend->setVisible(!m_legendEntries.isEmpty());
    alignPlotAreas();
}

// The figures of the values the chart shows; a figure that is not defined says why as its tooltip.
void HistoryWindow::showFigures() {
    const QLocale locale;
    const statistics::Capability& c = m_data.capability;
    for (const FigureText& f : figureTexts(c, locale))
        for (const auto& [name, label] : m_figures)
            if (qstrcmp(name, f.name) == 0) {
                label->setText(f.text);
                label->setToolTip(f.reason.empty() ? QString() : reasonText(f.reason));
            }
    for (const auto& [name, label] : m_figures) {
        if (qstrcmp(name, "lblN") == 0)
            label->setToolTip(c.dropped > 0 ? text(DroppedValues).arg(c.dropped) : QString());
        if (qstrcmp(name, "lblNormality") == 0) {
            const QString p = label->text();
            const QString relation = p.startsWith(QLatin1Char('<')) ? p : QStringLiteral("= ") + p;
            label->setText(!c.normality.normal
                               ? text(NormalityUntested)
                               : text(*c.normality.normal ? Normal : NotNormal).arg(relation));
        }
        if (qstrcmp(name, "lblPercentile") == 0)
            m_figureForm->setRowVisible(label, c.normality.normal == false);
    }
    m_withinHeader->setText(text(WithinHeader).arg(withinEstimateName(m_data.subgroupSize, m_data.within)));
}

// One panel of the chart data as a chart: the x axis as time, part number or value, the lines
// across it and the points or bars. A missing panel gives an empty chart with the title.
QChart* HistoryWindow::panelChart(std::size_t index, const QString& title) {
    const QPalette pal = palette();
    QChart* chart = newChart(pal, title);
    if (index >= m_data.panels.size())
        return chart;
    const Panel& panel = m_data.panels[index];
    QAbstractAxis* x = nullptr;
    if (m_data.kind == ChartKind::Histogram) {
        auto* values = new QValueAxis;
        values->setRange(m_data.xLow, m_data.xHigh);
        values->setLabelFormat(QStringLiteral("%.") + QString::number(m_data.xDecimals) + QLatin1Char('f'));
        values->setTickType(QValueAxis::TicksDynamic);
        values->setTickAnchor(0.0);
        values->setTickInterval(m_data.xStep);
        values->setTitleText(text(Measured));
        x = values;
    } else {
        // Labels at round times or part numbers, few enough to be read whole at any count of parts.
        auto* ticks = new QCategoryAxis;
        ticks->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        ticks->setRange(m_data.xLow, m_data.xHigh);
        ticks->setStartValue(m_data.xLow);
        for (const Tick& t : m_data.ticks)
            ticks->append(t.label, t.at);
        if (m_partAxis->isChecked())
            ticks->setTitleText(text(PartTitle));
        x = ticks;
    }
    auto* y = new QValueAxis;
    // The legend names what the values are; no title takes the height of a low chart.
    y->setRange(panel.low, panel.high);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.") + QString::number(panel.decimals) + QLatin1Char('f'));
    for (QAbstractAxis* a : {x, static_cast<QAbstractAxis*>(y)}) {
        styleAxis(a, pal);
        chart->addAxis(a, a == x ? Qt::AlignBottom : Qt::AlignLeft);
    }
    // The lines over the points, the rule marks over the lines.
    if (m_data.kind == ChartKind::Histogram) {
        addHistogram(chart);
        addLevels(chart, panel);
    } else {
        addPoints(chart, index);
        addLevels(chart, panel);
        addRuleMarks(chart, index);
    }
    return chart;
}

// The lines across the chart (upright in the histogram). Each pair of limits has one name in the
// legend; control limits are blue and dashed, tolerance limits red and solid.
void HistoryWindow::addLevels(QChart* chart, const Panel& panel) {
    const ChartInks inks = chartInks(palette());
    QAbstractAxis* x = chart->axes(Qt::Horizontal).value(0);
    QAbstractAxis* y = chart->axes(Qt::Vertical).value(0);
    const bool upright = m_data.kind == ChartKind::Histogram;
    const auto has = [&](LevelKind k) {
        return std::any_of(panel.levels.begin(), panel.levels.end(),
                           [k](const Level& l) { return l.kind == k; });
    };
    const bool bothLimits = has(LevelKind::UpperLimit) && has(LevelKind::LowerLimit);
    const QLocale locale;
    for (const Level& l : panel.levels) {
        QPen pen;
        QString name;
        bool inLegend = true;
        switch (l.kind) {
        case LevelKind::UpperLimit:
        case LevelKind::LowerLimit:
            pen = QPen(inks.out, 2.0, Qt::SolidLine);
            name = bothLimits ? text(ToleranceLimits)
                              : text(l.kind == LevelKind::UpperLimit ? UpperLimit : LowerLimit);
            inLegend = !bothLimits || l.kind == LevelKind::UpperLimit;
            break;
        case LevelKind::UpperWarning:
        case LevelKind::LowerWarning: {
            pen = QPen(inks.warning, 1.5, Qt::DashLine);
            const double percent = settings::warningPercent(settings::readTolProzent(m_state.store));
            name = text(WarningShare).arg(locale.toString(percent, 'g', 4));
            inLegend = l.kind == LevelKind::UpperWarning || !has(LevelKind::UpperWarning);
            break;
        }
        case LevelKind::Nominal:
            pen = QPen(inks.text, 1.0, Qt::DotLine);
            name = text(Nominal);
            break;
        case LevelKind::Centre:
            pen = QPen(inks.centre, 1.5, Qt::SolidLine);
            name = text(CentreLine);
            break;
        case LevelKind::UpperControl:
        case LevelKind::LowerControl:
            pen = QPen(inks.control, 2.0, Qt::DashLine);
            name = text(ControlLimits);
            inLegend = l.kind == LevelKind::UpperControl;
            break;
        }
        auto* s = new QLineSeries;
        s->setName(name);
        if (inLegend)
            addLegendEntry(name, pen.color(),
                           pen.style() == Qt::DashLine  ? QStringLiteral("\u254D\u254D")
                           : pen.style() == Qt::DotLine ? QStringLiteral("\u2508\u2508")
                                                        : QStringLiteral("\u2501\u2501"));
        if (upright) {
            const auto* counts = qobject_cast<QValueAxis*>(y);
            s->append(l.value, counts ? counts->min() : panel.low);
            s->append(l.value, counts ? counts->max() : panel.high);
        } else {
            s->append(m_data.xLow, l.value);
            s->append(m_data.xHigh, l.value);
        }
        s->setPen(pen);
        attach(chart, x, y, s);
    }
}

// The points as one line with its markers, each in the colour of its part's classification.
// Hovering shows a point's part.
void HistoryWindow::addPoints(QChart* chart, std::size_t index) {
    const ChartInks inks = chartInks(palette());
    const Panel& panel = m_data.panels[index];
    auto* values = new QLineSeries;
    values->setName(quantityName(panel.quantity));
    addLegendEntry(values->name(), inks.values, QStringLiteral("\u2500\u25CF\u2500"));
    values->setPen(QPen(inks.values, 1.5));
    values->setColor(inks.values);
    const std::size_t count = panel.points.size();
    values->setPointsVisible(true);
    values->setMarkerSize(count <= 100 ? 6 : count <= 400 ? 5 : 3.5);
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(count));
    for (const ChartPoint& p : panel.points)
        line.append(QPointF(p.x, p.value));
    values->replace(line);
    for (std::size_t i = 0; i < count; ++i) {
        const Classification c = panel.points[i].classification;
        if (c != Classification::Ok)
            values->setPointConfiguration(static_cast<int>(i), QXYSeries::PointConfiguration::Color,
                                          c == Classification::OutOfTolerance ? inks.out : inks.warning);
    }
    attach(chart, chart->axes(Qt::Horizontal).value(0), chart->axes(Qt::Vertical).value(0), values);
    connectTooltip(values, index);
}

// The points that break a run rule: a magenta triangle over the point, above every line.
void HistoryWindow::addRuleMarks(QChart* chart, std::size_t index) {
    const ChartInks inks = chartInks(palette());
    const Panel& panel = m_data.panels[index];
    QList<QPointF> marks;
    for (const ChartPoint& p : panel.points)
        if (!p.violations.empty())
            marks.append(QPointF(p.x, p.value));
    if (marks.isEmpty())
        return;
    auto* broken = new QScatterSeries;
    broken->setName(text(RuleBroken));
    broken->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    broken->setMarkerSize(panel.points.size() <= 400 ? 15 : 12);
    broken->setColor(inks.ruleBroken);
    broken->setBorderColor(inks.ruleBroken);
    broken->replace(marks);
    attach(chart, chart->axes(Qt::Horizontal).value(0), chart->axes(Qt::Vertical).value(0), broken);
    addLegendEntry(broken->name(), inks.ruleBroken, QStringLiteral("\u25B2"));
    connectTooltip(broken, index);
}

void HistoryWindow::connectTooltip(QXYSeries* series, std::size_t index) {
    connect(series, &QXYSeries::hovered, this, [this, index](const QPointF& at, bool state) {
        if (state)
            showPointTooltip(index, at);
        else
            QToolTip::hideText();
    });
}

// The bars (one outline of steps) and the normal curve of the mean and the overall s.
void HistoryWindow::addHistogram(QChart* chart) {
    const ChartInks inks = chartInks(palette());
    QAbstractAxis* x = chart->axes(Qt::Horizontal).value(0);
    QAbstractAxis* y = chart->axes(Qt::Vertical).value(0);
    const statistics::Histogram& h = m_data.histogram;
    auto* top = new QLineSeries;
    auto* base = new QLineSeries;
    for (std::size_t i = 0; i < h.counts.size(); ++i) {
        const double count = h.counts[i];
        if (i == 0)
            top->append(h.edges[0], 0.0);
        top->append(h.edges[i], count);
        top->append(h.edges[i + 1], count);
        if (i + 1 < h.counts.size()) {
            // The edge down to the next bar, so that neighbours stay apart.
            top->append(h.edges[i + 1], 0.0);
        }
    }
    if (!h.edges.empty())
        top->append(h.edges.back(), 0.0);
    base->append(h.edges.empty() ? 0.0 : h.edges.front(), 0.0);
    base->append(h.edges.empty() ? 0.0 : h.edges.back(), 0.0);
    auto* bars = new QAreaSeries(top, base);
    bars->setName(text(Counts));
    addLegendEntry(bars->name(), inks.bars, QStringLiteral("\u25A0"));
    bars->setBrush(inks.bars);
    bars->setPen(QPen(inks.values, 1.0));
    attach(chart, x, y, bars);
    if (!h.curve.empty()) {
        auto* curve = new QLineSeries;
        curve->setName(text(NormalCurve));
        addLegendEntry(curve->name(), inks.text, QStringLiteral("\u2501\u2501"));
        QList<QPointF> points;
        for (const statistics::CurvePoint& p : h.curve)
            points.append(QPointF(p.x, p.y));
        curve->replace(points);
        curve->setPen(QPen(inks.text, 1.5));
        attach(chart, x, y, curve);
    }
}

// The tooltip of the point nearest to where the pointer is: its part's time, header data and
// value, the parts of a subgroup and the run rules it breaks.
void HistoryWindow::showPointTooltip(std::size_t index, const QPointF& at) {
    if (index >= m_data.panels.size() || m_data.panels[index].points.empty())
        return;
    const Panel& panel = m_data.panels[index];
    const auto& points = panel.points;
    auto it = std::lower_bound(points.begin(), points.end(), at.x(),
                               [](const ChartPoint& p, double x) { return p.x < x; });
    if (it == points.end() || (it != points.begin() && at.x() - std::prev(it)->x < it->x - at.x()))
        it = it == points.begin() ? it : std::prev(it);
    const ChartPoint& p = *it;
    if (p.last < 0 || p.last >= static_cast<int>(m_series.size()))
        return;
    SeriesPoint part = m_series[static_cast<std::size_t>(p.last)];
    try {
        if (part.header.empty() && m_history)
            part.header = m_history->database().headerOf(part.partUuid);
    } catch (const HistoryError&) {
        // The time and the value are shown without the header data.
    }
    QStringList notes;
    if (panel.quantity == Quantity::Means || panel.quantity == Quantity::Ranges ||
        panel.quantity == Quantity::StdDevs)
        notes
            << text(Subgroup).arg(static_cast<int>(it - points.begin()) + 1).arg(p.first + 1).arg(p.last + 1);
    for (const statistics::RuleViolation& v : p.violations)
        notes << (v.rule >= 1 && v.rule <= 4 ? text(Rule1 + v.rule - 1) : QString::fromStdString(v.text));
    QToolTip::showText(QCursor::pos(),
                       pointTooltip(part, quantityName(panel.quantity), p.value, QLocale(), notes));
}

// A name of the legend once, after its symbol in its colour; it breaks between names only.
void HistoryWindow::addLegendEntry(const QString& name, const QColor& colour, const QString& symbol) {
    const QString entry = QStringLiteral("<span style=\"color:%1\">%2</span>&nbsp;%3")
                              .arg(colour.name(), symbol,
                                   name.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
    if (!m_legendEntries.contains(entry))
        m_legendEntries << entry;
}

// Time or part labels that fit side by side on a plot this wide.
int HistoryWindow::ticksFitting(qreal plotWidth) const {
    const int label = fontMetrics().horizontalAdvance(QStringLiteral("00.00. 00:00")) + 24;
    return std::max(2, static_cast<int>(plotWidth) / label);
}

// Room on the right for half of the widest x label: the last one stands centred on its tick, which
// may be at the plot's right edge.
int HistoryWindow::labelOverhang(QChart* chart) const {
    QAbstractAxis* x = chart->axes(Qt::Horizontal).value(0);
    if (!x)
        return 4;
    QStringList labels;
    if (auto* ticks = qobject_cast<QCategoryAxis*>(x)) {
        labels = ticks->categoriesLabels();
    } else {
        const QLocale locale;
        labels << locale.toString(m_data.xLow, 'f', m_data.xDecimals)
               << locale.toString(m_data.xHigh, 'f', m_data.xDecimals);
    }
    const QFontMetrics metrics(x->labelsFont());
    int widest = 0;
    for (const QString& l : labels)
        widest = std::max(widest, metrics.horizontalAdvance(l));
    return widest / 2 + 4;
}

// The x labels of the charts shown, fitted to their plot's width now; whether any now need more
// room on the right than their chart gives them.
bool HistoryWindow::updateTicks() {
    if (m_data.kind == ChartKind::Histogram)
        return false;
    bool wider = false;
    for (QChartView* view : {m_view, m_lower}) {
        auto* axis = qobject_cast<QCategoryAxis*>(view->chart()->axes(Qt::Horizontal).value(0));
        if (!axis || !view->isVisible())
            continue;
        const int fit = ticksFitting(view->chart()->plotArea().width());
        const std::vector<Tick> ticks = m_partAxis->isChecked() ? partTicks(m_data.xLow, m_data.xHigh, fit)
                                                                : timeTicks(m_data.xLow, m_data.xHigh, fit);
        QStringList labels;
        for (const Tick& t : ticks)
            labels << t.label;
        if (labels == axis->categoriesLabels())
            continue;
        for (const QString& l : axis->categoriesLabels())
            axis->remove(l);
        for (const Tick& t : ticks)
            axis->append(t.label, t.at);
        wider = wider || labelOverhang(view->chart()) > view->chart()->margins().right();
    }
    return wider;
}

// The two charts of a control chart share their x axis: their plot areas line up.
void HistoryWindow::alignPlotAreas() {
    QChart* upper = m_view->chart();
    QChart* lower = m_lower->chart();
    if (!upper || !lower)
        return;
    // Labels fitted to the plot may be wider than those the room was made for: once more then.
    for (int pass = 0; pass < 2; ++pass) {
        // Laid out now at the charts' size, not when the posted layout request comes.
        for (QChart* c : {upper, lower}) {
            c->setMargins(QMargins(4, 4, labelOverhang(c), 4));
            c->setPlotArea(QRectF());
            if (c->layout()) {
                c->layout()->invalidate();
                c->layout()->activate();
            }
        }
        if (m_data.panels.size() >= 2 && m_lower->isVisible()) {
            const QRectF a = upper->plotArea();
            const QRectF b = lower->plotArea();
            const qreal left = std::max(a.left(), b.left());
            const qreal right = std::min(a.right(), b.right());
            if (right > left) {
                upper->setPlotArea(QRectF(left, a.top(), right - left, a.height()));
                lower->setPlotArea(QRectF(left, b.top(), right - left, b.height()));
            }
        }
        if (!updateTicks())
            break;
    }
}

void HistoryWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // A theme switched while the window is open.
    if (event->type() == QEvent::PaletteChange && m_view)
        draw();
}

void HistoryWindow::deliver() {
    if (!m_history)
        return;
    try {
        // Said in this window: the main window's status line is out of sight behind it.
        showProblem(m_state.text(kSection, 5).arg(m_history->deliverOutbox()));
    } catch (const HistoryError& e) {
        showProblem(e.text());
    }
    fillPrograms();
}

void HistoryWindow::askAndExport(int titleLine, const QString& filter,
                                 bool (HistoryWindow::*write)(const QString&)) {
    QString name = m_program->currentText() + QLatin1Char('_') + m_characteristic->currentText();
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("_"));
    const QString suffix = filter.section(QStringLiteral("*."), 1).chopped(1);
    const QString file =
        QFileDialog::getSaveFileName(this, text(titleLine).remove(QStringLiteral("...")).trimmed(),
                                     QDir::home().filePath(name + QLatin1Char('.') + suffix), filter);
    if (file.isEmpty())
        return;
    if (!(this->*write)(file))
        showProblem(QDir::toNativeSeparators(file));
}

bool HistoryWindow::exportPng(const QString& file) {
    return m_charts->grab().save(file, "PNG");
}

bool HistoryWindow::exportSvg(const QString& file) {
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(m_charts->size());
    svg.setViewBox(QRect(QPoint(0, 0), m_charts->size()));
    svg.setTitle(m_view->chart()->title());
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    m_charts->render(&painter);
    return painter.end();
}

// The shown series with every part's header data, which the chart reads only for a tooltip.
std::optional<std::pair<CharacteristicKey, Series>> HistoryWindow::seriesWithHeaders() {
    const int i = m_characteristic->currentIndex();
    if (!m_history || i < 0 || i >= static_cast<int>(m_keys.size()))
        return std::nullopt;
    Series s = series();
    try {
        m_history->database().attachHeaders(s);
    } catch (const HistoryError& e) {
        showProblem(e.text());
        return std::nullopt;
    }
    return std::pair{m_keys[static_cast<std::size_t>(i)], std::move(s)};
}

bool HistoryWindow::exportCsv(const QString& file) {
    const auto shown = seriesWithHeaders();
    if (!shown)
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(seriesCsv(m_program->currentText(), {*shown}, settings::readCsvPreset(m_state.store)));
    return out.commit();
}

GaugeStudyDialog* HistoryWindow::openGaugeStudy() {
    const auto shown = seriesWithHeaders();
    if (!shown)
        return nullptr;
    auto* dialog = new GaugeStudyDialog(m_state, this, m_program->currentText(), shown->first, shown->second);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    keepOnScreen(dialog);
    dialog->show();
    return dialog;
}

QString HistoryWindow::figure(const char* name) {
    series(); // the figures of the read asked for last
    for (const auto& [n, label] : m_figures)
        if (QByteArray(n) == name)
            return label->text();
    return {};
}

} // namespace gui
