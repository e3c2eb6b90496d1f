#include "xlsx/ZipPackage.h"

#include "xlsx/Spreadsheet.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <future>

namespace excel::xlsx {

namespace {

QString fileKind(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(64 * 1024);
    // Compound files hold legacy workbooks and password-protected OOXML alike.
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        const QByteArray encryption = QByteArray("E\0n\0c\0r\0y\0p\0t\0i\0o\0n\0I\0n\0f\0o\0", 28);
        return head.contains(encryption) ? QStringLiteral("encrypted") : QStringLiteral("xls");
    }
    return QStringLiteral("other");
}

// A zip archive of one entry whose data libdeflate compresses: faster than zlib and tighter. The
// output takes the compressed bytes from it as they are.
QByteArray singleEntryZip(const QByteArray& data) {
    if (static_cast<quint64>(data.size()) >= 0xFFFFFFFFu) // needs zip64: left to libzip
        return {};
    // Its lowest level still packs a sheet tighter than zlib's lowest, in half the time.
    libdeflate_compressor* c = libdeflate_alloc_compressor(1);
    if (!c)
        return {};
    const std::size_t bound = libdeflate_deflate_compress_bound(c, static_cast<std::size_t>(data.size()));
    QByteArray deflated(static_cast<qsizetype>(bound), Qt::Uninitialized);
    const std::size_t size = libdeflate_deflate_compress(
        c, data.constData(), static_cast<std::size_t>(data.size()), deflated.data(), bound);
    libdeflate_free_compressor(c);
    if (size == 0)
        return {};
    deflated.truncate(static_cast<qsizetype>(size));
    const quint32 crc = libdeflate_crc32(0, data.constData(), static_cast<std::size_t>(data.size()));
    const QByteArray name("part");
    QByteArray out;
    auto u16 = [&](quint16 v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>(v >> 8));
    };
    auto u32 = [&](quint32 v) {
        u16(static_cast<quint16>(v & 0xFFFF));
        u16(static_cast<quint16>(v >> 16));
    };
    // The entry keeps this time in the output, as the other changed parts do.
    const QDateTime now = QDateTime::currentDateTime();
    const auto dosTime =
        static_cast<quint16>(now.time().hour() << 11 | now.time().minute() << 5 | now.time().second() / 2);
    const auto dosDate = static_cast<quint16>((std::max(now.date().year(), 1980) - 1980) << 9 |
                                              now.date().month() << 5 | now.date().day());
    // What the local header and the directory entry both say: version 2.0, no flags, deflated,
    // time, checksum, sizes and name length, with no extra field.
    const auto entryFields = [&] {
        u16(20);
        u16(0);
        u16(8);
        u16(dosTime);
        u16(dosDate);
        u32(crc);
        u32(static_cast<quint32>(deflated.size()));
        u32(static_cast<quint32>(data.size()));
        u16(static_cast<quint16>(name.size()));
        u16(0);
    };
    u32(0x04034b50); // local file header
    entryFields();
    out += name;
    out += deflated;
    const auto directory = static_cast<quint32>(out.size());
    u32(0x02014b50); // central directory entry
    u16(20);         // made by version 2.0
    entryFields();
    u16(0); // comment length
    u16(0); // disk
    u16(0); // internal attributes
    u32(0); // external attributes
    u32(0); // where the local header starts
    out += name;
    const auto directorySize = static_cast<quint32>(out.size()) - directory;
    // end of central directory
    u32(0x06054b50);
    u16(0);
    u16(0);
    u16(1);
    u16(1);
    u32(directorySize);
    u32(directory);
    u16(0);
    return out;
}

// A part name split around its number: xl/worksheets/sheet12.xml gives the pattern
// "xl/worksheets/sheet" + ".xml" and the number 12 (0 when it has none).
struct NumberedName {
    QString pattern;
    QString base;
    QString ext;
    int number = 0;
};

NumberedName numberedName(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^(.*?)(\\d*)(\\.[^./]+)$"));
    const QRegularExpressionMatch m = re.match(name);
    NumberedName n;
    n.base = m.hasMatch() ? m.captured(1) : name;
    n.ext = m.hasMatch() ? m.captured(3) : QString();
    n.number = m.hasMatch() ? m.captured(2).toInt() : 0;
    n.pattern = n.base + QChar(0) + n.ext;
    return n;
}

