#include "common/Message.h"

#include <cstdio>

namespace common {

namespace {

const char* iconWord(MsgIcon i) {
    switch (i) {
    case MsgIcon::Warning:
        return "warning";
    case MsgIcon::Error:
    case MsgIcon::Critical:
        return "error";
    case MsgIcon::Question:
        return "question";
    default:
        return "info";
    }
}

} // namespace

MsgResult consoleMessage(const Message& message) {
    QString text = message.text;
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    std::fprintf(stderr, "%s [%s] %s\n", qPrintable(message.caption), iconWord(message.icon),
                 qPrintable(text.simplified()));
    std::fflush(stderr);
    return message.defaultButton;
}

} // namespace common
