#include "gui/BatchFileDialog.h"

#include "run/BatchFile.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace gui {

namespace {
const QString kSection = QStringLiteral("frm_BatchFileEditor");

QLabel* pathLabel(const QString& name) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(420);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}
} // namespace

BatchFileDialog::BatchFileDialog(DialogContext context, QWidget* mainWindow)
    : QDialog(mainWindow), m_state(context), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_BatchFile"));
    const DialogContext& st = m_state;
    auto t = [&](int line) { return st.text(kSection, line); };
    setWindowTitle(t(2));

    auto fileFrame = [&](const QString& frameName, int titleLine, QLabel* label, const QString& buttonName,
                         int buttonLine, std::function<void()> choose) {
        auto* frame = new QGroupBox(t(titleLine));
        frame->setObjectName(frameName);
        auto* button = new QPushButton(t(buttonLine));
        button->setObjectName(buttonName);
        connect(button, &QPushButton::clicked, this, std::move(choose));
        auto* h = new QHBoxLayout(frame);
        h->addWidget(label, 1);
        h->addWidget(button);
        return std::pair{frame, button};
    };
    // Filters in the user's language; each kind of file starts in the folder last used for it.
    const QString workbooks = st.text(QStringLiteral("frm_MainWindow"), 80);
    const QString layouts = st.text(QStringLiteral("frm_MainWindow"), 81);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString formFolder = settings::readLastUsedFolder(st.store, documents);
    const QString layoutFolder = settings::readLastLayoutFolder(st.store, documents);
    m_tabelle1 = pathLabel(QStringLiteral("lblTabelle1"));
    m_tabelle2 = pathLabel(QStringLiteral("lblTabelle2"));
    m_konfig = pathLabel(QStringLiteral("lblKonfig"));
    auto [frame1, b1] = fileFrame(QStringLiteral("Frame1"), 3, m_tabelle1,
                                  QStringLiteral("cmdSelectTabelle1"), 11, [=, this] {
                                      const QString f = QFileDialog::getOpenFileName(
                                          this, QStringLiteral("Excel Tabelle wählen"), formFolder, workbooks);
                                      if (!f.isEmpty())
                                          setWorkbook1(f);
                                  });
    auto [frame6, b2] = fileFrame(QStringLiteral("Frame6"), 4, m_tabelle2,
                                  QStringLiteral("cmdSelectTabelle2"), 11, [=, this] {
                                      const QString f = QFileDialog::getOpenFileName(
                                          this, QStringLiteral("Excel Tabelle wählen"), formFolder, workbooks);
                                      if (!f.isEmpty())
                                          setWorkbook2(f);
                                  });
    auto [frame2, b3] =
        fileFrame(QStringLiteral("Frame2"), 5, m_konfig, QStringLiteral("cmdSelectKonfig"), 12, [=, this] {
            const QString f = QFileDialog::getOpenFileName(this, QStringLiteral("Konfigurationsdatei wählen"),
                                                           layoutFolder, layouts);
            if (!f.isEmpty()) // a cancelled choice keeps the file shown
                setConfiguration(f);
        });
    Q_UNUSED(b1);
    Q_UNUSED(b3);
    m_selectTabelle2 = b2;
    m_tabelle2->setEnabled(false);
    m_selectTabelle2->setEnabled(false);

    auto* frame3 = new QGroupBox(t(6));
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto* frame4 = new QGroupBox(t(7));
    frame4->setObjectName(QStringLiteral("Frame4"));
    auto* frame5 = new QGroupBox(t(8));
    frame5->setObjectName(QStringLiteral("Frame5"));
    auto* v4 = new QVBoxLayout(frame4);
    auto* v5 = new QVBoxLayout(frame5);
    auto* g1 = new QButtonGroup(this);
    auto* g2 = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_option1[i] = new QRadioButton(t(13 + i));
        m_option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        g1->addButton(m_option1[i], i);
        v4->addWidget(m_option1[i]);
        m_option2[i] = new QRadioButton(t(16 + i));
        m_option2[i]->setObjectName(QStringLiteral("Option2_%1").arg(i));
        g2->addButton(m_option2[i], i);
        v5->addWidget(m_option2[i]);
        connect(m_option2[i], &QRadioButton::clicked, this, [this, i] { option2Clicked(i); });
    }
    // A script without a run mode would only open the window: "a" until the user chooses.
    m_option1[0]->setChecked(true);
    auto* h3 = new QHBoxLayout(frame3);
    h3->addWidget(frame4);
    h3->addWidget(frame5);

    auto* cancel = new QPushButton(t(9));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* create = new QPushButton(t(10));
    create->setObjectName(QStringLiteral("cmdCreateBatchFile"));
    create->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(create, &QPushButton::clicked, this, &BatchFileDialog::cmdCreateBatchFile_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(create);
    buttons->addWidget(cancel);

    auto* v = new QVBoxLayout(this);
    v->addWidget(frame1);
    v->addWidget(frame6);
    v->addWidget(frame2);
    v->addWidget(frame3);
    v->addLayout(buttons);
    // This window stays among the others: the batch file is made with other programs at hand.
}

void BatchFileDialog::setWorkbook1(const QString& path) {
    m_tabelle1->setText(QDir::toNativeSeparators(path));
}
void BatchFileDialog::setWorkbook2(const QString& path) {
    m_tabelle2->setText(QDir::toNativeSeparators(path));
}
void BatchFileDialog::setConfiguration(const QString& path) {
    m_konfig->setText(QDir::toNativeSeparators(path));
}
void BatchFileDialog::selectChoice(int index) {
    m_option2[index]->setChecked(true);
    option2Clicked(index);
}
bool BatchFileDialog::workbook2Enabled() const {
    return m_selectTabelle2->isEnabled();
}

void BatchFileDialog::option2Clicked(int index) {
    m_tabelle2->setEnabled(index == 2);
    m_selectTabelle2->setEnabled(index == 2);
}

void BatchFileDialog::cmdCreateBatchFile_Click() {
    const DialogContext& st = m_state;
    // The choices stay for the user to complete.
    if (m_konfig->text().trimmed().isEmpty() || m_tabelle1->text().trimmed().isEmpty()) {
        common::notify(st.message, common::MsgIcon::Information,
                       st.text(QStringLiteral("MessageBoxen"), settings::msgline::BatchFileNeedsForm));
        return;
    }
    run::BatchChoice c;
    for (int i = 0; i < 3; ++i) {
        if (c.mode < 0 && m_option1[i]->isChecked())
            c.mode = i;
        if (c.choice < 0 && m_option2[i]->isChecked())
            c.choice = i;
    }
    c.workbook1 = m_tabelle1->text();
    c.workbook2 = m_tabelle2->text();
    c.configuration = m_konfig->text();
    c.program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const run::ScriptKind kind = run::platformScriptKind();
    const run::BatchFile f = run::makeBatchFile(c, kind);
    try {
        run::writeBatchFile(f, kind);
    } catch (const settings::FileError& e) {
        common::notify(st.message, common::MsgIcon::Error,
                       st.text(QStringLiteral("MessageBoxen"), 50) + common::crlf() +
                           QDir::toNativeSeparators(e.path()) + common::crlf() + e.reason());
        return; // the window stays open with the choices
    }
    common::notify(st.message, common::MsgIcon::Information,
                   st.text(QStringLiteral("MessageBoxen"), settings::msgline::BatchFileWritten)
                       .arg(QDir::toNativeSeparators(f.path)));
    close();
}

void BatchFileDialog::closeEvent(QCloseEvent* event) {
    m_main->show();
    event->accept();
}

} // namespace gui
