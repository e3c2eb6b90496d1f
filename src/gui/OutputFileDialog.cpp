#include "gui/OutputFileDialog.h"

#include "common/ProgramPaths.h"
#include "gui/DialogButton.h"
#include "gui/FolderChooser.h"
#include "gui/WindowOnTop.h"
#include "protocol/PdfProtocol.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gui {

using namespace settings;

namespace {
const QString kSection = QStringLiteral("frm_OutputFileSetup");
const QString kBox = QStringLiteral("MessageBoxen");

// Shows the header data name; a name the list no longer has stays, so that nothing is lost
// unseen. Entry 0 is "none".
void showMapping(QComboBox* box, const QString& name) {
    if (name.isEmpty()) {
        box->setCurrentIndex(0);
        return;
    }
    int at = box->findData(name);
    if (at < 0) {
        box->addItem(name, name);
        at = box->count() - 1;
    }
    box->setCurrentIndex(at);
}

QCheckBox* checkBox(const QString& name, const QString& text) {
    auto* c = new QCheckBox(text);
    c->setObjectName(name);
    return c;
}

// The header data names to choose from, each once; entry 0 is "none".
QComboBox* mappingBox(const QString& name, const QString& none, const model::HeaderRows& header) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    box->addItem(none, QString());
    for (const model::HeaderRow& row : header)
        if (const QString n = row.name.trimmed(); !n.isEmpty() && box->findData(n) < 0)
            box->addItem(n, n);
    return box;
}
} // namespace

OutputFileDialog::OutputFileDialog(DialogContext context, const model::HeaderRows& header,
                                   QWidget* mainWindow)
    : QDialog(mainWindow), m_context(context), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_Ausgabedatei_Setup"));
    setWindowTitle(text(2) + QLatin1Char(' ') + common::applicationTitle());

    QGroupBox* folderFrame = buildFolderGroup();
    QGroupBox* progFrame = buildProgramGroup();
    QGroupBox* nameFrame = buildNamingGroup();
    QGroupBox* protocolFrame = buildProtocolGroup(header);
    QHBoxLayout* buttons = gui::settingsButtonRow(
        this, {text(16), text(17), text(18), text(19)}, [this] { OKButton_Click(); },
        [this] { cmdExport_Click(); }, [this] { cmdImport_Click(); });

    auto* right = new QVBoxLayout;
    right->addWidget(progFrame);
    right->addWidget(nameFrame);
    right->addWidget(protocolFrame);
    right->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(folderFrame, 1);
    top->addLayout(right, 1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top, 1);
    v->addLayout(buttons);
    resize(880, 620);

    showSettings(loadOutputFileSettings(m_context.store, common::programDir()));
    SetTopmost(this, true);
}

QString OutputFileDialog::text(int line) const {
    return m_context.text(kSection, line);
}

QGroupBox* OutputFileDialog::buildFolderGroup() {
    auto* folderFrame = new QGroupBox(text(3));
    folderFrame->setObjectName(QStringLiteral("Frame1"));
    m_optPartProgram = new QRadioButton(text(4));
    m_optPartProgram->setObjectName(QStringLiteral("optUsePartProgramFolder"));
    m_optSelected = new QRadioButton(text(5));
    m_optSelected->setObjectName(QStringLiteral("optSelectedFolder"));
    m_optDefault = new QRadioButton(text(6));
    m_optDefault->setObjectName(QStringLiteral("optUseDefaultFolder"));
    m_folder = new FolderChooser(QStringLiteral("Drive_Zirirezu"), QStringLiteral("Dir_Zirirezu"));
    auto* pathCaption = new QLabel(text(7));
    pathCaption->setObjectName(QStringLiteral("Label1"));
    m_path = new QLabel;
    m_path->setObjectName(QStringLiteral("Label_Verzeichnis"));
    m_path->setWordWrap(true);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* vf = new QVBoxLayout(folderFrame);
    vf->addWidget(m_optPartProgram);
    vf->addWidget(m_optSelected);
    vf->addWidget(m_optDefault);
    vf->addWidget(m_folder, 1);
    vf->addWidget(pathCaption);
    vf->addWidget(m_path);
    for (QRadioButton* r : {m_optPartProgram, m_optSelected, m_optDefault})
        connect(r, &QRadioButton::toggled, this, [this] { folderModeChanged(); });
    connect(m_folder, &FolderChooser::folderChanged, this, [this](const QString& f) { m_path->setText(f); });
    return folderFrame;
}

