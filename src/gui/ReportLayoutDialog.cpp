#include "gui/ReportLayoutDialog.h"

#include "gui/DialogButton.h"
#include "gui/WindowOnTop.h"
#include "settings/HeaderData.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace gui {

using namespace excel;

namespace {
const QString kSection = QStringLiteral("frm_ReportDesignSetup");
const QString kBox = QStringLiteral("MessageBoxen");

// Text boxes with the language line of their label, in the dialog's order.
struct BoxDef {
    const char* name;
    int label;
};
const BoxDef kBoxes[] = {
    {"txtZeileStart", 10}, {"txtZeileEnde", 11}, {"txtSpalteStart", 12}, {"txtID", 13},
    {"txtNominal", 14},    {"txtUTol", 15},      {"txtOTol", 16},        {"txtDev", 25},
    {"txtATol", 26},       {"txtSymbol", 17},    {"txtKommentar", 18},   {"txtKommentarlänge", 19},
    {"txtLfdNr", 34},      {"txtDate", 20},      {"txtTime", 21},        {"txtElement1", 22},
    {"txtElement2", 0},    {"txtElement3", 0},   {"txtBezug1", 23},      {"txtBezug2", 0},
    {"txtBezug3", 0},      {"txtEinheit", 24}};
} // namespace

QString ReportLayoutDialog::text(int line) const {
    return m_state.text(kSection, line);
}

QLineEdit* ReportLayoutDialog::box(const char* name) const {
    return m_boxes.value(QString::fromUtf8(name));
}

