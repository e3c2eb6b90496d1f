#pragma once

#include <QString>

#include <functional>

// Putting a newly written file in the place of another in one step, so that the file stays what
// it was to its users: where a link leads, its permissions and owner, its data on the disk.
namespace excel::xlsx {

// The file a path finally names, its links followed; the end of a link need not exist yet.
// Throws SpreadsheetError for links that lead in a circle.
QString finalTarget(const QString& path);

// The temporary files that saves of the file at path use, beside it: "." + its name + "." and
// six letters or digits; the zip library's own one adds another such group.
bool isTemporaryOf(const QString& fileName, const QString& formFileName);

// Removes the temporary files an interrupted save of the file at path left beside it. Only
// regular files with exactly such a name are removed: the caller holds the file's lock, so no
// other save of it is running.
void removeStaleTemporaries(const QString& path);

// Gives a finished temporary file the permissions and owner of the file it will replace (or
// those of a newly created file when there is none) and flushes it to the disk. Throws
// SpreadsheetError when the data cannot be flushed.
void finishTemporary(const QString& temporary, const QString& target);

// Replaces target by from in one step: nothing is deleted first, so a failure leaves target as
// it was. Returns the system's reason when it failed, "" when it did not.
QString replaceFile(const QString& from, const QString& target);
using ReplaceFunction = std::function<QString(const QString& from, const QString& target)>;

// Makes the folder's new entry last across a power failure, where the system allows it.
void flushFolder(const QString& folder);

} // namespace excel::xlsx
