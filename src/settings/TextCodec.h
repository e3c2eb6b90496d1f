#pragma once

#include <QByteArray>
#include <QLocale>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace settings {

// The Windows ANSI code pages our text files are written in, so that files move between the
// Windows program and this one; UTF-8 only for a CSV file whose preset asks for it.
enum class CodePage { Windows1252, Windows1250, Utf8 };

// Central European languages use Windows-1250, every other language Windows-1252.
CodePage codePageForLocale(const QLocale& locale);
CodePage codePageForLanguageName(const QString& languageFileName);
inline CodePage systemCodePage() {
    return codePageForLocale(QLocale::system());
}

// Characters the code page cannot hold become "?".
QByteArray encodeAnsi(const QString& text, CodePage cp);
void appendAnsi(std::string& out, QStringView text, CodePage cp);
// A leading UTF-8 byte order mark selects UTF-8; anything else is decoded in the code page.
QString decodeAnsi(const QByteArray& bytes, CodePage cp);

// A CSV field as RFC 4180 wants it: a field holding the separator, a quote or a line break is
// quoted with its quotes doubled, so that every program splits the line the same way; any other
// field stays as it is.
bool csvNeedsQuotes(QStringView text, QStringView separator);
QString csvField(QStringView text, QStringView separator);

// A text file that could not be read or written.
class FileError : public std::runtime_error {
public:
    // Whether the file could not even be created, or failed while being written.
    enum class Stage { Create, Write };
    FileError(const QString& path, const QString& reason, Stage stage = Stage::Write);
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }
    Stage stage() const { return m_stage; }

private:
    QString m_path;
    QString m_reason;
    Stage m_stage;
};

// Files we read are bounded: a settings or language file is never this large.
constexpr qint64 kMaxTextFileBytes = 16 * 1024 * 1024;

// Lines of a text file (CR LF, LF or CR ends a line); nothing when it cannot be opened or read
// or is larger than maxBytes.
std::optional<QStringList> readTextLines(const QString& path, CodePage cp,
                                         qint64 maxBytes = kMaxTextFileBytes);

// Writes one file of lines, each ended by CR LF. The old file stays untouched until the new one
// is complete; throws FileError when it cannot be written.
void writeTextLines(const QString& path, const QStringList& lines, CodePage cp);

class ExclusiveFile;

// Line-by-line writer for large files, with the same all-or-nothing guarantee.
class TextFileWriter {
public:
    // Replace: commit puts the file in the place of any file of that name. Keep: a file of that
    // name is never replaced, commitAs tries names until one is free.
    enum class Existing { Replace, Keep };

    TextFileWriter(const QString& path, CodePage cp, Existing existing = Existing::Replace);
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    void writeLine(QStringView line);
    // A line in pieces: texts are encoded, bytes go as they are, endLine ends it.
    void append(QStringView text) { appendAnsi(m_buffer, text, m_cp); }
    void appendBytes(const char* bytes, qsizetype n) { m_buffer.append(bytes, static_cast<std::size_t>(n)); }
    void endLine();
    // Replace: makes the file visible under its name; throws FileError on any failure so far.
    void commit();
    // Keep: makes the file visible under `path`, in the folder of the path it was made with,
    // unless a file has that name; false then, and the text waits for another name. Throws
    // FileError on any failure so far.
    [[nodiscard]] bool commitAs(const QString& path);

private:
    QFileDevice& device();
    void flushBuffer();

    QString m_path;
    CodePage m_cp;
    std::unique_ptr<QSaveFile> m_save;
    std::unique_ptr<ExclusiveFile> m_new;
    std::string m_buffer;
};

} // namespace settings
