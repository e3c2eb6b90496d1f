#pragma once

#include <QString>

#include <functional>

namespace common {

enum class MsgIcon { None, Information, Warning, Error, Critical, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Every message box of the program goes through one function of this shape, so that logic can
// report to a window, to standard error in unattended runs, or to a test.
struct Message {
    MsgIcon icon = MsgIcon::None;
    QString caption;
    QString text;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult defaultButton = MsgResult::Ok;
};

using MessageFn = std::function<MsgResult(const Message&)>;

// The application title, used as the caption of every message box that names no other.
inline QString applicationTitle() {
    return QStringLiteral("Korvex - Zirirezu Doziduvov");
}

inline MsgResult notify(const MessageFn& fn, MsgIcon icon, const QString& text, QString caption = {}) {
    Message m;
    m.icon = icon;
    m.caption = caption.isEmpty() ? applicationTitle() : caption;
    m.text = text;
    return fn ? fn(m) : MsgResult::Ok;
}

// Nobody can click: the message as one line on standard error, and the default button taken.
MsgResult consoleMessage(const Message& message);

// Carriage return and line feed, as the message texts join their lines.
inline QString crlf() {
    return QStringLiteral("\r\n");
}

} // namespace common
