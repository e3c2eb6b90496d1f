#include "settings/SettingsMessages.h"

#include "settings/TextCodec.h"

#include <QDir>

namespace settings {

void reportSettingsWriteError(const SettingsWriteError& error, const LanguageTable& texts,
                              const common::MessageFn& message) {
    const QString box = QStringLiteral("MessageBoxen");
    QString text = texts.text(box, msgline::SettingsNotSaved) + common::crlf() + error.key();
    if (error.cause() != SettingsWriteError::Cause::NotOurs)
        text += common::crlf() +
                texts.text(box, error.cause() == SettingsWriteError::Cause::NoAccess ? msgline::SettingsNoAccess
                                                                                     : msgline::SettingsDamaged)
                    .arg(QDir::toNativeSeparators(error.file()));
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

bool exportSettingsFile(const QString& path, const QStringList& lines, const LanguageTable& texts,
                        const common::MessageFn& message) {
    try {
        writeTextLines(path, lines, systemCodePage());
        return true;
    } catch (const FileError& e) {
        common::notify(message, common::MsgIcon::Error,
                       texts.text(QStringLiteral("MessageBoxen"), 17) + common::crlf() + e.path() +
                           common::crlf() + e.reason());
        return false;
    }
}

std::optional<QStringList> importSettingsFile(const QString& path, const LanguageTable& texts,
                                              const common::MessageFn& message) {
    auto lines = readTextLines(path, systemCodePage());
    if (!lines)
        common::notify(message, common::MsgIcon::Information,
                       texts.text(QStringLiteral("MessageBoxen"), 2) + common::crlf() +
                           texts.text(QStringLiteral("MessageBoxen"), 3));
    return lines;
}

} // namespace settings