// Reads a part to its end, into data when given (size bytes). libzip compares the checksum at the
// end, where a mismatch makes the read fail. Returns why the part is unreadable, "" when it is not.
QString readToEnd(zip_t* archive, zip_uint64_t index, qint64 size, char* data) {
    zip_file_t* f = zip_fopen_index(archive, index, 0);
    if (!f)
        return QString::fromUtf8(zip_strerror(archive));
    std::vector<char> scratch(data ? 1 : 256 * 1024);
    qint64 got = 0;
    zip_int64_t r = 0;
    do { // past the stated size into the scratch buffer: a longer part stops there
        const bool inPlace = data && got < size;
        r = zip_fread(f, inPlace ? data + got : scratch.data(),
                      static_cast<zip_uint64_t>(inPlace ? size - got : qint64(scratch.size())));
        got += std::max<zip_int64_t>(r, 0);
    } while (r > 0 && got <= size);
    const QString why = r < 0         ? QString::fromUtf8(zip_file_strerror(f))
                        : got != size ? QStringLiteral("its length is not the stated one")
                                      : QString();
    zip_fclose(f);
    return why;
}

// Below this a part is compressed while the output is written; above it, in a thread of its own.
constexpr qsizetype kParallelCompression = 256 * 1024;

// Large changed parts were compressed side by side, each into an archive of its own in memory;
// the output takes their compressed bytes as they are. The archives go with this.
class CompressedParts {
public:
    CompressedParts() = default;
    CompressedParts(const CompressedParts&) = delete;
    CompressedParts& operator=(const CompressedParts&) = delete;
    ~CompressedParts() {
        for (auto& [key, part] : m_parts) {
            if (part.archive)
                zip_discard(part.archive);
            if (part.memory)
                zip_source_free(part.memory);
        }
    }

    // Opens a part's compressed bytes as an archive. Without one (no bytes, or libzip refused them)
    // the part is compressed as it is written.
    void add(const QString& key, const QByteArray& bytes) {
        Part& c = m_parts[key];
        c.bytes = bytes;
        if (c.bytes.isEmpty())
            return;
        zip_error_t error;
        zip_error_init(&error);
        // The source reads the bytes where they are: they live as long as the archive.
        c.memory = zip_source_buffer_create(c.bytes.constData(), static_cast<zip_uint64_t>(c.bytes.size()), 0,
                                            &error);
        if (!c.memory)
            return;
        zip_source_keep(c.memory);
        c.archive = zip_open_from_source(c.memory, ZIP_RDONLY, &error);
    }

    zip_t* archive(const QString& key) const {
        const auto it = m_parts.find(key);
        return it != m_parts.end() ? it->second.archive : nullptr;
    }

private:
    struct Part {
        QByteArray bytes;
        zip_source_t* memory = nullptr;
        zip_t* archive = nullptr;
    };
    std::map<QString, Part> m_parts;
};

} // namespace

ZipPackage::ZipPackage() = default;

ZipPackage::~ZipPackage() {
    if (m_archive)
        zip_discard(m_archive);
}

void ZipPackage::open(const QString& path) {
    m_path = path;
    if (!QFileInfo(path).isFile())
        throw SpreadsheetError(
            QStringLiteral("The file %1 does not exist.").arg(QDir::toNativeSeparators(path)));
    int err = 0;
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!m_archive) {
        const QString kind = fileKind(path);
        if (kind == QLatin1String("encrypted"))
            throw SpreadsheetError(
                QStringLiteral(
                    "%1 is protected by a password. Save the form without a password as an Excel workbook "
                    "(.xlsx).")
                    .arg(QDir::toNativeSeparators(path)));
        if (kind == QLatin1String("xls"))
            throw SpreadsheetError(
                QStringLiteral("%1 is an Excel 97-2003 workbook (.xls). Open it in your spreadsheet "
                               "program and save the form as an Excel workbook (.xlsx).")
                    .arg(QDir::toNativeSeparators(path)));
        throw SpreadsheetError(
            QStringLiteral("%1 is not an Excel workbook (.xlsx).").arg(QDir::toNativeSeparators(path)));
    }
    const zip_int64_t n = zip_get_num_entries(m_archive, 0);
    qint64 total = 0;
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME))
            throw SpreadsheetError(
                QStringLiteral("The workbook %1 is damaged.").arg(QDir::toNativeSeparators(path)));
        const QString name = QString::fromUtf8(st.name);
        if (name.endsWith(QLatin1Char('/')))
            continue; // a folder entry
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            throw SpreadsheetError(
                QStringLiteral("%1 is protected by a password. Save the form without a password.")
                    .arg(QDir::toNativeSeparators(path)));
        const qint64 size = static_cast<qint64>(st.size);
        total += size;
        // A part far larger than any form, or a package that unpacks to gigabytes, is refused
        // before it is read.
        if (size > kMaxPartBytes || total > kMaxTotalBytes)
            throw SpreadsheetError(QStringLiteral("The workbook %1 is too large to be a form.")
                                       .arg(QDir::toNativeSeparators(path)));
        // Part names are equal ignoring ASCII case: a package naming one part twice is not sound.
        if (m_entries.count(partKey(name)))
            throw SpreadsheetError(QStringLiteral("The workbook %1 is damaged: it holds the part %2 twice.")
                                       .arg(QDir::toNativeSeparators(path), name));
        Entry e;
        e.name = name;
        e.index = i;
        e.size = size;
        m_entries[partKey(name)] = e;
        m_order.push_back(partKey(name));
    }
}

