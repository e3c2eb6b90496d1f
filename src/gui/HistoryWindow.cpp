#include "gui/HistoryWindow.h"

#include "gui/WindowOnTop.h"
#include "history/HistoryChart.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"

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
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
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
    StdDev = 13,
    Min = 14,
    Max = 15,
    ExportPng = 16,
    ExportSvg = 17,
    ExportCsv = 18,
    NoParts = 19,
    Nominal = 20,
    UpperLimit = 21,
    LowerLimit = 22,
    UpperWarning = 23,
    LowerWarning = 24,
    Measured = 25,
    Deliver = 26,
};

// The lamp colours of the list, so that a point reads like its row.
const QColor kWarning(0xFF, 0xD7, 0x00);
const QColor kOut(0xE0, 0x10, 0x10);

} // namespace

HistoryWindow::HistoryWindow(DialogContext context, QWidget* parent, const QString& program,
                             const QString& characteristic)
    : QDialog(parent), m_state(context) {
    setObjectName(QStringLiteral("frm_Verlauf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(text(Title));

    QHBoxLayout* choose = buildChoiceRow();
    QHBoxLayout* filters = buildFilterRow();
    QHBoxLayout* middle = buildChartRow();
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("lblProblem"));
    m_problem->setWordWrap(true);
    m_problem->setVisible(false);
    QHBoxLayout* buttons = buildButtonRow();

    auto* v = new QVBoxLayout(this);
    v->addLayout(choose);
    v->addLayout(filters);
    v->addWidget(m_problem);
    v->addLayout(middle, 1);
    v->addLayout(buttons);
    connectChoices();

    resize(980, 600);
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

// The chart with the figures beside it.
QHBoxLayout* HistoryWindow::buildChartRow() {
    m_view = new QChartView(new QChart);
    m_view->setObjectName(QStringLiteral("chtVerlauf"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumSize(560, 340);
    m_view->setAccessibleName(text(Title));
    QGroupBox* figures = buildFigureGroup();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_view, 1);
    middle->addWidget(figures, 0, Qt::AlignTop);
    return middle;
}

QGroupBox* HistoryWindow::buildFigureGroup() {
    auto* figures = new QGroupBox;
    figures->setObjectName(QStringLiteral("FrameFigures"));
    auto* form = new QFormLayout(figures);
    // In the order of figureTexts.
    const std::pair<const char*, QString> names[] = {{"lblN", text(N)},
                                                     {"lblMean", text(Mean)},
                                                     {"lblStdDev", text(StdDev)},
                                                     {"lblMin", text(Min)},
                                                     {"lblMax", text(Max)},
                                                     {"lblCp", QStringLiteral("Cp")},
                                                     {"lblCpk", QStringLiteral("Cpk")},
                                                     {"lblCpu", QStringLiteral("Cpu")},
                                                     {"lblCpl", QStringLiteral("Cpl")}};
    for (const auto& [name, caption] : names) {
        auto* value = new QLabel;
        value->setObjectName(QString::fromLatin1(name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-0000,00000")));
        form->addRow(caption, value);
        m_figures.emplace_back(name, value);
    }
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
    m_deliver = new QPushButton(text(Deliver));
    m_deliver->setObjectName(QStringLiteral("cmdDeliver"));
    m_deliver->setVisible(false);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {png, svg, csv, m_deliver}) {
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
    m_series.clear();
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
    if (m_rereadWanted) {
        m_rereadWanted = false;
        reload();
        return;
    }
    draw();
}

const history::Series& HistoryWindow::series() {
    while (m_readPending) {
        m_reading.waitForFinished();
        showRead();
    }
    return m_series;
}

namespace {

void attach(QChart* chart, QValueAxis* x, QValueAxis* y, QXYSeries* s) {
    chart->addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
}

QChart* newChart(const QPalette& pal, const QString& title) {
    auto* chart = new QChart;
    chart->setBackgroundBrush(pal.brush(QPalette::Base));
    chart->setTitleBrush(pal.brush(QPalette::Text));
    chart->legend()->setLabelColor(pal.color(QPalette::Text));
    // Beside the chart, where the lines' names have room to be read whole.
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setLocalizeNumbers(true);
    chart->setTitle(title);
    return chart;
}

// The parts along x, one tick per part up to ten, the values along y.
std::pair<QValueAxis*, QValueAxis*> addAxes(QChart* chart, const ChartData& data, const QPalette& pal) {
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    const int parts = static_cast<int>(data.points.size());
    x->setRange(0.5, std::max(parts, 1) + 0.5);
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(1);
    x->setTickInterval(std::max(1, parts / 10));
    y->setRange(data.low, data.high);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.4f"));
    for (QValueAxis* a : {x, y}) {
        a->setLabelsColor(pal.color(QPalette::Text));
        a->setGridLineColor(pal.color(QPalette::Mid));
        a->setLinePenColor(pal.color(QPalette::Mid));
        chart->addAxis(a, a == x ? Qt::AlignBottom : Qt::AlignLeft);
    }
    return {x, y};
}

} // namespace

void HistoryWindow::draw() {
    const double percent = settings::warningPercent(settings::readTolProzent(m_state.store));
    const ChartData data = chartData(m_series, percent);
    m_statistics = data.statistics;
    const QStringList figures = figureTexts(m_statistics, QLocale());
    for (std::size_t i = 0; i < m_figures.size(); ++i)
        m_figures[i].second->setText(figures.value(static_cast<qsizetype>(i)));

    const QPalette pal = palette();
    QChart* chart = newChart(pal, m_series.empty() ? text(NoParts)
                                                   : m_program->currentText() + QStringLiteral(" \u2013 ") +
                                                         m_characteristic->currentText());
    const auto [x, y] = addAxes(chart, data, pal);
    if (!m_series.empty()) {
        addLimitLines(chart, x, y, data);
        addPoints(chart, x, y, data);
    }
    QChart* old = m_view->chart();
    m_view->setChart(chart);
    delete old;
}

void HistoryWindow::addLimitLines(QChart* chart, QValueAxis* x, QValueAxis* y, const ChartData& data) {
    const QPalette pal = palette();
    const int parts = static_cast<int>(data.points.size());
    auto line = [&](const std::optional<double>& at, int label, const QColor& colour, Qt::PenStyle style) {
        if (!at)
            return;
        auto* s = new QLineSeries;
        s->setName(text(label));
        s->append(0.5, *at);
        s->append(parts + 0.5, *at);
        s->setPen(QPen(colour, 1.5, style));
        attach(chart, x, y, s);
    };
    line(data.lines.upper, UpperLimit, kOut, Qt::SolidLine);
    line(data.lines.warnUpper, UpperWarning, kWarning.darker(115), Qt::DashLine);
    line(std::optional<double>(data.lines.nominal), Nominal, pal.color(QPalette::Text), Qt::DotLine);
    line(data.lines.warnLower, LowerWarning, kWarning.darker(115), Qt::DashLine);
    line(data.lines.lower, LowerLimit, kOut, Qt::SolidLine);
}

// The measured values as a line, and each part as a point in the colour of its classification,
// with its time, header data and value as tooltip.
void HistoryWindow::addPoints(QChart* chart, QValueAxis* x, QValueAxis* y, const ChartData& data) {
    const QPalette pal = palette();
    auto* values = new QLineSeries;
    values->setName(text(Measured));
    values->setPen(QPen(pal.color(QPalette::Highlight), 1.5));
    auto* ok = new QScatterSeries;
    auto* warn = new QScatterSeries;
    auto* out = new QScatterSeries;
    const std::pair<QScatterSeries*, QColor> kinds[] = {
        {ok, pal.color(QPalette::Highlight)}, {warn, kWarning}, {out, kOut}};
    for (const auto& [s, colour] : kinds) {
        s->setMarkerSize(9);
        s->setColor(colour);
        s->setBorderColor(pal.color(QPalette::Text));
    }
    // Each marker is an item of its own: beyond a few thousand parts the line (one item) carries
    // the values, and only parts beyond the warning limit keep a marker.
    constexpr int kMarkers = 2000;
    const bool many = data.points.size() > static_cast<std::size_t>(kMarkers);
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(data.points.size()));
    for (const ChartPoint& p : data.points) {
        line.append(QPointF(p.part, p.value));
        QScatterSeries* s = p.classification == Classification::OutOfTolerance  ? out
                            : p.classification == Classification::BeyondWarning ? warn
                                                                                : ok;
        if ((!many || s != ok) && s->count() < kMarkers)
            s->append(p.part, p.value);
    }
    values->replace(line);
    attach(chart, x, y, values);
    for (const auto& kind : kinds) {
        attach(chart, x, y, kind.first);
        chart->legend()->markers(kind.first).value(0)->setVisible(false);
        connect(kind.first, &QScatterSeries::hovered, this, [this](const QPointF& at, bool state) {
            const int part = static_cast<int>(std::lround(at.x()));
            if (!state || part < 1 || part > static_cast<int>(m_series.size())) {
                QToolTip::hideText();
                return;
            }
            SeriesPoint point = m_series[static_cast<std::size_t>(part - 1)];
            try {
                if (point.header.empty() && m_history)
                    point.header = m_history->database().headerOf(point.partUuid);
            } catch (const HistoryError&) {
                // The time and the value are shown without the header data.
            }
            QToolTip::showText(QCursor::pos(), pointTooltip(point, text(Measured), QLocale()));
        });
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
    return m_view->grab().save(file, "PNG");
}

bool HistoryWindow::exportSvg(const QString& file) {
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(m_view->size());
    svg.setViewBox(QRect(QPoint(0, 0), m_view->size()));
    svg.setTitle(m_view->chart()->title());
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    m_view->render(&painter);
    return painter.end();
}

bool HistoryWindow::exportCsv(const QString& file) {
    const int i = m_characteristic->currentIndex();
    if (i < 0 || i >= static_cast<int>(m_keys.size()))
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(seriesCsv(m_program->currentText(), {{m_keys[static_cast<std::size_t>(i)], series()}}));
    return out.commit();
}

QString HistoryWindow::figure(const char* name) {
    series(); // the figures of the read asked for last
    for (const auto& [n, label] : m_figures)
        if (QByteArray(n) == name)
            return label->text();
    return {};
}

} // namespace gui
