#include "gui/GaugeStudyDialog.h"

#include "gui/ChartColours.h"
#include "gui/DialogButton.h"
#include "settings/LocaleText.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace gui {

namespace line = protocol::gaugeline;
using history::GaugeChoice;

namespace {

const QColor kRed(0xc0, 0x00, 0x00);
const QColor kGreen(0x00, 0x96, 0x3c);
const QColor kAmber(0xb8, 0x74, 0x00);
const QColor kGrey(0x70, 0x70, 0x70);

// A colour of meaning, made readable on the widget's own ground, light or dark.
QString inkOn(const QWidget* w, const QColor& colour) {
    const QColor ground = w->palette().color(w->backgroundRole());
    return QStringLiteral("color: %1;").arg(gui::withContrast(colour, ground, gui::kTextContrast).name());
}

QDoubleSpinBox* spin(double min, double max, int decimals, double step, double value,
                     const QString& suffix = {}) {
    auto* s = new QDoubleSpinBox;
    s->setRange(min, max);
    s->setDecimals(decimals);
    s->setSingleStep(step);
    s->setValue(value);
    s->setSuffix(suffix);
    return s;
}

} // namespace

QString GaugeStudyDialog::text(int l) const {
    return m_context.text(protocol::gaugeStudySection(), l);
}

GaugeStudyDialog::GaugeStudyDialog(DialogContext context, QWidget* parent, const QString& program,
                                   const history::CharacteristicKey& key, const history::Series& series)
    : QDialog(parent), m_context(context), m_program(program), m_key(key), m_series(series) {
    setObjectName(QStringLiteral("frm_GaugeStudy"));
    setWindowTitle(text(line::Title) + QStringLiteral(" - ") + key.text());

    auto* what = new QLabel(QStringLiteral("<b>%1:</b> %2&nbsp;&nbsp;&nbsp;&nbsp;<b>%3:</b> %4")
                                .arg(text(line::PartProgram).toHtmlEscaped(), program.toHtmlEscaped(),
                                     text(line::Characteristic).toHtmlEscaped(), key.text().toHtmlEscaped()));
    what->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);
    m_save = dialogButton(QStringLiteral("cmdSavePdf"), text(line::SavePdf));
    m_save->setDefault(true);
    QPushButton* close = dialogButton(QStringLiteral("cmdClose"), text(line::Close));
    connect(m_save, &QPushButton::clicked, this, &GaugeStudyDialog::askAndSave);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    m_status->setVisible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    left->addWidget(buildChoice());
    left->addWidget(buildSettings());
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addWidget(buildFigures(), 1);
    auto* v = new QVBoxLayout(this);
    v->addWidget(what);
    v->addLayout(columns, 1);
    v->addWidget(m_status);
    v->addLayout(buttons);

    choiceChanged();
}

QWidget* GaugeStudyDialog::buildChoice() {
    const int size = static_cast<int>(m_series.size());
    auto* box = new QGroupBox(text(line::ChooseParts));
    auto* g = new QGridLayout(box);
    m_byLast = new QRadioButton(text(line::LastParts));
    m_byRange = new QRadioButton(text(line::RangeFrom));
    m_byHeader = new QRadioButton(text(line::ByHeader));
    auto* group = new QButtonGroup(box);
    for (QRadioButton* b : {m_byLast, m_byRange, m_byHeader})
        group->addButton(b);
    m_byLast->setChecked(true);

    m_last = new QSpinBox;
    m_last->setRange(1, std::max(1, size));
    m_last->setValue(std::clamp(size, 1, 25));
    m_from = new QSpinBox;
    m_to = new QSpinBox;
    for (QSpinBox* s : {m_from, m_to})
        s->setRange(std::min(1, size), size);
    m_from->setValue(std::max(1, size - 24));
    m_to->setValue(size);
    m_headerName = new QComboBox;
    m_headerValue = new QComboBox;
    m_headerValue->setMinimumContentsLength(14);
    m_headerName->addItems(history::gaugeHeaderNames(m_series));
    if (m_headerName->count() == 0) {
        m_byHeader->setEnabled(false);
        m_byHeader->setToolTip(text(line::NoHeader));
        m_headerName->setEnabled(false);
        m_headerValue->setEnabled(false);
    }
    fillHeaderValues();

    g->addWidget(m_byLast, 0, 0);
    g->addWidget(m_last, 0, 1);
    g->addWidget(m_byRange, 1, 0);
    auto* range = new QHBoxLayout;
    range->addWidget(m_from);
    range->addWidget(new QLabel(text(line::RangeTo)));
    range->addWidget(m_to);
    range->addStretch(1);
    g->addLayout(range, 1, 1);
    g->addWidget(m_byHeader, 2, 0);
    auto* header = new QHBoxLayout;
    header->addWidget(m_headerName, 1);
    header->addWidget(new QLabel(QStringLiteral("=")));
    header->addWidget(m_headerValue, 1);
    g->addLayout(header, 2, 1);
    m_chosen = new QLabel;
    m_chosen->setObjectName(QStringLiteral("lblChosen"));
    m_chosen->setWordWrap(true);
    g->addWidget(m_chosen, 3, 0, 1, 2);
    g->setColumnStretch(1, 1);

    for (QRadioButton* b : {m_byLast, m_byRange, m_byHeader})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                choiceChanged();
        });
    connect(m_last, &QSpinBox::valueChanged, this, [this] {
        m_byLast->setChecked(true);
        choiceChanged();
    });
    for (QSpinBox* s : {m_from, m_to})
        connect(s, &QSpinBox::valueChanged, this, [this] {
            if (!m_updating)
                m_byRange->setChecked(true);
            choiceChanged();
        });
    connect(m_headerName, &QComboBox::currentIndexChanged, this, [this] {
        fillHeaderValues();
        choiceChanged();
    });
    connect(m_headerValue, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_updating && m_headerValue->count() > 0)
            m_byHeader->setChecked(true);
        choiceChanged();
    });
    return box;
}