bool ZipPackage::contains(const QString& part) const {
    const auto it = m_entries.find(partKey(normalizedPart(part)));
    return it != m_entries.end() && !it->second.removed;
}

QByteArray ZipPackage::read(const QString& part) const {
    const auto it = m_entries.find(partKey(normalizedPart(part)));
    if (it == m_entries.end() || it->second.removed)
        throw SpreadsheetError(QStringLiteral("The workbook lacks its part %1.").arg(part));
    const Entry& e = it->second;
    if (e.replaced)
        return e.data;
    QByteArray data(e.size, Qt::Uninitialized);
    const QString why = readToEnd(m_archive, static_cast<zip_uint64_t>(e.index), e.size, data.data());
    if (!why.isEmpty())
        throw damaged(part, why);
    e.checked = true;
    return data;
}

SpreadsheetError ZipPackage::damaged(const QString& part, const QString& why) const {
    return SpreadsheetError(QStringLiteral("The workbook %1 is damaged: its part %2 cannot be read (%3).")
                                .arg(QDir::toNativeSeparators(m_path), part, why));
}

void ZipPackage::checkUnchangedParts() const {
    // They are copied as their compressed bytes, which nothing checks on the way: a damaged part
    // would make the saved workbook unreadable. Parts read before were checked then.
    for (const QString& key : m_order) {
        const Entry& e = m_entries.at(key);
        if (e.removed || e.replaced || e.checked)
            continue;
        const QString why = readToEnd(m_archive, static_cast<zip_uint64_t>(e.index), e.size, nullptr);
        if (!why.isEmpty())
            throw damaged(e.name, why);
        e.checked = true;
    }
}

void ZipPackage::write(const QString& part, const QByteArray& data) {
    // A part already there keeps its name as the package spells it.
    const QString name = normalizedPart(part);
    const QString key = partKey(name);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        m_order.push_back(key);
        it = m_entries.emplace(key, Entry{}).first;
        it->second.name = name;
    }
    it->second.replaced = true;
    it->second.removed = false;
    it->second.data = data;
    it->second.size = data.size();
    it->second.zipped = {};
    if (data.size() >= kParallelCompression)
        it->second.zipped = std::async(std::launch::async, [data] { return singleEntryZip(data); }).share();
}

void ZipPackage::remove(const QString& part) {
    const auto it = m_entries.find(partKey(normalizedPart(part)));
    if (it == m_entries.end())
        return;
    it->second.removed = true;
    // Its number is free again.
    const NumberedName n = numberedName(part);
    const auto lowest = m_lowestFree.find(n.pattern);
    if (lowest != m_lowestFree.end() && n.number > 0)
        *lowest = std::min(*lowest, n.number);
}

QString ZipPackage::freeName(const QString& like) const {
    const NumberedName n = numberedName(like);
    int& number = m_lowestFree[n.pattern];
    for (number = std::max(number, 1);; ++number) {
        const QString candidate = n.base + QString::number(number) + n.ext;
        if (!contains(candidate))
            return candidate;
    }
}

QStringList ZipPackage::parts() const {
    QStringList out;
    for (const QString& key : m_order) {
        const Entry& e = m_entries.at(key);
        if (!e.removed)
            out << e.name;
    }
    return out;
}