QGroupBox* OutputFileDialog::buildProgramGroup() {
    auto* progFrame = new QGroupBox(text(8));
    progFrame->setObjectName(QStringLiteral("Frame2"));
    m_multiLine = checkBox(QStringLiteral("chkMultiLine"), QLatin1Char(' ') + text(9));
    m_currentUser = checkBox(QStringLiteral("chkCurrentUser"), QLatin1Char(' ') + text(10));
    m_minimize = checkBox(QStringLiteral("chkMinimize"), QLatin1Char(' ') + text(11));
    m_header = checkBox(QStringLiteral("chkUseHeaderData"), QStringLiteral(" Kopfdaten unterstützen"));
    // Hidden, but the dialog's own: found by name and freed with it.
    m_header->setParent(this);
    m_header->setVisible(false);
    m_tolProzent = new QLineEdit;
    m_tolProzent->setObjectName(QStringLiteral("txtTolProzent"));
    m_tolProzent->setMaximumWidth(80);
    auto* tolLabel = new QLabel(text(26));
    tolLabel->setObjectName(QStringLiteral("lblTolProzent"));
    auto* gp = new QGridLayout(progFrame);
    gp->addWidget(m_multiLine, 0, 0, 1, 2);
    gp->addWidget(m_currentUser, 1, 0, 1, 2);
    gp->addWidget(m_minimize, 2, 0, 1, 2);
    gp->addWidget(tolLabel, 3, 0);
    gp->addWidget(m_tolProzent, 3, 1, Qt::AlignLeft);
    gp->setColumnStretch(1, 1);
    return progFrame;
}

// The five parts of a result file's name and what separates them.
QGroupBox* OutputFileDialog::buildNamingGroup() {
    auto* nameFrame = new QGroupBox(text(12));
    nameFrame->setObjectName(QStringLiteral("Frame3"));
    auto* gn = new QGridLayout(nameFrame);
    auto* nameLabel = new QLabel(text(13));
    nameLabel->setObjectName(QStringLiteral("Label2"));
    gn->addWidget(nameLabel, 0, 0, 1, 5);
    const QString designation = text(20), drawing = text(21), none = text(22), revision = text(23),
                  date = text(24), time = text(25);
    const QStringList entries[5] = {{designation, drawing},
                                    {none, revision, designation, drawing},
                                    {none, drawing, revision, date},
                                    {none, date, time},
                                    {none, time}};
    for (int i = 0; i < 5; ++i) {
        m_fileName[i] = new QComboBox;
        m_fileName[i]->setObjectName(QStringLiteral("comboFileName%1").arg(i + 1));
        m_fileName[i]->addItems(entries[i]);
        gn->addWidget(m_fileName[i], 1, i);
    }
    auto* sepLabel = new QLabel(text(14));
    sepLabel->setObjectName(QStringLiteral("Label3"));
    m_separator = new QComboBox;
    m_separator->setObjectName(QStringLiteral("comboSeperator"));
    m_separator->addItems({QStringLiteral("___"), QStringLiteral("__"), QStringLiteral("_"),
                           QStringLiteral("---"), QStringLiteral("--"), QStringLiteral("-")});
    m_counter = checkBox(QStringLiteral("chkFileCounter"), text(15));
    gn->addWidget(sepLabel, 2, 0);
    gn->addWidget(m_separator, 2, 1);
    gn->addWidget(m_counter, 2, 2, 1, 3);
    return nameFrame;
}

// The extra outputs and which header data fill the AQDEF value fields.
QGroupBox* OutputFileDialog::buildProtocolGroup(const model::HeaderRows& header) {
    auto p = [&](int line) { return m_context.text(protocol::protocolSection(), line); };
    auto* protocolFrame = new QGroupBox(p(protocol::line::MappingFrame));
    protocolFrame->setObjectName(QStringLiteral("FrameProtocols"));
    m_aqdef = checkBox(QStringLiteral("chkAQDEF"), p(protocol::line::AqdefSwitch));
    m_qif = checkBox(QStringLiteral("chkQIF"), p(protocol::line::QifSwitch));
    m_pdf = checkBox(QStringLiteral("chkPDF"), p(protocol::line::PdfSwitch));
    m_k0006 = mappingBox(QStringLiteral("comboAQDEF_K0006"), p(protocol::line::MappingNone), header);
    m_k0008 = mappingBox(QStringLiteral("comboAQDEF_K0008"), p(protocol::line::MappingNone), header);
    auto* gq = new QGridLayout(protocolFrame);
    gq->addWidget(m_aqdef, 0, 0, 1, 2);
    gq->addWidget(m_qif, 1, 0, 1, 2);
    gq->addWidget(m_pdf, 2, 0, 1, 2);
    auto* k6 = new QLabel(p(protocol::line::MappingK0006));
    k6->setObjectName(QStringLiteral("lblAQDEF_K0006"));
    auto* k8 = new QLabel(p(protocol::line::MappingK0008));
    k8->setObjectName(QStringLiteral("lblAQDEF_K0008"));
    gq->addWidget(k6, 3, 0);
    gq->addWidget(m_k0006, 3, 1);
    gq->addWidget(k8, 4, 0);
    gq->addWidget(m_k0008, 4, 1);
    gq->setColumnStretch(1, 1);
    return protocolFrame;
}