QWidget* GaugeStudyDialog::buildSettings() {
    auto* box = new QGroupBox(text(line::Settings));
    auto* g = new QGridLayout(box);
    m_reference = new QLineEdit;
    m_reference->setObjectName(QStringLiteral("txtReference"));
    m_tolerance = new QLineEdit;
    m_tolerance->setObjectName(QStringLiteral("txtTolerance"));
    m_k = spin(1, 100, 1, 1, 20, QStringLiteral(" %"));
    m_l = spin(1, 12, 1, 0.5, 6);
    m_minimum = spin(0.1, 10, 2, 0.01, 1.33);
    m_station = new QLineEdit;
    m_operator = new QLineEdit;
    const std::pair<int, QWidget*> rows[] = {
        {line::Reference, m_reference}, {line::Tolerance, m_tolerance},  {line::ShareK, m_k},
        {line::FactorL, m_l},           {line::MinimumIndex, m_minimum}, {line::Station, m_station},
        {line::Operator, m_operator},
    };
    int r = 0;
    for (const auto& [l, w] : rows) {
        g->addWidget(new QLabel(text(l)), r, 0);
        g->addWidget(w, r++, 1);
    }
    for (auto [edit, typedFlag] :
         {std::pair{m_reference, &m_referenceTyped}, std::pair{m_tolerance, &m_toleranceTyped}}) {
        connect(edit, &QLineEdit::textEdited, this, [this, flag = typedFlag](const QString& t) {
            *flag = !t.trimmed().isEmpty();
            recompute();
        });
        // Left empty, the field shows the default again.
        connect(edit, &QLineEdit::editingFinished, this, [this] { showDefaults(true); });
    }
    for (QDoubleSpinBox* s : {m_k, m_l, m_minimum})
        connect(s, &QDoubleSpinBox::valueChanged, this, &GaugeStudyDialog::recompute);
    return box;
}

QWidget* GaugeStudyDialog::buildFigures() {
    auto* box = new QGroupBox(text(line::Figures));
    auto* v = new QVBoxLayout(box);
    auto* g = new QGridLayout;
    const QString names[] = {text(line::FigureHead), QString(), text(line::ValueHead), text(line::NoteHead)};
    for (int c = 0; c < 4; ++c) {
        auto* head = new QLabel(QStringLiteral("<b>%1</b>").arg(names[c].toHtmlEscaped()));
        g->addWidget(head, 0, c, c == 2 ? Qt::AlignRight : Qt::AlignLeft);
    }
    // As many rows as the report has; the texts come with each new result.
    const std::size_t count = protocol::gaugeFigureLines(report()).size();
    for (std::size_t i = 0; i < count; ++i) {
        FigureRow row{new QLabel, new QLabel, new QLabel, new QLabel};
        row.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row.value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row.note->setStyleSheet(inkOn(row.note, kGrey));
        const int r = static_cast<int>(i) + 1;
        g->addWidget(row.name, r, 0);
        g->addWidget(row.symbol, r, 1);
        g->addWidget(row.value, r, 2);
        g->addWidget(row.note, r, 3);
        m_figures.push_back(row);
    }
    g->setColumnStretch(3, 1);
    g->setColumnMinimumWidth(2, 90);
    g->setColumnMinimumWidth(3, 150);
    g->setHorizontalSpacing(12);
    v->addLayout(g);
    m_capability = new QLabel;
    m_capability->setObjectName(QStringLiteral("lblCapability"));
    m_capability->setWordWrap(true);
    QFont big = m_capability->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.2);
    m_capability->setFont(big);
    m_bias = new QLabel;
    m_bias->setObjectName(QStringLiteral("lblBias"));
    m_bias->setWordWrap(true);
    v->addSpacing(8);
    v->addWidget(m_capability);
    v->addWidget(m_bias);
    v->addStretch(1);
    return box;
}

