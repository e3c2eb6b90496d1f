#pragma once

#include "host/PartProgramReader.h"

#include <functional>

namespace host {

// Online reception: the table is built command by command from the host's execution events,
// with the reader's rules. The end of the execution (or an "EEK" comment) ends the evaluation
// through fctEndProgram, which the main window supplies.
struct LiveUpdate {
    ReaderState& state;
    std::function<void()> fctEndProgram;
};

void KvxEvents_OnObjectExecuted(LiveUpdate& live, const std::shared_ptr<HostPartProgram>& partProg,
                                const std::shared_ptr<HostCommand>& cmmd);
void KvxEvents_OnEndExecution(LiveUpdate& live, const std::shared_ptr<HostPartProgram>& partProg,
                              int terminationType);

} // namespace host
