#pragma once

#include "common/Message.h"
#include "settings/TextCodec.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace settings {

// The sections of a language file: one per window, message boxes, status bar, the texts of the
// AQDEF and PDF outputs and those of the history.
const QStringList& languageSectionNames();

// Every caption and message of the program: one list of lines per section. Line 1 of a section
// is its header line, so a section's line N is entry N.
class LanguageTable {
public:
    // A line the table lacks (or holds empty) is the built-in English one; empty only when that
    // has none either, or when the fallback is off.
    QString text(const QString& section, int line) const;
    // Tests of the table itself see exactly what it holds.
    void setFallback(bool on) { m_fallback = on; }
    int lineCount(const QString& section) const;
    bool hasSection(const QString& section) const { return m_sections.contains(section); }
    void setSection(const QString& section, const QStringList& lines) { m_sections.insert(section, lines); }

private:
    QHash<QString, QStringList> m_sections;
    bool m_fallback = true;
};

// Parses a language file; the sections it contains replace those of the table, the others stay.
// False when the file cannot be opened or read, or holds no section (the table is then unchanged).
bool ParseLanguageFile(LanguageTable& table, const QString& path, CodePage cp);

// Loads "<programDir>/LanguageFiles/<language>.dll" through the working copy "resource.dll" and
// reports failures itself. False when the previous texts were kept.
bool LoadLanguage(LanguageTable& table, const QString& language, const QString& programDir,
                  const common::MessageFn& message);

} // namespace settings
