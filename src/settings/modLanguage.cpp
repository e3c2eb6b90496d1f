#include "settings/modLanguage.h"

#include "common/ProgramPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace settings {

const QStringList& languageSectionNames() {
    static const QStringList names = {
        QStringLiteral("frm_About"),
        QStringLiteral("frm_AsciiFileSetup"),
        QStringLiteral("frm_OutputFileSetup"),
        QStringLiteral("frm_BatchFileEditor"),
        QStringLiteral("frm_ReportDesignSetup"),
        QStringLiteral("frm_WindowPositionSetup"),
        QStringLiteral("frm_MainWindow"),
        QStringLiteral("frm_HeaderDataSetup"),
        QStringLiteral("frm_ExcelOnline"),
        QStringLiteral("frm_SavePartProgram"),
        QStringLiteral("frm_SelectOutputFolder"),
        QStringLiteral("MessageBoxen"),
        QStringLiteral("StatusBar"),
    };
    return names;
}

QString LanguageTable::text(const QString& section, int line) const {
    const auto it = m_sections.constFind(section);
    if (it == m_sections.constEnd() || line < 1 || line > it->size())
        return {};
    return it->at(line - 1);
}

int LanguageTable::lineCount(const QString& section) const {
    const auto it = m_sections.constFind(section);
    return it == m_sections.constEnd() ? 0 : static_cast<int>(it->size());
}

bool ParseLanguageFile(LanguageTable& table, const QString& path, CodePage cp) {
    const auto lines = readTextLines(path, cp);
    if (!lines)
        return false;

    QHash<QString, QString> headers;
    for (const QString& name : languageSectionNames())
        headers.insert(QStringLiteral("[Language Strings For %1]").arg(name), name);

    QHash<QString, QStringList> parsed;
    QString current;
    for (const QString& line : *lines) {
        const auto h = headers.constFind(line);
        if (h != headers.constEnd()) {
            current = *h;
            parsed[current].clear(); // a repeated header starts its section afresh
        }
        if (!current.isEmpty())
            parsed[current].append(line);
    }
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it)
        table.setSection(it.key(), it.value());
    return true;
}

bool LoadLanguage(LanguageTable& table, const QString& language, const QString& programDir,
                  const common::MessageFn& message) {
    // Beside the program as built, or where an installation keeps shared data.
    QString folder = programDir + QStringLiteral("/LanguageFiles/");
    if (!QFileInfo(folder).isDir())
        folder = common::installedDataDir() + QStringLiteral("/LanguageFiles/");
    const QString source = folder + language + QStringLiteral(".dll");
    const QString target = folder + QStringLiteral("resource.dll");

    // The name comes from the settings; it must not lead out of the language folder.
    const bool plainName = !language.isEmpty() && !language.contains(QLatin1Char('/')) &&
                           !language.contains(QLatin1Char('\\')) && language != QLatin1String("..");
    if (!plainName || !QFileInfo(source).isFile()) {
        common::notify(message, common::MsgIcon::Information,
                       QStringLiteral("Language file ") + QDir::toNativeSeparators(source) +
                           QStringLiteral(" did not exist."));
        return false;
    }

    QFile::remove(target);
    // A read-only installation cannot hold the working copy; the language file itself then
    // serves as well.
    const QString parsePath = QFile::copy(source, target) ? target : source;

    if (!ParseLanguageFile(table, parsePath, codePageForLanguageName(language))) {
        common::notify(message, common::MsgIcon::Error,
                       QStringLiteral("Unable to use selected language file. Please choose another language "
                                      "or check, that the selected language file exist on your system."));
        return false;
    }
    return true;
}

} // namespace settings