void OutputFileDialog::folderModeChanged() {
    // The folder lists are for the default folder only.
    const bool usable = m_optDefault->isChecked();
    m_folder->setEnabled(usable);
    m_path->setEnabled(usable);
}

void OutputFileDialog::showSettings(const OutputFileSettings& s) {
    m_optPartProgram->setChecked(s.partProgFolder);
    m_optSelected->setChecked(s.selectFolder);
    m_optDefault->setChecked(s.defaultFolder || (!s.partProgFolder && !s.selectFolder));
    m_folder->setFolder(s.drive, s.folder);
    m_path->setText(s.folder);
    for (int i = 0; i < 5; ++i)
        m_fileName[i]->setCurrentIndex(
            s.fileName[i] >= 0 && s.fileName[i] < m_fileName[i]->count() ? s.fileName[i] : 0);
    m_separator->setCurrentIndex(s.separator >= 0 && s.separator < m_separator->count() ? s.separator : 0);
    m_counter->setChecked(s.fileCounter);
    m_multiLine->setChecked(s.multiLine);
    m_currentUser->setChecked(s.currentUser);
    m_minimize->setChecked(s.minimize);
    m_header->setChecked(s.header);
    m_tolProzent->setText(s.tolProzent);
    m_aqdef->setChecked(s.aqdef);
    m_qif->setChecked(s.qif);
    m_pdf->setChecked(s.pdf);
    showMapping(m_k0006, s.aqdefK0006);
    showMapping(m_k0008, s.aqdefK0008);
    folderModeChanged();
}

OutputFileSettings OutputFileDialog::current() const {
    OutputFileSettings s;
    s.drive = m_folder->drive();
    s.folder = m_folder->folder();
    s.partProgFolder = m_optPartProgram->isChecked();
    s.selectFolder = m_optSelected->isChecked();
    s.defaultFolder = m_optDefault->isChecked();
    for (int i = 0; i < 5; ++i)
        s.fileName[i] = m_fileName[i]->currentIndex();
    s.separator = m_separator->currentIndex();
    s.fileCounter = m_counter->isChecked();
    s.multiLine = m_multiLine->isChecked();
    s.currentUser = m_currentUser->isChecked();
    s.minimize = m_minimize->isChecked();
    s.header = m_header->isChecked();
    s.tolProzent = m_tolProzent->text();
    s.aqdef = m_aqdef->isChecked();
    s.qif = m_qif->isChecked();
    s.pdf = m_pdf->isChecked();
    s.aqdefK0006 = m_k0006->currentData().toString();
    s.aqdefK0008 = m_k0008->currentData().toString();
    return s;
}

void OutputFileDialog::OKButton_Click() {
    const DialogContext& st = m_context;
    const OutputFileSettings s = current();
    try {
        saveOutputFileSettings(st.store, s);
    } catch (const SettingsWriteError& e) {
        reportSettingsWriteError(e, st.texts, st.message);
        return; // the dialog stays open with the values
    }
    Q_EMIT headerVisibilityChanged(s.header);
    close();
}

void OutputFileDialog::cmdExport_Click() {
    const DialogContext& st = m_context;
    exportSettingsFile(outputFileSettingsFile(), exportOutputFileSettings(current()), st.texts, st.message);
}

void OutputFileDialog::cmdImport_Click() {
    const DialogContext& st = m_context;
    const auto lines = importSettingsFile(outputFileSettingsFile(), st.texts, st.message);
    if (!lines)
        return;
    OutputFileSettings s = current();
    importOutputFileSettings(s, *lines);
    showSettings(s);
}

} // namespace gui
