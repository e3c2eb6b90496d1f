#include "host/HostSnapshot.h"

#include <QJsonArray>

namespace host {

namespace {

QJsonObject dimensionSnapshot(HostDimension& d) {
    return QJsonObject{
        {QStringLiteral("bonus"), d.Bonus()},
        {QStringLiteral("deviation"), d.Deviation()},
        {QStringLiteral("name"), d.Name()},
        {QStringLiteral("feature1"), d.Feature1()},
        {QStringLiteral("feature2"), d.Feature2()},
        {QStringLiteral("feature3"), d.Feature3()},
        {QStringLiteral("length"), d.Length()},
        {QStringLiteral("nominal"), d.Nominal()},
        {QStringLiteral("max"), d.Max()},
        {QStringLiteral("measured"), d.Measured()},
        {QStringLiteral("min"), d.Min()},
        {QStringLiteral("minusTol"), d.MinusTol()},
        {QStringLiteral("plusTol"), d.PlusTol()},
        {QStringLiteral("outTol"), d.OutTol()},
        {QStringLiteral("outputMode"), d.OutputMode()},
        {QStringLiteral("units"), d.Units()},
        {QStringLiteral("axisLabel"), d.AxisLabel()},
        {QStringLiteral("isLocationAxis"), d.IsLocationAxis()},
        {QStringLiteral("isTruePositionAxis"), d.IsTruePositionAxis()},
        {QStringLiteral("datum1"), d.Datum1()},
        {QStringLiteral("datum2"), d.Datum2()},
        {QStringLiteral("datum3"), d.Datum3()},
    };
}

QJsonValue dimensionMember(HostDimension& d, const QString& m) {
    const QJsonObject all = dimensionSnapshot(d);
    if (!all.contains(m))
        throw HostError(QStringLiteral("unknown dimension member %1").arg(m));
    return all.value(m);
}

} // namespace

QJsonObject commandSnapshot(HostCommand& c) {
    std::int32_t id1 = 0;
    std::int32_t id2 = 0;
    c.GetUniqueId(id1, id2);
    QJsonObject s{
        {QStringLiteral("idText"), c.IdText()},           {QStringLiteral("type"), c.Type()},
        {QStringLiteral("isDimension"), c.IsDimension()}, {QStringLiteral("isComment"), c.IsComment()},
        {QStringLiteral("marked"), c.Marked()},           {QStringLiteral("uniqueId"), QJsonArray{id1, id2}},
    };
    if (c.IsDimension()) {
        s.insert(QStringLiteral("dimension"), dimensionSnapshot(*c.Dimension()));
        s.insert(QStringLiteral("fieldText169"), c.GetFieldText(169, 0));
    }
    if (c.IsComment()) {
        auto comment = c.Comment();
        QJsonArray lines;
        for (int i = 1; i <= kSnapshotCommentLines; ++i)
            lines.append(comment->Line(i));
        s.insert(QStringLiteral("comment"),
                 QJsonObject{{QStringLiteral("commentType"), comment->CommentType()},
                             {QStringLiteral("text"), comment->Text()},
                             {QStringLiteral("lines"), lines}});
    }
    if (c.Type() == 191) {
        auto a = c.Assignment();
        s.insert(QStringLiteral("assignment"),
                 QJsonObject{{QStringLiteral("name"), a->Name()}, {QStringLiteral("value"), a->Value()}});
    }
    return s;
}

QJsonValue readCommandMember(HostCommand& c, const QString& member, int arg) {
    if (member == QLatin1String("idText"))
        return c.IdText();
    if (member == QLatin1String("type"))
        return c.Type();
    if (member == QLatin1String("isDimension"))
        return c.IsDimension();
    if (member == QLatin1String("isComment"))
        return c.IsComment();
    if (member == QLatin1String("marked"))
        return c.Marked();
    if (member == QLatin1String("uniqueId")) {
        std::int32_t id1 = 0;
        std::int32_t id2 = 0;
        c.GetUniqueId(id1, id2);
        return QJsonArray{id1, id2};
    }
    if (member.startsWith(QLatin1String("dimension.")))
        return dimensionMember(*c.Dimension(), member.mid(10));
    if (member == QLatin1String("comment.commentType"))
        return c.Comment()->CommentType();
    if (member == QLatin1String("comment.text"))
        return c.Comment()->Text();
    if (member == QLatin1String("comment.line"))
        return c.Comment()->Line(arg);
    if (member == QLatin1String("assignment.name"))
        return c.Assignment()->Name();
    if (member == QLatin1String("assignment.value"))
        return c.Assignment()->Value();
    throw HostError(QStringLiteral("unknown command member %1").arg(member));
}

QJsonObject programSnapshot(HostPartProgram& p) {
    return QJsonObject{
        {QStringLiteral("partName"), p.PartName()}, {QStringLiteral("folder"), p.Folder()},
        {QStringLiteral("revision"), p.Revision()}, {QStringLiteral("drawingNumber"), p.DrawingNumber()},
        {QStringLiteral("fileName"), p.FileName()}, {QStringLiteral("fullName"), p.FullName()},
    };
}

QJsonValue readProgramMember(HostPartProgram& p, const QString& member) {
    const QJsonObject all = programSnapshot(p);
    if (!all.contains(member))
        throw HostError(QStringLiteral("unknown part program member %1").arg(member));
    return all.value(member);
}

} // namespace host
