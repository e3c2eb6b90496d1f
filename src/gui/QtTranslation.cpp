#include "gui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace gui {

QString qtLocaleOfLanguage(const QString& language) {
    static const std::pair<const char*, const char*> names[] = {
        {"German", "de"},  {"English", "en"},       {"French", "fr"}, {"Italian", "it"},
        {"Spanish", "es"}, {"Portuguese", "pt_BR"}, {"Czech", "cs"},  {"Hungary", "hu"},
    };
    for (const auto& [name, locale] : names)
        if (language == QLatin1String(name))
            return QString::fromLatin1(locale);
    return {};
}

bool useQtTranslation(const QString& language) {
    static std::unique_ptr<QTranslator> current;
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    const QString locale = qtLocaleOfLanguage(language);
    if (locale.isEmpty())
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + locale,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    current = std::move(translator);
    return true;
}

} // namespace gui
