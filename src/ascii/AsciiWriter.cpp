#include "ascii/AsciiWriter.h"

#include "ascii/AsciiLayout.h"
#include "common/ProgramPaths.h"
#include "settings/CsvPreset.h"
#include "settings/LocaleText.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ascii {

namespace {

const QString kBox = QStringLiteral("MessageBoxen");
const QString kStatus = QStringLiteral("StatusBar");

// Everything a value line needs besides the row, worked out once per file.
struct Formats {
    settings::NumberFormat number;
    QString yes;
    QString no;
    QString separator;
    bool separatorInNumbers = false; // the separator is a character numbers are written with
};

void appendField(settings::TextFileWriter& out, QStringView text, const QString& separator) {
    if (settings::csvNeedsQuotes(text, separator))
        out.append(settings::csvField(text, separator));
    else
        out.append(text);
}

// Writes one field straight into the file's buffer.
void writeValue(settings::TextFileWriter& out, int column, const model::MerkmalRow& r,
                const model::KommentarTable& comments, const Formats& f) {
    const QString& sep = f.separator;
    auto text = [&](const QString& t) { appendField(out, t, sep); };
    auto num = [&](double v) {
        char buf[32];
        const int n = f.number.asciiText(v, buf);
        // A decimal comma meets a comma separator: the number is quoted like any text.
        if (n && !f.separatorInNumbers)
            out.appendBytes(buf, n);
        else
            text(n ? QString::fromLatin1(buf, n) : f.number.text(v));
    };
    switch (column) {
    case 0:
        text(r.ID);
        out.append(sep);
        return text(r.Achse);
    case 1:
        return num(r.Nennwert);
    case 2:
        return num(r.OTol);
    case 3:
        return num(r.UTol);
    case 4:
        return num(r.Bonus);
    case 5:
        return num(r.Messwert);
    case 6:
        return num(r.Abweichung);
    case 7:
        return num(r.ATol);
    case 8:
        return num(r.Min);
    case 9:
        return num(r.Max);
    case 10:
        return text(r.Einheit);
    case 11:
        return text(r.Ausgabe);
    case 12:
        return text(r.Markiert ? f.yes : f.no);
    case 13:
        return text(r.Element1);
    case 14:
        return text(r.Element2);
    case 15:
        return text(r.Element3);
    case 16:
        return text(r.Bezug1);
    case 17:
        return text(r.Bezug2);
    case 18:
        return text(r.Bezug3);
    case 19:
        return num(r.Bezugslaenge);
    case 20:
        return text(r.Typ);
    default: {
        const model::KommentarBlock& block = comments.block(r.KommentarIndex);
        QString comment;
        for (int i = 1; i <= model::KommentarBlock::kLines; ++i)
            comment += block.Zeile[static_cast<std::size_t>(i)];
        text(comment);
    }
    }
}

bool writableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// The user's documents folder, when the result folder cannot be written and the user agrees to
// use it from now on; the answer is stored, so the question comes once.
std::optional<QString> documentsInstead(const AsciiWriteInput& in, const QString& folder) {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QDir().mkpath(docs) || !writableFolder(docs))
        return std::nullopt;
    common::Message m;
    m.icon = common::MsgIcon::Question;
    m.caption = common::applicationTitle();
    m.text = in.texts.text(kBox, settings::msgline::ResultFolderProposal)
                 .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(docs));
    m.buttons = common::MsgButtons::YesNo;
    m.defaultButton = common::MsgResult::Yes;
    if (!in.message || in.message(m) != common::MsgResult::Yes)
        return std::nullopt;
    settings::writeResultFolder(in.store, docs, in.texts, in.message);
    return docs;
}

struct Refusal {
    QString text;
    common::MsgIcon icon;
};

} // namespace

