#pragma once

#include "xlsx/FileReplace.h"
#include "xlsx/Spreadsheet.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>

struct zip;

namespace excel::xlsx {

// The parts of an OPC package (a zip file). Parts are read on demand; changed and new parts live
// in memory until the package is written again, unchanged ones are copied without recompression.
class ZipPackage {
public:
    // Limits for untrusted files: no part and no package is read beyond these.
    static constexpr qint64 kMaxPartBytes = 256LL * 1024 * 1024;
    static constexpr qint64 kMaxTotalBytes = 1024LL * 1024 * 1024;

    ZipPackage();
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // Throws SpreadsheetError with a text for the user.
    void open(const QString& path);

    // Part names are found ignoring ASCII case; a part keeps the name it was first given.
    bool contains(const QString& part) const;
    QByteArray read(const QString& part) const;
    void write(const QString& part, const QByteArray& data);
    void remove(const QString& part);
    QStringList parts() const;
    // A name for a new part like `like`, its number replaced by the lowest one no part has:
    // xl/worksheets/sheet3.xml gives xl/worksheets/sheet1.xml while that name is free.
    QString freeName(const QString& like) const;

    // Writes the whole package to path through a temporary file beside the file a link at path
    // leads to, and puts it in that file's place in one step, with that file's permissions and
    // owner. A part taken over unchanged is checked first: a damaged one is refused, not copied.
    // For tests: beforeRename may refuse (return false) to simulate a failure at the last moment,
    // and replace stands in for replaceFile.
    void save(const QString& path, const std::function<bool()>& beforeRename = {},
              const ReplaceFunction& replace = {});

private:
    void checkUnchangedParts() const;
    SpreadsheetError damaged(const QString& part, const QString& why) const;
    struct Entry {
        QString name;      // as the package spells it
        qint64 index = -1; // in the source archive; -1 for a new part
        qint64 size = 0;
        bool replaced = false;
        bool removed = false;
        // Read whole with its checksum matching: it need not be checked again before it is copied.
        mutable bool checked = false;
        QByteArray data;
        // Large parts start compressing when written, while the caller produces the next one.
        std::shared_future<QByteArray> zipped;
    };
    // Writes every part to file; path is the one the user knows, named in errors.
    void writeArchive(const QString& file, const QString& path) const;
    // Adds a part to out, from its compressed bytes in precompressed when given; why it could not.
    std::optional<QString> addPart(zip* out, const Entry& e, zip* precompressed) const;
    // Both by partKey: part names are equal ignoring ASCII case.
    std::vector<QString> m_order;
    std::map<QString, Entry> m_entries;
    // Per name pattern, every number below this one is taken: a thousand copies of a page get
    // their names without trying all the names before.
    mutable QHash<QString, int> m_lowestFree;
    zip* m_archive = nullptr;
    QString m_path;
};

// Part names compare equal ignoring ASCII case: the key they are compared by.
QString partKey(const QString& part);
// A part name as a package holds it: no leading "/", no "." or ".." segments.
QString normalizedPart(const QString& name);
// The part `name` in `folder` ("" for the package root), normalised.
QString joinPart(const QString& folder, const QString& name);
// The folder of a part name ("xl/worksheets") and a relative target resolved against it.
QString partFolder(const QString& part);
QString resolvePart(const QString& sourcePart, const QString& target);
// The relationships part of a part: xl/_rels/workbook.xml.rels for xl/workbook.xml.
QString relsPartOf(const QString& part);
// The target as written in the relationships of sourcePart.
QString relativeTarget(const QString& sourcePart, const QString& targetPart);

} // namespace excel::xlsx
