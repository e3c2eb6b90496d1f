#include "settings/TextCodec.h"

#include "settings/ExclusiveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <cerrno>

namespace settings {

namespace {

// The upper halves of the two code pages, as Windows maps them (the five bytes Windows-1252
// leaves free, and the four of Windows-1250, are the C1 controls of the same number). Built in,
// so that the program reads and writes them the same with or without ICU.
constexpr char16_t kUpper1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
constexpr char16_t kUpper1250[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

const char16_t* upperHalf(CodePage cp) {
    return cp == CodePage::Windows1250 ? kUpper1250 : kUpper1252;
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

// Unicode -> byte for the upper half of a code page.
struct EncodeTable {
    QHash<char16_t, char> upper;
    explicit EncodeTable(CodePage cp) {
        for (int b = 0x80; b <= 0xFF; ++b)
            upper.insert(upperHalf(cp)[b - 0x80], static_cast<char>(b));
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
    if (cp == CodePage::Utf8)
        return QString::fromUtf8(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = b < 0x80 ? char16_t(b) : upperHalf(cp)[b - 0x80];
    }
    return text;
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