namespace {

// The columns by position: firstAt[p] is the column a value line writes at position p (-1:
// none); the title line names every column at a position.
struct ColumnOrder {
    std::array<int, kColumns + 1> firstAt;
    QString title;
};

ColumnOrder columnOrder(const std::array<int, kColumns>& position, const QString& sep) {
    ColumnOrder o;
    o.firstAt.fill(-1);
    for (int p = 1; p <= kColumns; ++p)
        for (int c = 0; c < kColumns; ++c)
            if (position[static_cast<std::size_t>(c)] == p) {
                if (o.firstAt[static_cast<std::size_t>(p)] < 0)
                    o.firstAt[static_cast<std::size_t>(p)] = c;
                if (p == 1) {
                    if (o.firstAt[1] == c)
                        o.title += columnTitle(c, sep);
                } else {
                    o.title += sep + columnTitle(c, sep);
                }
            }
    return o;
}

void writeValueLines(settings::TextFileWriter& out, AsciiWriteInput& in, const ColumnOrder& order,
                     const Formats& formats) {
    const int entries = static_cast<int>(in.selection.size());
    for (int i = 1; i <= entries && i <= in.table.AnzMerkmale; ++i) {
        const model::MerkmalRow& r = in.table.row(i);
        if (!model::takeForOutput(r, in.comments) || !in.selection[static_cast<std::size_t>(i - 1)])
            continue;
        if (order.firstAt[1] >= 0)
            writeValue(out, order.firstAt[1], r, in.comments, formats);
        for (int p = 2; p <= kColumns; ++p)
            if (order.firstAt[static_cast<std::size_t>(p)] >= 0) {
                out.append(formats.separator);
                writeValue(out, order.firstAt[static_cast<std::size_t>(p)], r, in.comments, formats);
            }
        out.endLine();
    }
}

// The folder the file goes to, with a trailing separator: the part program's, or the result
// folder (or, when that cannot be written and the user agrees, the documents folder). Throws
// host::HostError when the part program's folder is asked for and there is no part program.
QString resultFolder(AsciiWriteInput& in, const settings::ResultFileSettings& files) {
    QString folder;
    if (files.partProgFolder) {
        if (!in.program)
            throw host::HostError(QStringLiteral("no part program"));
        folder = in.program->Folder();
    } else {
        folder = files.folder;
        if (in.mayProposeFolder && !writableFolder(folder))
            folder = documentsInstead(in, folder).value_or(folder);
    }
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace

AsciiWriteResult WriteAsciiResults(AsciiWriteInput& in) {
    AsciiWriteResult result;
    auto status = [&](int line) {
        if (in.status)
            in.status(in.texts.text(kStatus, line));
    };
    auto refuse = [&](const QString& text, common::MsgIcon icon) {
        common::notify(in.message, icon, text);
        status(11);
        return result;
    };
    auto refuseName = [&](const settings::ResultNameError& e) {
        return refuse(
            in.texts.text(kBox, e.kind() == settings::ResultNameError::Kind::CounterExhausted ? 14 : 15),
            common::MsgIcon::Error);
    };
    const QString nl = common::crlf();

    if (in.selection.empty())
        return refuse(in.texts.text(kBox, 45) + nl + in.texts.text(kBox, 46), common::MsgIcon::Information);
    if (std::find(in.selection.begin(), in.selection.end(), true) == in.selection.end())
        return refuse(in.texts.text(kBox, 24) + nl + in.texts.text(kBox, 46), common::MsgIcon::Information);
    status(9);

    const OutputLayout layout = readOutputLayout(in.store);
    const settings::CsvFormat format =
        settings::csvFormat(settings::readCsvPreset(in.store), layout.separator, in.locale);
    const QString& sep = format.separator;
    const settings::ResultFileSettings files =
        settings::readResultFileSettings(in.store, common::programDir());
    if (!layout.csv)
        return refuse(in.texts.text(kBox, 47) + nl + in.texts.text(kBox, 48), common::MsgIcon::Error);
    // Fields glued together, or a file in the root folder, would be reported as written.
    if (sep.isEmpty())
        return refuse(in.texts.text(kBox, 65), common::MsgIcon::Error);
    if (!files.partProgFolder && files.folder.trimmed().isEmpty())
        return refuse(in.texts.text(kBox, 66), common::MsgIcon::Error);

    settings::ResultFileName name;
    try {
        const QString folder = resultFolder(in, files);
        in.naming.program = in.program;
        name = settings::planResultFileName(
            files.naming, folder, *layout.csv ? QStringLiteral("csv") : QStringLiteral("txt"), in.naming);
        result.planned = name.path();
    } catch (const host::HostError&) {
        return refuse(in.texts.text(kBox, 15), common::MsgIcon::Error);
    } catch (const settings::ResultNameError& e) {
        return refuseName(e);
    }

    try {
        settings::TextFileWriter out(result.planned, format.codePage,
                                     settings::TextFileWriter::Existing::Keep);
        if (format.byteOrderMark)
            out.appendBytes("\xEF\xBB\xBF", 3);
        if (settings::readHeaderSwitch(in.store, false))
            for (const model::HeaderRow& row : in.header)
                out.writeLine(settings::csvField(row.name.trimmed(), sep) + sep +
                              settings::csvField(row.value.trimmed(), sep));
        const ColumnOrder order = columnOrder(layout.position, sep);
        out.writeLine(order.title);
        const bool numbersHoldSeparator = separatorInNumbers(sep, format.numbers);
        if (numbersHoldSeparator)
            result.numbersHoldSeparator = sep;
        // The words for true and false stay in the user's language: they are text to any program.
        const Formats formats{settings::NumberFormat(format.numbers), settings::boolText(true, in.locale),
                              settings::boolText(false, in.locale), sep, numbersHoldSeparator};
        writeValueLines(out, in, order, formats);
        name = settings::commitUnderFreeName(out, name, in.naming, in.beforeClaim);
        result.path = name.path();
        result.name = name;
    } catch (const settings::ResultNameError& e) {
        return refuseName(e);
    } catch (const settings::FileError& e) {
        // No file is left behind either way.
        const QString where = nl + QDir::toNativeSeparators(e.path());
        return refuse(e.stage() == settings::FileError::Stage::Create
                          ? in.texts.text(kBox, 49) + where
                          : in.texts.text(kBox, 16) + where + nl + e.reason(),
                      common::MsgIcon::Error);
    }
    status(10);
    result.written = true;
    return result;
}

} // namespace ascii
