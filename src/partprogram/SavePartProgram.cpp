#include "partprogram/SavePartProgram.h"

#include "settings/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace partprogram {

QString copyName(const QString& programName, const QString& date, const QString& time,
                 const QString& partNumber) {
    return programName + QStringLiteral("__") + date + QStringLiteral("__") + time + QStringLiteral("__") +
           partNumber + QStringLiteral(".sav");
}

QString dateText(const QDate& date) {
    return date.toString(QStringLiteral("dd-MM-yyyy"));
}
QString timeText(const QTime& time) {
    return time.toString(QStringLiteral("HH-mm-ss"));
}

bool isValidPartNumber(const QString& partNumber) {
    for (const QChar c : partNumber)
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            return false;
    return true;
}

void copyOverwriting(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw settings::FileError(source, in.errorString());
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw settings::FileError(target, out.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            throw settings::FileError(source, in.errorString());
        if (out.write(chunk) != chunk.size())
            throw settings::FileError(target, out.errorString());
    }
    if (!out.commit())
        throw settings::FileError(target, out.errorString());
}

} // namespace partprogram
