#include "settings/TextCodec.h"

#include "settings/ExclusiveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>

namespace settings {

namespace {

const char* codecName(CodePage cp) {
    if (cp == CodePage::Utf8)
        return "UTF-8";
    return cp == CodePage::Windows1250 ? "windows-1250" : "windows-1252";
}

bool isCentralEuropean(QLocale::Language lang) {
    switch (lang) {
    case QLocale::Czech:
    case QLocale::Hungarian:
    case QLocale::Polish:
    case QLocale::Slovak:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Bosnian:
    case QLocale::Albanian:
        return true;
    default:
        return false;
    }
}

} // namespace

CodePage codePageForLocale(const QLocale& locale) {
    return isCentralEuropean(locale.language()) ? CodePage::Windows1250 : CodePage::Windows1252;
}

CodePage codePageForLanguageName(const QString& languageFileName) {
    const QString n = languageFileName.toLower();
    return (n == QLatin1String("czech") || n == QLatin1String("hungary") || n == QLatin1String("hungarian"))
               ? CodePage::Windows1250
               : CodePage::Windows1252;
}

namespace {

// Unicode -> byte for the upper half of a code page, taken once from Qt's own decoder.
struct EncodeTable {
    QHash<char16_t, char> upper;
    explicit EncodeTable(CodePage cp) {
        QStringDecoder dec(codecName(cp));
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            const QString u = dec.decode(QByteArray(1, byte));
            if (u.size() == 1 && u.at(0) != QChar::ReplacementCharacter)
                upper.insert(u.at(0).unicode(), byte);
        }
    }
};

const EncodeTable& encodeTable(CodePage cp) {
    static const EncodeTable t1252(CodePage::Windows1252);
    static const EncodeTable t1250(CodePage::Windows1250);
    return cp == CodePage::Windows1250 ? t1250 : t1252;
}

} // namespace

void appendAnsi(std::string& out, QStringView text, CodePage cp) {
    if (cp == CodePage::Utf8) {
        const QByteArray utf8 = text.toUtf8();
        out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        return;
    }
    const qsizetype n = text.size();
    const char16_t* src = reinterpret_cast<const char16_t*>(text.data());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = src[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(src[i + 1]))
            ++i; // one character, one "?"
        // Characters the code page lacks become "?", as Windows writes them.
        out.push_back(encodeTable(cp).upper.value(c, '?'));
    }
}

QByteArray encodeAnsi(const QString& text, CodePage cp) {
    std::string out;
    appendAnsi(out, text, cp);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QString decodeAnsi(const QByteArray& bytes, CodePage cp) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    QStringDecoder dec(codecName(cp));
    return dec.decode(bytes);
}

namespace {

// A write cut short by a full disk leaves the file without an error code ("Unknown error"): the
// folder's free space says what happened.
QString reasonOf(const QString& path, const QString& reason) {
    if (!reason.isEmpty() && reason != QLatin1String("Unknown error"))
        return reason;
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() < 64 * 1024)
        return qt_error_string(ENOSPC);
    return reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
}

} // namespace

FileError::FileError(const QString& path, const QString& reason, Stage stage)
    : std::runtime_error(QStringLiteral("%1: %2").arg(path, reasonOf(path, reason)).toStdString()),
      m_path(path), m_reason(reasonOf(path, reason)), m_stage(stage) {}

std::optional<QStringList> readTextLines(const QString& path, CodePage cp, qint64 maxBytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (f.size() > maxBytes)
        return std::nullopt;
    const QByteArray bytes = f.read(maxBytes + 1);
    if (bytes.size() > maxBytes || f.error() != QFileDevice::NoError)
        return std::nullopt;
    const QString text = decodeAnsi(bytes, cp);

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

void writeTextLines(const QString& path, const QStringList& lines, CodePage cp) {
    TextFileWriter w(path, cp);
    for (const QString& line : lines)
        w.writeLine(line);
    w.commit();
}

TextFileWriter::TextFileWriter(const QString& path, CodePage cp, Existing existing) : m_path(path), m_cp(cp) {
    m_buffer.reserve(300 * 1024);
    if (existing == Existing::Keep) {
        m_new = std::make_unique<ExclusiveFile>(path);
        return;
    }
    m_save = std::make_unique<QSaveFile>(path);
    if (!m_save->open(QIODevice::WriteOnly))
        throw FileError(path, m_save->errorString(), FileError::Stage::Create);
}

TextFileWriter::~TextFileWriter() {
    if (m_save && m_save->isOpen())
        m_save->cancelWriting();
}

QFileDevice& TextFileWriter::device() {
    if (m_save)
        return *m_save;
    return m_new->device();
}

void TextFileWriter::writeLine(QStringView line) {
    append(line);
    endLine();
}

void TextFileWriter::endLine() {
    m_buffer += "\r\n";
    if (m_buffer.size() >= 256 * 1024)
        flushBuffer();
}

void TextFileWriter::flushBuffer() {
    if (m_buffer.empty())
        return;
    QFileDevice& file = device();
    if (file.write(m_buffer.data(), static_cast<qint64>(m_buffer.size())) !=
        static_cast<qint64>(m_buffer.size())) {
        const QString reason = file.errorString();
        if (m_save)
            m_save->cancelWriting();
        throw FileError(m_path, reason);
    }
    m_buffer.clear();
}

void TextFileWriter::commit() {
    Q_ASSERT(m_save);
    flushBuffer();
    if (!m_save->commit())
        throw FileError(m_path, m_save->errorString());
}

bool TextFileWriter::commitAs(const QString& path) {
    Q_ASSERT(m_new);
    flushBuffer();
    return m_new->publish(path);
}

bool csvNeedsQuotes(QStringView text, QStringView separator) {
    for (const QChar c : text)
        if (c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            return true;
    return !separator.isEmpty() && text.contains(separator);
}

QString csvField(QStringView text, QStringView separator) {
    if (!csvNeedsQuotes(text, separator))
        return text.toString();
    QString q = text.toString();
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace settings
