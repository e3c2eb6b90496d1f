#pragma once

#include <QUrl>

#include <functional>

class QObject;

namespace gui {

// Opens a file or folder with the desktop's program for it. False when none could be started; when
// the desktop learns only later that it has no program for it, `failed` is called then, while
// `owner` lives.
bool openWithDesktop(const QUrl& url, QObject* owner, std::function<void()> failed);

} // namespace gui
