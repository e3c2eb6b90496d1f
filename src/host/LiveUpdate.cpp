#include "host/LiveUpdate.h"

namespace host {

namespace {

bool isOurProgram(LiveUpdate& live, HostPartProgram& partProg) {
    return TeileProgrammNameOf(partProg.FullName()) == live.state.table.TeileProgrammName;
}

} // namespace

void KvxEvents_OnObjectExecuted(LiveUpdate& live, const std::shared_ptr<HostPartProgram>& partProg,
                                const std::shared_ptr<HostCommand>& cmmd) {
    if (!isOurProgram(live, *partProg))
        return; // events of other part programs change nothing
    ReaderState& s = live.state;
    if (s.link)
        s.link->command = cmmd;
    s.table.Fortschritt += 1;

    if (cmmd->IsComment()) {
        auto comment = cmmd->Comment();
        if (s.link)
            s.link->comment = comment;
        const int type = comment->CommentType();
        if (type == 1) {
            CollectComment(s, *comment);
        } else if (type == 3 && comment->Text() == QLatin1String("EEK")) {
            if (live.fctEndProgram)
                live.fctEndProgram();
        }
    }
    ApplyCommand(s, cmmd);
}

void KvxEvents_OnEndExecution(LiveUpdate& live, const std::shared_ptr<HostPartProgram>& partProg,
                              int /*terminationType*/) {
    if (isOurProgram(live, *partProg) && live.fctEndProgram)
        live.fctEndProgram();
}

} // namespace host