void ZipPackage::save(const QString& path, const std::function<bool()>& beforeRename,
                      const ReplaceFunction& replace) {
    checkUnchangedParts();
    const QString targetPath = finalTarget(path);
    // The caller holds the form's lock: a temporary file of its saves is left from one that broke off.
    removeStaleTemporaries(targetPath);
    const QFileInfo target(targetPath);
    // A free name beside the target. libzip writes a file of its own and renames it to that name,
    // which Windows refuses while anything holds the name: the name is given up first.
    QString tmpPath;
    {
        QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                               QStringLiteral(".XXXXXX"));
        if (!reserve.open())
            throw SpreadsheetError(
                QStringLiteral("The workbook cannot be saved in %1: %2")
                    .arg(QDir::toNativeSeparators(target.absolutePath()), reserve.errorString()));
        tmpPath = reserve.fileName();
    }
    struct RemovedUnlessKept {
        QString path;
        bool keep = false;
        ~RemovedUnlessKept() {
            if (!keep)
                QFile::remove(path);
        }
    } tmp{tmpPath};
    writeArchive(tmpPath, path);

    finishTemporary(tmpPath, targetPath);
    if (beforeRename && !beforeRename())
        throw SpreadsheetError(
            QStringLiteral("The workbook %1 was not saved.").arg(QDir::toNativeSeparators(path)));
    // Windows replaces no file that is held open, and the archive the parts come from may be the
    // target itself: it is let go for the replace. One step and nothing deleted before: when it
    // fails, the file is as it was and is read again.
    zip_discard(m_archive);
    m_archive = nullptr;
    const QString why = replace ? replace(tmpPath, targetPath) : replaceFile(tmpPath, targetPath);
    if (!why.isEmpty()) {
        int err = 0;
        m_archive = zip_open(QFile::encodeName(m_path).constData(), ZIP_RDONLY, &err);
        throw SpreadsheetError(QStringLiteral("The workbook %1 could not be saved: %2. Nothing was changed.")
                                   .arg(QDir::toNativeSeparators(path), why));
    }
    tmp.keep = true;
    flushFolder(target.absolutePath());
    // From now on the parts are the saved file's.
    m_entries.clear();
    m_order.clear();
    open(targetPath);
}

void ZipPackage::writeArchive(const QString& file, const QString& path) const {
    CompressedParts compressed;
    for (const QString& key : m_order) {
        const Entry& e = m_entries.at(key);
        if (!e.removed && e.replaced && e.zipped.valid())
            compressed.add(key, e.zipped.get());
    }

    int err = 0;
    zip_t* out = zip_open(QFile::encodeName(file).constData(), ZIP_TRUNCATE | ZIP_CREATE, &err);
    if (!out)
        throw SpreadsheetError(
            QStringLiteral("The workbook cannot be saved as %1.").arg(QDir::toNativeSeparators(path)));
    auto fail = [&](const QString& why) {
        zip_discard(out);
        throw SpreadsheetError(QStringLiteral("The workbook %1 could not be saved: %2")
                                   .arg(QDir::toNativeSeparators(path), why));
    };
    for (const QString& key : m_order) {
        const Entry& e = m_entries.at(key);
        if (e.removed)
            continue;
        if (const std::optional<QString> why = addPart(out, e, compressed.archive(key)))
            fail(*why);
    }
    // Closing reads the parts, the compressed ones from their archives: they must live until then.
    if (zip_close(out) != 0)
        fail(QString::fromUtf8(zip_strerror(out)));
}

std::optional<QString> ZipPackage::addPart(zip_t* out, const Entry& e, zip_t* precompressed) const {
    zip_source_t* src = nullptr;
    if (precompressed)
        src = zip_source_zip(out, precompressed, 0, ZIP_FL_COMPRESSED, 0, -1);
    else if (e.replaced)
        src = zip_source_buffer(out, e.data.constData(), static_cast<zip_uint64_t>(e.data.size()), 0);
    else // unchanged: the compressed bytes as they are
        src = zip_source_zip(out, m_archive, static_cast<zip_uint64_t>(e.index), ZIP_FL_COMPRESSED, 0, -1);
    if (!src)
        return QString::fromUtf8(zip_strerror(out));
    const zip_int64_t idx =
        zip_file_add(out, e.name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (idx < 0) {
        zip_source_free(src);
        return QString::fromUtf8(zip_strerror(out));
    }
    // A moderate level: the highest ones are many times slower for a few percent.
    if (e.replaced && !precompressed)
        zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 1);
    return std::nullopt;
}

QString partFolder(const QString& part) {
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

QString partKey(const QString& part) {
    // ASCII only, as package part names are compared.
    QString key = part;
    for (QChar& c : key)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return key;
}

QString normalizedPart(const QString& name) {
    QString n = QDir::cleanPath(name);
    while (n.startsWith(QLatin1Char('/')))
        n.remove(0, 1);
    return n == QLatin1String(".") ? QString() : n;
}

QString joinPart(const QString& folder, const QString& name) {
    return normalizedPart(folder.isEmpty() ? name : folder + QLatin1Char('/') + name);
}

QString resolvePart(const QString& sourcePart, const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return normalizedPart(target);
    return joinPart(partFolder(normalizedPart(sourcePart)), target);
}

QString relsPartOf(const QString& part) {
    const QString name = normalizedPart(part);
    const QString folder = partFolder(name);
    const QString file = name.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    return joinPart(folder, QStringLiteral("_rels/") + file + QStringLiteral(".rels"));
}

QString relativeTarget(const QString& sourcePart, const QString& targetPart) {
    return QDir(QLatin1Char('/') + partFolder(normalizedPart(sourcePart)))
        .relativeFilePath(QLatin1Char('/') + normalizedPart(targetPart));
}

} // namespace excel::xlsx
