#include "host/HostSnapshot.h"

#include <QJsonArray>

namespace host {

namespace {

template <typename S, typename T> struct Field {
    QLatin1String key;
    T S::*member;
};

// The name each dimension member has on the wire; encoding and decoding both go by these tables.
using D = DimensionSnapshot;
const Field<D, double> kDimensionNumbers[] = {
    {QLatin1String("bonus"), &D::bonus},     {QLatin1String("deviation"), &D::deviation},
    {QLatin1String("length"), &D::length},   {QLatin1String("nominal"), &D::nominal},
    {QLatin1String("max"), &D::max},         {QLatin1String("measured"), &D::measured},
    {QLatin1String("min"), &D::min},         {QLatin1String("minusTol"), &D::minusTol},
    {QLatin1String("plusTol"), &D::plusTol}, {QLatin1String("outTol"), &D::outTol},
};
const Field<D, int> kDimensionIntegers[] = {
    {QLatin1String("outputMode"), &D::outputMode},
    {QLatin1String("units"), &D::units},
};
const Field<D, QString> kDimensionTexts[] = {
    {QLatin1String("name"), &D::name},           {QLatin1String("feature1"), &D::feature1},
    {QLatin1String("feature2"), &D::feature2},   {QLatin1String("feature3"), &D::feature3},
    {QLatin1String("axisLabel"), &D::axisLabel}, {QLatin1String("datum1"), &D::datum1},
    {QLatin1String("datum2"), &D::datum2},       {QLatin1String("datum3"), &D::datum3},
};
const Field<D, bool> kDimensionFlags[] = {
    {QLatin1String("isLocationAxis"), &D::isLocationAxis},
    {QLatin1String("isTruePositionAxis"), &D::isTruePositionAxis},
};

using P = ProgramSnapshot;
const Field<P, QString> kProgramTexts[] = {
    {QLatin1String("partName"), &P::partName}, {QLatin1String("folder"), &P::folder},
    {QLatin1String("revision"), &P::revision}, {QLatin1String("drawingNumber"), &P::drawingNumber},
    {QLatin1String("fileName"), &P::fileName}, {QLatin1String("fullName"), &P::fullName},
};

void decode(const QJsonValue& v, double& out) {
    out = v.toDouble();
}
void decode(const QJsonValue& v, int& out) {
    out = v.toInt();
}
void decode(const QJsonValue& v, bool& out) {
    out = v.toBool();
}
void decode(const QJsonValue& v, QString& out) {
    out = v.toString();
}

template <typename S, typename T, std::size_t N>
void encodeFields(QJsonObject& o, const S& s, const Field<S, T> (&fields)[N]) {
    for (const auto& f : fields)
        o.insert(f.key, s.*f.member);
}

template <typename S, typename T, std::size_t N>
void decodeFields(const QJsonObject& o, S& s, const Field<S, T> (&fields)[N]) {
    for (const auto& f : fields)
        decode(o.value(f.key), s.*f.member);
}

DimensionSnapshot takeDimension(HostDimension& d) {
    DimensionSnapshot s;
    s.bonus = d.Bonus();
    s.deviation = d.Deviation();
    s.name = d.Name();
    s.feature1 = d.Feature1();
    s.feature2 = d.Feature2();
    s.feature3 = d.Feature3();
    s.length = d.Length();
    s.nominal = d.Nominal();
    s.max = d.Max();
    s.measured = d.Measured();
    s.min = d.Min();
    s.minusTol = d.MinusTol();
    s.plusTol = d.PlusTol();
    s.outTol = d.OutTol();
    s.outputMode = d.OutputMode();
    s.units = d.Units();
    s.axisLabel = d.AxisLabel();
    s.isLocationAxis = d.IsLocationAxis();
    s.isTruePositionAxis = d.IsTruePositionAxis();
    s.datum1 = d.Datum1();
    s.datum2 = d.Datum2();
    s.datum3 = d.Datum3();
    return s;
}

QJsonObject toJson(const DimensionSnapshot& d) {
    QJsonObject o;
    encodeFields(o, d, kDimensionNumbers);
    encodeFields(o, d, kDimensionIntegers);
    encodeFields(o, d, kDimensionTexts);
    encodeFields(o, d, kDimensionFlags);
    return o;
}

QJsonValue dimensionMember(HostDimension& d, const QString& m) {
    const QJsonObject all = toJson(takeDimension(d));
    if (!all.contains(m))
        throw HostError(QStringLiteral("unknown dimension member %1").arg(m));
    return all.value(m);
}

} // namespace

CommandSnapshot takeCommandSnapshot(HostCommand& c) {
    CommandSnapshot s;
    s.idText = c.IdText();
    s.type = c.Type();
    s.isDimension = c.IsDimension();
    s.isComment = c.IsComment();
    s.marked = c.Marked();
    c.GetUniqueId(s.uniqueId1, s.uniqueId2);
    if (s.isDimension) {
        s.dimension = takeDimension(*c.Dimension());
        s.fieldText169 = c.GetFieldText(169, 0);
    }
    if (s.isComment) {
        auto comment = c.Comment();
        CommentSnapshot& k = s.comment.emplace();
        k.commentType = comment->CommentType();
        k.text = comment->Text();
        k.lines.reserve(kSnapshotCommentLines);
        for (int i = 1; i <= kSnapshotCommentLines; ++i)
            k.lines.push_back(comment->Line(i));
    }
    if (s.type == 191) {
        auto a = c.Assignment();
        s.assignment = AssignmentSnapshot{a->Name(), a->Value()};
    }
    return s;
}

ProgramSnapshot takeProgramSnapshot(HostPartProgram& p) {
    return ProgramSnapshot{p.PartName(),      p.Folder(),   p.Revision(),
                           p.DrawingNumber(), p.FileName(), p.FullName()};
}

QJsonObject toJson(const CommandSnapshot& s) {
    QJsonObject o{
        {QStringLiteral("idText"), s.idText},
        {QStringLiteral("type"), s.type},
        {QStringLiteral("isDimension"), s.isDimension},
        {QStringLiteral("isComment"), s.isComment},
        {QStringLiteral("marked"), s.marked},
        {QStringLiteral("uniqueId"), QJsonArray{s.uniqueId1, s.uniqueId2}},
    };
    if (s.dimension) {
        o.insert(QStringLiteral("dimension"), toJson(*s.dimension));
        o.insert(QStringLiteral("fieldText169"), s.fieldText169);
    }
    if (s.comment) {
        QJsonArray lines;
        for (const QString& line : s.comment->lines)
            lines.append(line);
        o.insert(QStringLiteral("comment"),
                 QJsonObject{{QStringLiteral("commentType"), s.comment->commentType},
                             {QStringLiteral("text"), s.comment->text},
                             {QStringLiteral("lines"), lines}});
    }
    if (s.assignment)
        o.insert(QStringLiteral("assignment"), QJsonObject{{QStringLiteral("name"), s.assignment->name},
                                                           {QStringLiteral("value"), s.assignment->value}});
    return o;
}

QJsonObject toJson(const ProgramSnapshot& s) {
    QJsonObject o;
    encodeFields(o, s, kProgramTexts);
    return o;
}

CommandSnapshot commandSnapshotFromJson(const QJsonObject& o) {
    CommandSnapshot s;
    s.idText = o.value(QLatin1String("idText")).toString();
    s.type = o.value(QLatin1String("type")).toInt();
    s.isDimension = o.value(QLatin1String("isDimension")).toBool();
    s.isComment = o.value(QLatin1String("isComment")).toBool();
    s.marked = o.value(QLatin1String("marked")).toBool();
    const QJsonArray id = o.value(QLatin1String("uniqueId")).toArray();
    s.uniqueId1 = id.at(0).toInt();
    s.uniqueId2 = id.at(1).toInt();
    s.fieldText169 = o.value(QLatin1String("fieldText169")).toString();

    // A part the answer does not name is one the command does not have.
    if (const auto it = o.constFind(QLatin1String("dimension")); it != o.constEnd()) {
        const QJsonObject d = it->toObject();
        DimensionSnapshot& dim = s.dimension.emplace();
        decodeFields(d, dim, kDimensionNumbers);
        decodeFields(d, dim, kDimensionIntegers);
        decodeFields(d, dim, kDimensionTexts);
        decodeFields(d, dim, kDimensionFlags);
    }
    if (const auto it = o.constFind(QLatin1String("comment")); it != o.constEnd()) {
        const QJsonObject c = it->toObject();
        CommentSnapshot& k = s.comment.emplace();
        k.commentType = c.value(QLatin1String("commentType")).toInt();
        k.text = c.value(QLatin1String("text")).toString();
        const QJsonArray lines = c.value(QLatin1String("lines")).toArray();
        k.lines.reserve(static_cast<std::size_t>(lines.size()));
        for (const QJsonValue& line : lines)
            k.lines.push_back(line.toString());
    }
    if (const auto it = o.constFind(QLatin1String("assignment")); it != o.constEnd()) {
        const QJsonObject a = it->toObject();
        s.assignment = AssignmentSnapshot{a.value(QLatin1String("name")).toString(),
                                          a.value(QLatin1String("value")).toString()};
    }
    return s;
}

ProgramSnapshot programSnapshotFromJson(const QJsonObject& o) {
    ProgramSnapshot s;
    decodeFields(o, s, kProgramTexts);
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

QJsonValue readProgramMember(HostPartProgram& p, const QString& member) {
    const QJsonObject all = programSnapshot(p);
    if (!all.contains(member))
        throw HostError(QStringLiteral("unknown part program member %1").arg(member));
    return all.value(member);
}

} // namespace host