void GaugeStudyDialog::fillHeaderValues() {
    const bool was = m_updating;
    m_updating = true;
    m_headerValue->clear();
    m_headerValue->addItems(history::gaugeHeaderValues(m_series, m_headerName->currentText()));
    m_updating = was;
}

// A number in the user's locale, or with a decimal point; nothing for an empty field.
std::optional<double> GaugeStudyDialog::typed(QLineEdit* edit, bool& valid) const {
    const QString t = edit->text().trimmed();
    valid = true;
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    valid = ok && std::isfinite(v);
    return valid ? v : std::numeric_limits<double>::quiet_NaN();
}

void GaugeStudyDialog::choiceChanged() {
    if (m_updating)
        return;
    recompute();
    showDefaults(false);
}

// Fields the user has not typed in show the chosen parts' defaults; not one the user is emptying.
void GaugeStudyDialog::showDefaults(bool leaving) {
    const history::GaugeSelection& s = m_result.selection;
    const std::pair<QLineEdit*, std::pair<bool, std::optional<double>>> fields[] = {
        {m_reference, {m_referenceTyped, s.reference}}, {m_tolerance, {m_toleranceTyped, s.tolerance}}};
    for (const auto& [edit, state] : fields) {
        const auto& [typedIn, value] = state;
        const QString shown = value ? settings::numberText(*value, QLocale()) : QString();
        edit->setToolTip(text(line::DefaultTip).arg(shown.isEmpty() ? QStringLiteral("-") : shown));
        if (!typedIn && (leaving || !edit->hasFocus() || !edit->text().trimmed().isEmpty()))
            edit->setText(shown);
    }
}

void GaugeStudyDialog::recompute() {
    if (m_updating)
        return;
    history::GaugeInput in;
    if (m_byRange->isChecked()) {
        in.choice.kind = GaugeChoice::Kind::Range;
        in.choice.first = m_from->value() - 1;
        in.choice.last = m_to->value() - 1;
    } else if (m_byHeader->isChecked()) {
        in.choice.kind = GaugeChoice::Kind::HeaderValue;
        in.choice.headerName = m_headerName->currentText();
        in.choice.headerValue = m_headerValue->currentText();
    } else {
        in.choice.lastParts = m_last->value();
    }
    bool referenceValid = true, toleranceValid = true;
    if (m_referenceTyped)
        in.reference = typed(m_reference, referenceValid);
    if (m_toleranceTyped)
        in.tolerance = typed(m_tolerance, toleranceValid);
    m_reference->setStyleSheet(referenceValid ? QString() : inkOn(m_reference, kRed));
    m_tolerance->setStyleSheet(toleranceValid ? QString() : inkOn(m_tolerance, kRed));
    in.settings.percentOfTolerance = m_k->value();
    in.settings.spreadFactor = m_l->value();
    in.settings.minimumIndex = m_minimum->value();
    m_result = history::gaugeStudyOf(m_series, in);
    showFigures();
}