ReportLayoutDialog::ReportLayoutDialog(DialogContext context, QWidget* mainWindow)
    : QDialog(mainWindow), m_state(context), m_main(mainWindow) {
    setObjectName(QStringLiteral("frm_BerichtDesign"));
    const DialogContext& st = m_state;

    auto* orientation = new QGroupBox(text(6));
    orientation->setObjectName(QStringLiteral("FrameOrientation"));
    m_rows = new QRadioButton(text(7));
    m_rows->setObjectName(QStringLiteral("OptionZeilen_0"));
    m_columns = new QRadioButton(text(8));
    m_columns->setObjectName(QStringLiteral("OptionZeilen_1"));
    m_rows->setChecked(true);
    auto* ho = new QHBoxLayout(orientation);
    ho->addWidget(m_rows);
    ho->addWidget(m_columns);
    ho->addStretch(1);
    connect(m_rows, &QRadioButton::toggled, this, [this] { orientationChanged(); });

    auto* fields = new QGroupBox(text(9));
    fields->setObjectName(QStringLiteral("FrameFields"));
    auto* g = new QGridLayout(fields);
    int row = 0;
    int col = 0;
    // Every box shows the longest thing it holds, the "not used" marker, whole.
    const int boxWidth = fontMetrics().horizontalAdvance(kNotUsed) + 16;
    for (const BoxDef& b : kBoxes) {
        auto* e = new QLineEdit;
        e->setObjectName(QString::fromUtf8(b.name));
        e->setMinimumWidth(boxWidth);
        e->setMaximumWidth(std::max(120, boxWidth));
        m_boxes.insert(e->objectName(), e);
        if (b.label == 0) { // the second and third of a group share the first one's label
            g->addWidget(e, row - 1, col * 2 + 1 + 0, Qt::AlignRight);
            continue;
        }
        auto* l = new QLabel(text(b.label));
        l->setObjectName(QStringLiteral("lbl_") + e->objectName());
        if (b.label == 25)
            m_devLabel = l;
        if (b.label == 26)
            m_atolLabel = l;
        if (b.label == 34)
            m_lfdLabel = l;
        g->addWidget(l, row, col * 2);
        g->addWidget(e, row, col * 2 + 1);
        if (++row == 13) {
            row = 0;
            ++col;
        }
    }
    // Element and datum boxes come in threes on one row each.
    for (const char* group : {"txtElement", "txtBezug"}) {
        QLineEdit* first = box((QByteArray(group) + "1").constData());
        int r = 0, c = 0, rs = 0, cs = 0;
        g->getItemPosition(g->indexOf(first), &r, &c, &rs, &cs);
        auto* three = new QHBoxLayout;
        for (int i = 1; i <= 3; ++i) {
            QLineEdit* e = box((QByteArray(group) + QByteArray::number(i)).constData());
            g->removeWidget(e);
            e->setMaximumWidth(boxWidth);
            three->addWidget(e);
        }
        g->addLayout(three, r, c);
    }
    auto* note = new QLabel(QStringLiteral("* ") + text(27));
    note->setObjectName(QStringLiteral("lblNote"));
    auto* vm = new QLabel(QStringLiteral("VM: ") + text(28));
    vm->setObjectName(QStringLiteral("lblVM"));
    g->addWidget(note, 14, 0, 1, 4);
    g->addWidget(vm, 15, 0, 1, 4);

    m_headerFrame = new QGroupBox(text(29));
    m_headerFrame->setObjectName(QStringLiteral("FrameKopfdaten"));
    m_grid = new QTableWidget(1, 3);
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setColumnWidth(0, settings::twipsToPixels(1900));
    const int cellWidth = std::max(settings::twipsToPixels(900), boxWidth);
    m_grid->setColumnWidth(1, cellWidth);
    m_grid->setColumnWidth(2, cellWidth);
    m_grid->setMinimumWidth(settings::twipsToPixels(1900) + 2 * cellWidth + 24);
    for (int c = 0; c < 3; ++c) {
        auto* item = new QTableWidgetItem(QLatin1Char(' ') + text(2 + c) + QLatin1Char(' '));
        item->setBackground(m_grid->palette().brush(QPalette::Button));
        item->setForeground(m_grid->palette().brush(QPalette::ButtonText));
        m_grid->setItem(0, c, item);
    }
    m_text1 = new QLineEdit(m_grid->viewport());
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->hide();
    m_text1->installEventFilter(this);
    connect(m_grid, &QTableWidget::cellClicked, this, [this](int r, int c) { editCell(r, c); });
    auto* hv = new QVBoxLayout(m_headerFrame);
    hv->addWidget(m_grid);

    QPushButton* ok = gui::dialogButton(QStringLiteral("cmdOK"), text(30));
    ok->setToolTip(text(37));
    QPushButton* cancel = gui::dialogButton(QStringLiteral("cmdCancel"), text(31));
    cancel->setToolTip(text(49));
    QPushButton* save = gui::dialogButton(QStringLiteral("cmdSaveAs"), text(32));
    save->setToolTip(text(38));
    QPushButton* load = gui::dialogButton(QStringLiteral("cmdLoad"), text(33));
    load->setToolTip(text(39));
    connect(ok, &QPushButton::clicked, this, &ReportLayoutDialog::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(save, &QPushButton::clicked, this, [this] { cmdSaveAs_Click(); });
    connect(load, &QPushButton::clicked, this, [this] { cmdLoad_Click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(load);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* right = new QVBoxLayout;
    right->addWidget(m_headerFrame, 1);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(orientation);
    left->addWidget(fields);
    // "GD&T" is the name, not a shortcut key.
    m_unicodeSymbols = new QCheckBox(text(51).replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_unicodeSymbols->setObjectName(QStringLiteral("chkUnicodeSymbols"));
    left->addWidget(m_unicodeSymbols);
    top->addLayout(left);
    top->addLayout(right);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top, 1);
    v->addLayout(buttons);

    bool headerFileOk = true;
    if (settings::readHeaderSwitch(st.store, true)) {
        // No file yet is a station without header data, not a fault: only one that is there and
        // cannot be read is.
        const bool none = !QFileInfo::exists(settings::headerDataFile());
        const auto names = none ? std::optional<QStringList>(QStringList())
                                : settings::readTextLines(settings::headerDataFile(), settings::systemCodePage());
        if (!names) {
            headerFileOk = false;
            common::notify(st.message, common::MsgIcon::Error, st.text(kBox, 5));
        } else {
            m_grid->setRowCount(static_cast<int>(names->size()) + 1);
            for (int i = 0; i < names->size(); ++i) {
                auto* item = new QTableWidgetItem(QLatin1Char(' ') + names->at(i));
                item->setBackground(m_grid->palette().brush(QPalette::Button));
                item->setForeground(m_grid->palette().brush(QPalette::ButtonText));
                m_grid->setItem(i + 1, 0, item);
                m_grid->setItem(i + 1, 1, new QTableWidgetItem);
                m_grid->setItem(i + 1, 2, new QTableWidgetItem);
            }
        }
    } else {
        m_headerFrame->setVisible(false);
    }
    // A station that never stored a layout opens empty boxes, not a complaint about them.
    if (headerFileOk && settings::readReportLayoutValue(st.store, QStringLiteral("FormStartRow"))) {
        ReportLayout layout;
        if (LoadReportSettings(st.store, m_grid->rowCount() - 1, layout,
                               LayoutMessages{st.texts, st.message}))
            showValues(layout.v);
    }
    setTitle(settings::readLastUsedConfig(st.store));
    orientationChanged();
    gui::SetTopmost(this, true);
}

void ReportLayoutDialog::setTitle(const QString& file) {
    setWindowTitle(file + QStringLiteral("   ---   ") + text(5));
}

void ReportLayoutDialog::orientationChanged() {
    const bool rows = m_rows->isChecked();
    m_devLabel->setText(text(rows ? 25 : 41) + QStringLiteral(" *"));
    m_atolLabel->setText(text(rows ? 26 : 42) + QStringLiteral(" *"));
    m_lfdLabel->setText(text(rows ? 34 : 50));
}

QStringList ReportLayoutDialog::headerNames() const {
    QStringList n;
    for (int r = 1; r < m_grid->rowCount(); ++r)
        n << m_grid->item(r, 0)->text().trimmed();
    return n;
}

ReportLayoutValues ReportLayoutDialog::values() const {
    ReportLayoutValues v;
    auto t = [this](const char* name) { return box(name)->text(); };
    v.FormStartRow = t("txtZeileStart");
    v.FormEndRow = t("txtZeileEnde");
    v.FormMeasColums = t("txtSpalteStart");
    v.FormIDColum = t("txtID");
    v.FormNominalColum = t("txtNominal");
    v.FormUTolColum = t("txtUTol");
    v.FormOTolColum = t("txtOTol");
    v.FormDevColum = t("txtDev");
    v.FormATolColum = t("txtATol");
    v.FormSymbolColum = t("txtSymbol");
    v.FormCommentColum = t("txtKommentar");
    v.CommentLength = t("txtKommentarlänge");
    v.rows = m_rows->isChecked();
    v.FormDateRow = t("txtDate");
    v.FormTimeRow = t("txtTime");
    v.Element1Colum = t("txtElement1");
    v.Element2Colum = t("txtElement2");
    v.Element3Colum = t("txtElement3");
    v.Bezug1Colum = t("txtBezug1");
    v.Bezug2Colum = t("txtBezug2");
    v.Bezug3Colum = t("txtBezug3");
    v.EinheitColum = t("txtEinheit");
    v.LfdNr = t("txtLfdNr");
    v.unicodeSymbols = m_unicodeSymbols->isChecked();
    for (int r = 1; r < m_grid->rowCount(); ++r) {
        v.Kopfdaten1.push_back(m_grid->item(r, 1) ? m_grid->item(r, 1)->text() : QString());
        v.Kopfdaten2.push_back(m_grid->item(r, 2) ? m_grid->item(r, 2)->text() : QString());
    }
    return v;
}

void ReportLayoutDialog::showValues(const ReportLayoutValues& v) {
    auto set = [this](const char* name, const QString& value) { box(name)->setText(value); };
    set("txtZeileStart", v.FormStartRow);
    set("txtZeileEnde", v.FormEndRow);
    set("txtSpalteStart", v.FormMeasColums);
    set("txtID", v.FormIDColum);
    set("txtNominal", v.FormNominalColum);
    set("txtUTol", v.FormUTolColum);
    set("txtOTol", v.FormOTolColum);
    set("txtDev", v.FormDevColum);
    set("txtATol", v.FormATolColum);
    set("txtSymbol", v.FormSymbolColum);
    set("txtKommentar", v.FormCommentColum);
    set("txtKommentarlänge", v.CommentLength);
    set("txtDate", v.FormDateRow);
    set("txtTime", v.FormTimeRow);
    set("txtElement1", v.Element1Colum);
    set("txtElement2", v.Element2Colum);
    set("txtElement3", v.Element3Colum);
    set("txtBezug1", v.Bezug1Colum);
    set("txtBezug2", v.Bezug2Colum);
    set("txtBezug3", v.Bezug3Colum);
    set("txtEinheit", v.EinheitColum);
    set("txtLfdNr", v.LfdNr);
    (v.rows ? m_rows : m_columns)->setChecked(true);
    m_unicodeSymbols->setChecked(v.unicodeSymbols);
    for (int r = 1; r < m_grid->rowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r - 1);
        m_grid->item(r, 1)->setText(i < v.Kopfdaten1.size() ? v.Kopfdaten1[i] : QString());
        m_grid->item(r, 2)->setText(i < v.Kopfdaten2.size() ? v.Kopfdaten2[i] : QString());
    }
    orientationChanged();
}

bool ReportLayoutDialog::validate(Check check) {
    leaveCell();
    const DialogContext& st = m_state;
    for (const char* required : {"txtZeileStart", "txtZeileEnde", "txtSpalteStart"})
        if (box(required)->text().trimmed().isEmpty()) {
            if (check == Check::Ok) {
                common::notify(st.message, common::MsgIcon::Error, st.text(kBox, 4));
            } else {
                common::Message m;
                m.caption = common::applicationTitle();
                m.text = QStringLiteral("Not all values are set.");
                st.message(m);
            }
            return false;
        }
    for (auto it = m_boxes.cbegin(); it != m_boxes.cend(); ++it) {
        if (it.key() == QLatin1String("txtZeileStart") || it.key() == QLatin1String("txtZeileEnde") ||
            it.key() == QLatin1String("txtSpalteStart") || !it.value()->text().trimmed().isEmpty())
            continue;
        it.value()->setText(it.key() == QString::fromUtf8("txtKommentarlänge") ? QStringLiteral("0")
                                                                               : kNotUsed);
    }
    for (int r = 1; r < m_grid->rowCount(); ++r)
        for (int c = 1; c <= 2; ++c)
            if (m_grid->item(r, c)->text().trimmed().isEmpty())
                m_grid->item(r, c)->setText(kNotUsed);
    return true;
}

void ReportLayoutDialog::cmdOK_Click() {
    if (!validate(Check::Ok))
        return;
    const DialogContext& st = m_state;
    try {
        storeReportLayout(st.store, values());
    } catch (const settings::SettingsWriteError& e) {
        settings::reportSettingsWriteError(e, st.texts, st.message);
        return;
    }
    close();
}

// The layout file given, or the one the user picks; ".cfg" is added when missing. "" when none.
QString ReportLayoutDialog::layoutFile(const QString& chosenFile, FileDialog dialog) {
    const QString start = settings::readLastLayoutFolder(
        m_state.store, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QString file = chosenFile.isEmpty()
                       ? dialog(this, QString(), start, m_state.text(QStringLiteral("frm_MainWindow"), 81), nullptr, {})
                       : chosenFile;
    if (!file.isEmpty() && !file.endsWith(QLatin1String(".cfg")))
        file += QStringLiteral(".cfg");
    return file;
}

void ReportLayoutDialog::cmdSaveAs_Click(const QString& chosenFile) {
    if (!validate(Check::Save))
        return;
    const DialogContext& st = m_state;
    const QString file = layoutFile(chosenFile, &QFileDialog::getSaveFileName);
    if (file.isEmpty())
        return;
    // The new file is written completely before it replaces the old one; a file another program
    // holds is reported at once.
    try {
        settings::writeTextLines(file, layoutFileLines(values(), headerNames()), settings::systemCodePage());
    } catch (const settings::FileError& e) {
        common::notify(st.message, common::MsgIcon::Error,
                       st.text(kBox, 20) + common::crlf() + QDir::toNativeSeparators(e.path()) +
                           common::crlf() + e.reason());
        return;
    }
    setTitle(file);
    settings::writeLastUsedConfig(st.store, file, st.texts, st.message);
    settings::rememberRecentFile(st.store, settings::RecentKind::Layout, file);
}

void ReportLayoutDialog::cmdLoad_Click(const QString& chosenFile) {
    const DialogContext& st = m_state;
    const QString file = layoutFile(chosenFile, &QFileDialog::getOpenFileName);
    if (file.isEmpty())
        return;
    const auto lines = settings::readTextLines(file, settings::systemCodePage());
    if (!lines) {
        common::notify(st.message, common::MsgIcon::Error,
                       st.text(kBox, 2) + common::crlf() + st.text(kBox, 3));
        return;
    }
    const auto names = layoutFileHeaderNames(*lines);
    if (!names) {
        common::notify(st.message, common::MsgIcon::Information,
                       st.text(kBox, settings::msgline::LayoutWithoutHeader) + common::crlf() +
                           st.text(kBox, settings::msgline::LayoutCheckSettings));
    } else if (*names != headerNames()) {
        common::notify(st.message, common::MsgIcon::Error,
                       headerMismatchText(st.texts, *names, headerNames()));
        return;
    }
    ReportLayoutValues v = values();
    readLayoutFile(v, *lines, m_grid->rowCount() - 1);
    showValues(v);
    // Only a layout that was taken becomes the last one used.
    setTitle(file);
    settings::writeLastUsedConfig(st.store, file, st.texts, st.message);
    settings::rememberRecentFile(st.store, settings::RecentKind::Layout, file);
}

void ReportLayoutDialog::editCell(int row, int column) {
    leaveCell();
    if (row < 1 || column < 1 || row >= m_grid->rowCount())
        return; // the names are not edited
    m_editRow = row;
    m_editColumn = column;
    QRect r = m_grid->visualItemRect(m_grid->item(row, column));
    r.setRight(std::min(r.right(), m_grid->viewport()->width() - 1));
    m_text1->setGeometry(r);
    m_text1->setFont(m_grid->font());
    m_text1->setText(m_grid->item(row, column)->text());
    m_text1->show();
    m_text1->setFocus();
    m_text1->selectAll();
}

void ReportLayoutDialog::leaveCell() {
    if (m_editRow < 1)
        return;
    m_grid->item(m_editRow, m_editColumn)->setText(m_text1->text());
    m_editRow = m_editColumn = -1;
    m_text1->hide();
}

void ReportLayoutDialog::moveEditor(int dRow, int dColumn, bool wrap) {
    int row = m_editRow;
    int col = m_editColumn + dColumn;
    const int last = m_grid->rowCount() - 1;
    if (wrap && col > 2) {
        if (row >= last)
            return;
        col = 1;
        ++row;
    } else if (wrap && col < 1) {
        if (row <= 1)
            return;
        col = 2;
        --row;
    }
    row += dRow;
    if (row < 1 || row > last || col < 1 || col > 2)
        return;
    editCell(row, col);
}

bool ReportLayoutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text1 && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Right:
        case Qt::Key_Tab:
            moveEditor(0, 1, true);
            return true;
        case Qt::Key_Left:
            moveEditor(0, -1, true);
            return true;
        case Qt::Key_Up:
            moveEditor(-1, 0, false);
            return true;
        case Qt::Key_Down:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            moveEditor(1, 0, false);
            return true;
        default:
            break;
        }
    }
    if (watched == m_text1 && event->type() == QEvent::FocusOut)
        leaveCell();
    return QDialog::eventFilter(watched, event);
}

void ReportLayoutDialog::closeEvent(QCloseEvent* event) {
    m_main->show();
    m_main->raise();
    event->accept();
}

} // namespace gui
