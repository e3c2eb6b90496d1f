#pragma once

#include "common/Message.h"
#include "settings/TextCodec.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace settings {

// The thirteen sections of a language file, one per window plus message boxes and status bar.
const QStringList& languageSectionNames();

// Every caption and message of the program: one list of lines per section. Line 1 of a section
// is its header line, so a section's line N is entry N.
class LanguageTable {
public:
    // Empty text for an unknown section or a line beyond the section's end.
    QString text(const QString& section, int line) const;
    int lineCount(const QString& section) const;
    bool hasSection(const QString& section) const { return m_sections.contains(section); }
    void setSection(const QString& section, const QStringList& lines) { m_sections.insert(section, lines); }

private:
    QHash<QString, QStringList> m_sections;
};

// Parses a language file; the sections it contains replace those of the table, the others stay.
// False when the file cannot be opened or read (the table is then unchanged).
bool ParseLanguageFile(LanguageTable& table, const QString& path, CodePage cp);

// Loads "<programDir>/LanguageFiles/<language>.dll" through the working copy "resource.dll" and
// reports failures itself. False when the previous texts were kept.
bool LoadLanguage(LanguageTable& table, const QString& language, const QString& programDir,
                  const common::MessageFn& message);

} // namespace settings
