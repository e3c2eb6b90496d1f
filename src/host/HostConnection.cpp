#include "host/HostConnection.h"

namespace host {

QString TeileProgrammNameOf(const QString& fullName) {
    return fullName.size() >= 4 ? fullName.left(fullName.size() - 4) : QString();
}

QString hostErrorText(const HostError& e, const settings::LanguageTable& texts) {
    int line = 0;
    switch (e.fault()) {
    case HostFault::Refused:
        return e.text();
    case HostFault::TimedOut:
        line = 51;
        break;
    case HostFault::Protocol:
        line = 52;
        break;
    case HostFault::Closed:
        line = 53;
        break;
    case HostFault::ForeignHost:
        line = 54;
        break;
    case HostFault::UnsafeFolder:
        line = 55;
        break;
    }
    const QString t = texts.text(QStringLiteral("MessageBoxen"), line);
    // A language file without the line still says what happened.
    if (t.isEmpty())
        return e.text();
    return t.contains(QLatin1String("%1")) ? t.arg(e.detail()) : t;
}

void Verbinden(HostLink& link, QString& name, const HostFinder& find, const settings::LanguageTable& texts,
               const common::MessageFn& message) {
    const QString box = QStringLiteral("MessageBoxen");
    const QString twoBreaks = common::crlf() + common::crlf();

    // A failed connect empties the name: callers test it for empty text, and a name left from an
    // earlier connect would send them on with objects of a host that is no longer there.
    std::shared_ptr<HostApplication> app;
    try {
        app = find ? find() : nullptr;
        if (app) {
            link.application = app;
            link.partProgram = app->ActivePartProgram();
            if (link.partProgram) {
                name = TeileProgrammNameOf(link.partProgram->FullName());
                link.commands = link.partProgram->Commands();
                return;
            }
        }
    } catch (const HostError& e) {
        Trennen(link);
        name.clear();
        // A host was found and refused, or it failed (no answer, garbage, gone): that says all
        // there is; "not found" would send the user looking for a program that is running.
        common::notify(message, common::MsgIcon::Error, hostErrorText(e, texts), connectionCaption());
        return;
    }
    if (!app) {
        Trennen(link);
        name.clear();
        common::notify(message, common::MsgIcon::Error, texts.text(box, 41) + twoBreaks + texts.text(box, 42),
                       connectionCaption());
        return;
    }
    Trennen(link);
    name.clear();
    common::notify(message, common::MsgIcon::Error, texts.text(box, 43) + twoBreaks + texts.text(box, 44),
                   connectionCaption());
}

bool Trennen(HostLink& link) {
    link.dimension.reset();
    link.comment.reset();
    link.assignment.reset();
    link.command.reset();
    link.commands.reset();
    link.partProgram.reset();
    link.application.reset();
    return true;
}

bool presentRow(HostLink& link, const model::MerkmalRow& row) {
    auto commands = link.partProgram->Commands();
    auto c = commands->FindByUniqueId(row.UniqueId1, row.UniqueId2);
    if (!c)
        return false;
    link.command = c;
    if (c->IsDimension()) {
        for (;;) {
            auto d = c->Dimension();
            if (!d->IsLocationAxis() && !d->IsTruePositionAxis())
                break;
            c->GoPrevious();
        }
        c->Present();
    }
    return true;
}

} // namespace host
