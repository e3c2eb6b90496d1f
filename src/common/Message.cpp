#include "common/Message.h"

#include "common/MessageLine.h"

#include <cstdio>

namespace common {

MsgResult consoleMessage(const Message& message) {
    std::fprintf(stderr, "%s%s [%s] %s\n", journalPrefix(message.icon), qPrintable(message.caption),
                 messageKind(message.icon), qPrintable(singleLine(message.text)));
    std::fflush(stderr);
    return message.defaultButton;
}

} // namespace common
