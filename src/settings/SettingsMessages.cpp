#include "settings/SettingsMessages.h"

namespace settings {

void reportSettingsWriteError(const SettingsWriteError& error, const LanguageTable& texts,
                              const common::MessageFn& message) {
    const QString box = QStringLiteral("MessageBoxen");
    QString text = texts.text(box, msgline::SettingsNotSaved) + common::crlf() + error.path() +
                   common::crlf() + error.reason();
    if (error.onLocalMachine())
        text += common::crlf() + common::crlf() + texts.text(box, msgline::SettingsUseCurrentUser);
    common::notify(message, common::MsgIcon::Error, text);
}

bool writeOrReport(const SettingsStore& store, const QString& section, const QString& key,
                   const QString& value, const LanguageTable& texts, const common::MessageFn& message) {
    try {
        store.Write(section, key, value);
        return true;
    } catch (const SettingsWriteError& e) {
        reportSettingsWriteError(e, texts, message);
        return false;
    }
}

} // namespace settings
