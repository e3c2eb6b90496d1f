#include "settings/LanguageTable.h"

#include "common/ProgramPaths.h"

#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <optional>

namespace settings {

// Generated from data/LanguageFiles/English.dll.
extern const unsigned char kBuiltinEnglish[];
extern const int kBuiltinEnglishSize;

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
        QStringLiteral("Protocols"),
        QStringLiteral("History"),
        QStringLiteral("GaugeStudy"),
        QStringLiteral("RunReport"),
    };
    return names;
}

int LanguageTable::lineCount(const QString& section) const {
    const auto it = m_sections.constFind(section);
    return it == m_sections.constEnd() ? 0 : static_cast<int>(it->size());
}

namespace {

// The sections of a language file's lines; nothing when no section header is among them (an
// empty file, another encoding, anything else).
std::optional<QHash<QString, QStringList>> parseSections(const QStringList& lines) {
    QHash<QString, QString> headers;
    for (const QString& name : languageSectionNames())
        headers.insert(QStringLiteral("[Language Strings For %1]").arg(name), name);

    QHash<QString, QStringList> parsed;
    QString current;
    for (const QString& line : lines) {
        const auto h = headers.constFind(line);
        if (h != headers.constEnd()) {
            current = *h;
            parsed[current].clear(); // a repeated header starts its section afresh
        }
        if (!current.isEmpty())
            parsed[current].append(line);
    }
    if (parsed.isEmpty())
        return std::nullopt;
    return parsed;
}

// The English texts built into the program: a line a language file lacks is never an empty
// message.
const LanguageTable& builtinEnglish() {
    static const LanguageTable table = [] {
        LanguageTable t;
        const QByteArray bytes(reinterpret_cast<const char*>(kBuiltinEnglish), kBuiltinEnglishSize);
        if (const auto sections =
                parseSections(decodeAnsi(bytes, CodePage::Windows1252).split(QStringLiteral("\r\n"))))
            for (auto it = sections->cbegin(); it != sections->cend(); ++it)
                t.setSection(it.key(), it.value());
        return t;
    }();
    return table;
}

} // namespace

QString LanguageTable::text(const QString& section, int line) const {
    const auto it = m_sections.constFind(section);
    if (it != m_sections.constEnd() && line >= 1 && line <= it->size() && !it->at(line - 1).isEmpty())
        return it->at(line - 1);
    if (this != &builtinEnglish() && m_fallback)
        return builtinEnglish().text(section, line);
    return {};
}

bool ParseLanguageFile(LanguageTable& table, const QString& path, CodePage cp) {
    const auto lines = readTextLines(path, cp);
    if (!lines)
        return false;
    const auto parsed = parseSections(*lines);
    if (!parsed)
        return false;
    for (auto it = parsed->cbegin(); it != parsed->cend(); ++it)
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
