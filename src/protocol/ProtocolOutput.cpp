#include "protocol/ProtocolOutput.h"

#include "common/ProgramPaths.h"
#include "protocol/AqdefOutput.h"
#include "protocol/PdfProtocol.h"
#include "protocol/QifOutput.h"
#include "settings/OutputFileSettings.h"
#include "settings/ProgramSettings.h"
#include "settings/TextCodec.h"

#include <QDir>

namespace protocol {

namespace {

const QString kBox = QStringLiteral("MessageBoxen");

enum class Kind { Aqdef, Pdf, Qif };

QString extensionOf(Kind k) {
    return k == Kind::Aqdef ? QStringLiteral("dfq")
           : k == Kind::Qif ? QStringLiteral("qif")
                            : QStringLiteral("pdf");
}

// The name planned for the file, or a message and nothing.
std::optional<settings::ResultFileName> plan(ProtocolWriteInput& in, Kind kind) {
    in.naming.program = in.program;
    auto refuse = [&](int line) {
        common::notify(in.message, common::MsgIcon::Error, in.texts.text(kBox, line));
        return std::nullopt;
    };
    if (in.beside) {
        settings::ResultFileName name = *in.beside;
        name.extension = extensionOf(kind);
        return name;
    }
    const settings::ResultFileSettings files =
        settings::readResultFileSettings(in.store, common::programDir());
    if (!files.partProgFolder && files.folder.trimmed().isEmpty())
        return refuse(66);
    try {
        QString folder;
        if (files.partProgFolder) {
            if (!in.program)
                return refuse(15);
            folder = in.program->Folder();
        } else {
            folder = files.folder;
        }
        if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
            folder += QLatin1Char('/');
        return settings::planResultFileName(files.naming, folder, extensionOf(kind), in.naming);
    } catch (const host::HostError&) {
        return refuse(15);
    } catch (const settings::ResultNameError& e) {
        return refuse(e.kind() == settings::ResultNameError::Kind::CounterExhausted ? 14 : 15);
    }
}

// Writes the bytes under the planned name or, when that is taken, the next free counter.
ProtocolWriteResult commit(ProtocolWriteInput& in, Kind kind, settings::ResultFileName name,
                           const std::function<void(settings::TextFileWriter&)>& fill) {
    ProtocolWriteResult result;
    result.planned = name.path();
    const int failed = kind == Kind::Aqdef ? line::AqdefFailed
                       : kind == Kind::Qif ? line::QifFailed
                                           : line::PdfFailed;
    const QString section = protocolSection();
    try {
        settings::TextFileWriter out(result.planned, settings::systemCodePage(),
                                     settings::TextFileWriter::Existing::Keep);
        fill(out);
        name = settings::commitUnderFreeName(out, name, in.naming, in.beforeClaim);
        result.path = name.path();
        result.written = true;
    } catch (const settings::ResultNameError& e) {
        common::notify(
            in.message, common::MsgIcon::Error,
            in.texts.text(kBox, e.kind() == settings::ResultNameError::Kind::CounterExhausted ? 14 : 15));
    } catch (const settings::FileError& e) {
        common::notify(in.message, common::MsgIcon::Error,
                       in.texts.text(section, failed) + common::crlf() + QDir::toNativeSeparators(e.path()) +
                           common::crlf() + e.reason());
    }
    return result;
}

bool anythingChosen(ProtocolWriteInput& in) {
    const QString nl = common::crlf();
    if (in.selection.empty()) {
        common::notify(in.message, common::MsgIcon::Information,
                       in.texts.text(kBox, 45) + nl + in.texts.text(kBox, 83));
        return false;
    }
    if (std::find(in.selection.begin(), in.selection.end(), true) == in.selection.end()) {
        common::notify(in.message, common::MsgIcon::Information,
                       in.texts.text(kBox, 24) + nl + in.texts.text(kBox, 83));
        return false;
    }
    return true;
}

// What every protocol starts from: its planned name and the rows to write, or a message and nothing.
struct Planned {
    settings::ResultFileName name;
    std::vector<ChosenRow> rows;
};

std::optional<Planned> prepare(ProtocolWriteInput& in, Kind kind) {
    if (!anythingChosen(in))
        return std::nullopt;
    auto name = plan(in, kind);
    if (!name)
        return std::nullopt;
    return Planned{std::move(*name), chosenRows(in.table, in.comments, in.selection)};
}

QDateTime stampOf(const settings::NamingContext& naming) {
    // Whole seconds: the file name and the values say the same moment.
    return QDateTime(naming.date, QTime(naming.time.hour(), naming.time.minute(), naming.time.second()));
}

} // namespace

QString headerValue(const model::HeaderRows& header, const QString& name) {
    const QString wanted = name.trimmed();
    if (wanted.isEmpty())
        return {};
    for (const model::HeaderRow& row : header)
        if (row.name.trimmed() == wanted)
            return row.value.trimmed();
    return {};
}

ProtocolWriteResult WriteAqdefFile(ProtocolWriteInput& in) {
    const auto p = prepare(in, Kind::Aqdef);
    if (!p)
        return {};
    const settings::ProtocolSettings s = settings::readProtocolSettings(in.store);
    const AqdefContent content{in.info, p->rows, stampOf(in.naming), headerValue(in.header, s.k0006),
                               headerValue(in.header, s.k0008)};
    const AqdefFile file = aqdefFile(content);
    ProtocolWriteResult r = commit(in, Kind::Aqdef, p->name, [&](settings::TextFileWriter& out) {
        for (const QString& l : file.lines)
            out.writeLine(l);
    });
    if (!r.written)
        return r;
    QStringList notes;
    const QString who = aqdefText(content.operatorName);
    if (!who.isEmpty() && !isOperatorNumber(who))
        notes << in.texts.text(protocolSection(), line::OperatorNotNumber).arg(who);
    if (file.cutTexts > 0)
        notes << in.texts.text(protocolSection(), line::AqdefTextsCut).arg(file.cutTexts);
    r.note = notes.join(QLatin1Char(' '));
    return r;
}

ProtocolWriteResult WriteQifFile(ProtocolWriteInput& in) {
    const auto p = prepare(in, Kind::Qif);
    if (!p)
        return {};
    const QByteArray bytes = qifResults({in.info, p->rows, in.header, stampOf(in.naming), {}});
    return commit(in, Kind::Qif, p->name,
                  [&](settings::TextFileWriter& out) { out.appendBytes(bytes.constData(), bytes.size()); });
}

ProtocolWriteResult WritePdfProtocol(ProtocolWriteInput& in) {
    const auto p = prepare(in, Kind::Pdf);
    if (!p)
        return {};
    const PdfContent content{in.info,   p->rows,
                             in.header, stampOf(in.naming),
                             in.locale, settings::warningPercent(settings::readTolProzent(in.store)),
                             in.texts};
    const QByteArray pdf = renderPdfProtocol(content);
    // A document that could not be drawn is no protocol: say so rather than leave an empty file.
    if (pdf.isEmpty()) {
        common::notify(in.message, common::MsgIcon::Error, in.texts.text(protocolSection(), line::PdfFailed));
        return {};
    }
    return commit(in, Kind::Pdf, p->name,
                  [&](settings::TextFileWriter& out) { out.appendBytes(pdf.constData(), pdf.size()); });
}

} // namespace protocol
