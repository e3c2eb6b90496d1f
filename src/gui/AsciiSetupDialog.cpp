#include "gui/AsciiSetupDialog.h"

#include "gui/DialogButton.h"
#include "gui/WindowOnTop.h"
#include "settings/CsvPreset.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gui {

using namespace ascii;

namespace {
const QString kSection = QStringLiteral("frm_AsciiFileSetup");
const QString kBox = QStringLiteral("MessageBoxen");
} // namespace

AsciiSetupDialog::AsciiSetupDialog(DialogContext context, QWidget* mainWindow)
    : QDialog(mainWindow), m_state(context), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_ASCII_Setup"));
    const DialogContext& st = m_state;
    auto t = [&](int line) { return st.text(kSection, line); };
    setWindowTitle(t(2) + QLatin1Char(' ') + common::applicationTitle());

    auto* columns = new QGroupBox(t(3));
    columns->setObjectName(QStringLiteral("Frame1"));
    auto* g = new QGridLayout(columns);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(2);
    for (int c = 0; c < kColumns; ++c) {
        auto* pos = new QLabel;
        pos->setObjectName(QStringLiteral("Label1_%1").arg(c));
        pos->setMinimumWidth(24);
        pos->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pos->setStyleSheet(QStringLiteral("color: #1f4f7f; font-weight: bold;"));
        auto* box = new QCheckBox(t(4 + c));
        box->setObjectName(QStringLiteral("Check1_%1").arg(c));
        m_position[static_cast<std::size_t>(c)] = pos;
        m_check[static_cast<std::size_t>(c)] = box;
        const int row = c % 11;
        const int col = (c / 11) * 2;
        g->addWidget(pos, row, col);
        g->addWidget(box, row, col + 1);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) { setColumn(c, on); });
    }
    auto* allOn = new QPushButton(t(26));
    allOn->setObjectName(QStringLiteral("cmd_EIN"));
    auto* allOff = new QPushButton(t(27));
    allOff->setObjectName(QStringLiteral("cmd_AUS"));
    connect(allOn, &QPushButton::clicked, this, [this] {
        takeTextFields();
        m_layout.allOn();
        showLayout();
    });
    connect(allOff, &QPushButton::clicked, this, [this] {
        takeTextFields();
        m_layout.allOff();
        showLayout();
    });
    auto* allButtons = new QHBoxLayout;
    allButtons->addWidget(allOn);
    allButtons->addWidget(allOff);
    allButtons->addStretch(1);
    g->addLayout(allButtons, 11, 0, 1, 4);

    auto* format = new QGroupBox(t(28));
    format->setObjectName(QStringLiteral("Frame3"));
    auto* sepLabel = new QLabel(t(29));
    sepLabel->setObjectName(QStringLiteral("Label2"));
    m_separator = new QLineEdit;
    m_separator->setObjectName(QStringLiteral("txt_ASCII"));
    m_separator->setMaximumWidth(60);
    auto* typeFrame = new QGroupBox(t(30));
    typeFrame->setObjectName(QStringLiteral("Frame4"));
    m_csv = new QRadioButton(t(31));
    m_csv->setObjectName(QStringLiteral("optCSV"));
    m_txt = new QRadioButton(t(32));
    m_txt->setObjectName(QStringLiteral("optTXT"));
    auto* ht = new QHBoxLayout(typeFrame);
    ht->addWidget(m_csv);
    ht->addWidget(m_txt);
    // A separator the numbers also use (the decimal comma) makes quoted fields: say so.
    auto* separatorNote = new QLabel;
    separatorNote->setObjectName(QStringLiteral("lblSeparatorNote"));
    separatorNote->setWordWrap(true);
    separatorNote->setVisible(false);
    connect(m_separator, &QLineEdit::textChanged, separatorNote, [this, separatorNote](const QString& sep) {
        const bool collides = separatorInNumbers(sep, QLocale::system());
        separatorNote->setText(collides ? m_state.text(QStringLiteral("MessageBoxen"), 64).arg(sep)
                                        : QString());
        separatorNote->setVisible(collides);
    });
    auto* hf = new QHBoxLayout;
    hf->addWidget(sepLabel);
    hf->addWidget(m_separator);
    hf->addSpacing(20);
    hf->addWidget(typeFrame);
    hf->addStretch(1);
    // A preset fixes separator, decimal mark and encoding for the spreadsheet that opens the file.
    auto* presetLabel = new QLabel(t(37));
    presetLabel->setObjectName(QStringLiteral("lblCsvPreset"));
    m_preset = new QComboBox;
    m_preset->setObjectName(QStringLiteral("cboCsvPreset"));
    m_preset->addItems({t(38), t(39), t(40)});
    connect(m_preset, &QComboBox::currentIndexChanged, m_separator,
            [this](int i) { m_separator->setEnabled(i == static_cast<int>(settings::CsvPreset::Locale)); });
    auto* hp = new QHBoxLayout;
    hp->addWidget(presetLabel);
    hp->addWidget(m_preset);
    hp->addStretch(1);
    auto* vf = new QVBoxLayout(format);
    vf->addLayout(hp);
    vf->addLayout(hf);
    vf->addWidget(separatorNote);

    QHBoxLayout* buttons = gui::settingsButtonRow(
        this, {t(33), t(34), t(35), t(36)}, [this] { OKButton_Click(); }, [this] { cmdExport_Click(); },
        [this] { cmdImport_Click(); });

    auto* v = new QVBoxLayout(this);
    v->addWidget(columns);
    v->addWidget(format);
    v->addLayout(buttons);

    m_layout = loadLayout(st.store);
    showLayout();
    m_preset->setCurrentIndex(static_cast<int>(settings::readCsvPreset(st.store)));
    m_separator->setEnabled(m_preset->currentIndex() == static_cast<int>(settings::CsvPreset::Locale));
    gui::SetTopmost(this, true);
}

