#pragma once

#include <QString>

// Qt's own texts (the buttons of message boxes, the file dialogs) in the program's language.
namespace gui {

// The Qt locale name of one of the program's languages ("German" -> "de"); "" when unknown.
QString qtLocaleOfLanguage(const QString& language);

// Replaces the Qt translation in use by the language's; false when Qt has none for it.
bool useQtTranslation(const QString& language);

} // namespace gui
