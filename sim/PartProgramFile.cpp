#include "PartProgramFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace sim {

namespace {

constexpr qint64 kMaxProgramBytes = 256 * 1024 * 1024;

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}
double number(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toDouble();
}
int integer(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toInt();
}
bool flag(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toBool();
}

SimDimension parseDimension(const QJsonObject& o) {
    SimDimension d;
    d.bonus = number(o, "bonus");
    d.deviation = number(o, "deviation");
    d.length = number(o, "length");
    d.nominal = number(o, "nominal");
    d.max = number(o, "max");
    d.measured = number(o, "measured");
    d.min = number(o, "min");
    d.minusTol = number(o, "minusTol");
    d.plusTol = number(o, "plusTol");
    d.outTol = number(o, "outTol");
    d.outputMode = integer(o, "outputMode");
    d.units = integer(o, "units");
    d.name = text(o, "name");
    d.feature1 = text(o, "feature1");
    d.feature2 = text(o, "feature2");
    d.feature3 = text(o, "feature3");
    d.axisLabel = text(o, "axisLabel");
    d.datum1 = text(o, "datum1");
    d.datum2 = text(o, "datum2");
    d.datum3 = text(o, "datum3");
    d.isLocationAxis = flag(o, "isLocationAxis");
    d.isTruePositionAxis = flag(o, "isTruePositionAxis");
    return d;
}

} // namespace

std::pair<std::int32_t, std::int32_t> defaultUniqueId(int position) {
    return {100000 + position, 4711};
}

SimProgram parseProgram(const QJsonObject& doc, const QString& path) {
    SimProgram p;
    p.path = path;
    p.document = doc;
    p.version = text(doc, "version");
    p.partName = text(doc, "partName");
    p.revision = text(doc, "revision");
    p.drawingNumber = text(doc, "drawingNumber");
    const QJsonArray commands = doc.value(QLatin1String("commands")).toArray();
    p.commands.reserve(static_cast<std::size_t>(commands.size()));
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const QJsonObject o = commands.at(i).toObject();
        SimCommand c;
        c.type = integer(o, "type");
        c.id = text(o, "id");
        c.marked = flag(o, "marked");
        c.fieldText169 = text(o, "fieldText169");
        const QJsonArray uid = o.value(QLatin1String("uniqueId")).toArray();
        if (uid.size() == 2) {
            c.uniqueId1 = uid.at(0).toInt();
            c.uniqueId2 = uid.at(1).toInt();
        } else {
            std::tie(c.uniqueId1, c.uniqueId2) = defaultUniqueId(static_cast<int>(i));
        }
        if (o.contains(QLatin1String("dimension")))
            c.dimension = parseDimension(o.value(QLatin1String("dimension")).toObject());
        if (o.contains(QLatin1String("comment"))) {
            const QJsonObject co = o.value(QLatin1String("comment")).toObject();
            SimComment cm;
            cm.commentType = integer(co, "commentType");
            cm.text = text(co, "text");
            for (const QJsonValue& l : co.value(QLatin1String("lines")).toArray())
                cm.lines.push_back(l.toString());
            c.comment = cm;
        }
        if (o.contains(QLatin1String("assignment"))) {
            const QJsonObject ao = o.value(QLatin1String("assignment")).toObject();
            c.assignment = SimAssignment{text(ao, "name"), text(ao, "value")};
        }
        p.commands.push_back(std::move(c));
    }
    return p;
}

SimProgram loadProgram(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ProgramFileError(
            QStringLiteral("cannot open part program %1: %2").arg(path, f.errorString()).toStdString());
    if (f.size() > kMaxProgramBytes)
        throw ProgramFileError(QStringLiteral("part program %1 is too large").arg(path).toStdString());
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        throw ProgramFileError(QStringLiteral("part program %1 is not valid JSON: %2 at offset %3")
                                   .arg(path, err.errorString())
                                   .arg(err.offset)
                                   .toStdString());
    return parseProgram(doc.object(), QFileInfo(path).absoluteFilePath());
}

void saveProgram(const SimProgram& program) {
    QSaveFile f(program.path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(program.document).toJson()) < 0 || !f.commit())
        throw ProgramFileError(QStringLiteral("cannot save part program %1: %2")
                                   .arg(program.path, f.errorString())
                                   .toStdString());
}

} // namespace sim
