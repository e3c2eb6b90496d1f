#pragma once

#include "hostlink/HostInterfaces.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <functional>
#include <stdexcept>

namespace settings {

// Why a result file name could not be formed; nothing is written then.
class ResultNameError : public std::runtime_error {
public:
    enum class Kind { CounterExhausted, HostGone };
    ResultNameError(Kind kind, const QString& detail)
        : std::runtime_error(detail.toStdString()), m_kind(kind), m_detail(detail) {}
    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }

private:
    Kind m_kind;
    QString m_detail;
};

struct FileNameSelection {
    int FileName1 = 0;
    int FileName2 = 1;
    int FileName3 = 1;
    int FileName4 = 1;
    int FileName5 = 1;
    int SEPERATOR = 1;
    bool FileCounter = false;
};

// Everything a name is made of besides the selections: the host's part program (nothing when
// the host is gone), today, now, the locale's date format and a way to ask for existing files.
struct NamingContext {
    host::HostPartProgram* program = nullptr;
    QDate date = QDate::currentDate();
    QTime time = QTime::currentTime();
    QLocale locale = QLocale::system();
    std::function<bool(const QString&)> exists;
};

// "hh.mm.ss" of the 24-hour clock.
QString CurrentTimeText(const QTime& time = QTime::currentTime());

QString separatorText(int selection);

// A component as a file name can hold it: \ / : * ? " < > | and control characters become "-".
QString fileNameSafe(const QString& component);

// A result file's path in parts: folder (ending in a separator) + components, then the counter
// after the separator when there is one, then "." + extension.
struct ResultFileName {
    QString stem;
    QString separator;
    QString extension;
    int counter = 0; // 0: none

    QString path() const;
};

// The name planned for a result file; with the counter option, the first counter whose file does
// not exist. Throws ResultNameError.
ResultFileName planResultFileName(const FileNameSelection& selection, const QString& folder,
                                  const QString& extension, const NamingContext& context);

// The name to try when `taken` turned out to be taken: the first counter after its own (after
// none: from 1) whose file does not exist. Throws ResultNameError when all are taken.
ResultFileName nextResultFileName(const ResultFileName& taken, const NamingContext& context);

class TextFileWriter;
// Makes the written text visible under `name` or, when another run took that name between the
// look and the claim, under the next free counter; gives the name it got. beforeClaim sees each
// name just before it is claimed. Throws ResultNameError and FileError.
ResultFileName commitUnderFreeName(TextFileWriter& out, ResultFileName name, const NamingContext& context,
                                   const std::function<void(const QString&)>& beforeClaim = {});

} // namespace settings