void AsciiSetupDialog::setColumn(int column, bool on) {
    m_layout.setSwitch(column, on);
    showLayout();
}

void AsciiSetupDialog::takeTextFields() {
    m_layout.separator = m_separator->text();
    m_layout.csv = m_csv->isChecked();
    m_layout.txt = m_txt->isChecked();
}

void AsciiSetupDialog::showLayout() {
    for (int c = 0; c < kColumns; ++c) {
        const QSignalBlocker block(m_check[static_cast<std::size_t>(c)]);
        m_check[static_cast<std::size_t>(c)]->setChecked(m_layout.on[static_cast<std::size_t>(c)]);
        m_position[static_cast<std::size_t>(c)]->setText(m_layout.position[static_cast<std::size_t>(c)]);
    }
    m_separator->setText(m_layout.separator);
    m_csv->setChecked(m_layout.csv);
    m_txt->setChecked(!m_layout.csv);
}

void AsciiSetupDialog::OKButton_Click() {
    takeTextFields();
    const DialogContext& st = m_state;
    try {
        saveLayout(st.store, m_layout);
        settings::writeCsvPreset(st.store, static_cast<settings::CsvPreset>(m_preset->currentIndex()));
    } catch (const settings::SettingsWriteError& e) {
        settings::reportSettingsWriteError(e, st.texts, st.message);
        return;
    }
    close();
}

void AsciiSetupDialog::cmdExport_Click() {
    takeTextFields();
    const DialogContext& st = m_state;
    settings::exportSettingsFile(asciiSettingsFile(), exportLines(m_layout), st.texts, st.message);
}

void AsciiSetupDialog::cmdImport_Click() {
    const DialogContext& st = m_state;
    const auto lines = settings::importSettingsFile(asciiSettingsFile(), st.texts, st.message);
    if (!lines)
        return;
    takeTextFields();
    importLines(m_layout, *lines);
    showLayout();
}

} // namespace gui