void GaugeStudyDialog::showFigures() {
    const history::GaugeSelection& s = m_result.selection;
    const QLocale locale;
    QString chosen;
    switch (s.problem) {
    case history::GaugeProblem::None: {
        auto when = [&](const QDateTime& utc) {
            const QDateTime t = utc.toLocalTime();
            return settings::shortDateText(t.date(), locale) + QLatin1Char(' ') +
                   t.time().toString(QStringLiteral("HH:mm"));
        };
        chosen = text(line::PartsSpan).arg(s.parts.size()).arg(when(s.firstUtc()), when(s.lastUtc()));
        break;
    }
    case history::GaugeProblem::NoParts:
        chosen = text(line::NoParts);
        break;
    case history::GaugeProblem::EmptyRange:
        chosen = text(line::EmptyRange);
        break;
    case history::GaugeProblem::NoMatch:
        chosen = text(line::NoMatch).arg(m_headerName->currentText(), m_headerValue->currentText());
        break;
    case history::GaugeProblem::NoValues:
        chosen = text(line::NoValues);
        break;
    }
    if (s.withoutValue > 0 && s.problem == history::GaugeProblem::None)
        chosen += QLatin1Char(' ') + text(line::WithoutValue).arg(s.withoutValue);
    m_chosen->setText(chosen);
    m_chosen->setStyleSheet(s.problem == history::GaugeProblem::None ? QString() : inkOn(m_chosen, kRed));
    m_save->setEnabled(!s.values.empty());

    const protocol::GaugeStudyReport r = report();
    const std::vector<protocol::GaugeFigureLine> lines = protocol::gaugeFigureLines(r);
    for (std::size_t i = 0; i < lines.size() && i < m_figures.size(); ++i) {
        m_figures[i].name->setText(lines[i].name);
        m_figures[i].symbol->setText(lines[i].symbol);
        m_figures[i].value->setText(lines[i].value);
        m_figures[i].note->setText(lines[i].note);
        m_figures[i].value->setObjectName(QStringLiteral("value_") + lines[i].symbol);
    }
    const protocol::GaugeVerdict v = protocol::gaugeVerdict(r);
    m_capability->setText(v.capability);
    m_capability->setStyleSheet(inkOn(m_capability, !v.capable ? kGrey : *v.capable ? kGreen : kRed));
    m_bias->setText(v.bias);
    m_bias->setStyleSheet(inkOn(m_bias, !v.biasSignificant ? kGrey : *v.biasSignificant ? kAmber : kGreen));
}

protocol::GaugeStudyReport GaugeStudyDialog::report() const {
    protocol::GaugeStudyReport r(m_context.texts);
    r.locale = QLocale();
    r.program = m_program;
    r.characteristic = m_key.text();
    if (m_station) {
        r.station = m_station->text();
        r.operatorName = m_operator->text();
    }
    r.created = QDateTime::currentDateTime();
    const history::GaugeSelection& s = m_result.selection;
    if (m_byHeader && m_byHeader->isChecked())
        r.chosenBy = m_headerName->currentText() + QStringLiteral(" = ") + m_headerValue->currentText();
    r.firstUtc = s.firstUtc();
    r.lastUtc = s.lastUtc();
    r.withoutValue = s.withoutValue;
    r.values = s.values;
    r.reference = m_result.reference;
    r.tolerance = m_result.tolerance;
    if (m_k) {
        r.settings.percentOfTolerance = m_k->value();
        r.settings.spreadFactor = m_l->value();
        r.settings.minimumIndex = m_minimum->value();
    }
    r.study = m_result.study;
    return r;
}

bool GaugeStudyDialog::fail(const QString& file, const QString& why) {
    const QString t = text(line::WriteFailed).arg(QDir::toNativeSeparators(file), why);
    m_status->setText(t);
    m_status->setStyleSheet(inkOn(m_status, kRed));
    m_status->setVisible(true);
    common::notify(m_context.message, common::MsgIcon::Error, t);
    return false;
}

bool GaugeStudyDialog::savePdf(const QString& file) {
    if (m_result.selection.values.empty())
        return fail(file, m_chosen->text());
    const QByteArray pdf = protocol::renderGaugeStudyPdf(report());
    if (pdf.isEmpty())
        return fail(file, QStringLiteral("PDF"));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return fail(file, out.errorString());
    if (out.write(pdf) != pdf.size()) {
        const QString why = out.errorString();
        out.cancelWriting();
        return fail(file, why);
    }
    if (!out.commit())
        return fail(file, out.errorString());
    m_status->setText(text(line::Written).arg(QDir::toNativeSeparators(file)));
    m_status->setStyleSheet(inkOn(m_status, kGreen));
    m_status->setVisible(true);
    return true;
}

void GaugeStudyDialog::askAndSave() {
    QString name = m_program + QLatin1Char('_') + m_key.text() + QLatin1Char('_') +
                   QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\s]")), QStringLiteral("_"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString file = QFileDialog::getSaveFileName(
        this, text(line::SavePdf).remove(QStringLiteral("...")).trimmed(),
        QDir(folder).filePath(name + QStringLiteral(".pdf")), text(line::PdfFilter));
    if (!file.isEmpty())
        savePdf(file);
}

} // namespace gui
