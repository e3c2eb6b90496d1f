#include "settings/HeaderData.h"

#include "common/ProgramPaths.h"
#include "settings/TextCodec.h"

namespace settings {

QString headerDataFile() {
    return common::programFile(QStringLiteral("HeaderData.cfg"));
}

std::optional<QString> headerNameToAdd(const QString& typed) {
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    return t;
}

void applyHeaderNames(model::HeaderRows& rows, const QStringList& names) {
    rows.resize(static_cast<std::size_t>(names.size()));
    for (int i = 0; i < names.size(); ++i)
        rows[static_cast<std::size_t>(i)].name = QLatin1Char(' ') + names.at(i);
}

} // namespace settings
