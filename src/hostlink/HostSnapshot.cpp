#include "hostlink/HostSnapshot.h"

#include <QJsonArray>
#include <QtEndian>

#include <bit>
#include <cstring>

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

QJsonObject toJson(const ProgramSnapshot& s) {
    QJsonObject o;
    encodeFields(o, s, kProgramTexts);
    return o;
}

namespace {

// Bits of a snapshot's flag byte, and of a dimension's.
constexpr std::uint8_t kIsDimension = 1, kIsComment = 2, kMarked = 4, kHasDimension = 8, kHasComment = 16,
                       kHasAssignment = 32, kCommandBits = 63;
constexpr std::uint8_t kIsLocationAxis = 1, kIsTruePositionAxis = 2, kAxisBits = 3;
// Flags, type and unique id, and the lengths of the id text and field 169.
constexpr qsizetype kMinSnapshotBytes = 1 + 3 * 4 + 2 * 4;

template <typename T> T littleEndian(T v) {
    if constexpr (std::endian::native == std::endian::big)
        return qbswap(v);
    else
        return v;
}

void put(QByteArray& out, const void* data, qsizetype n) {
    out.append(static_cast<const char*>(data), n);
}
void putU8(QByteArray& out, std::uint8_t v) {
    out.append(static_cast<char>(v));
}
void putU32(QByteArray& out, std::uint32_t v) {
    v = littleEndian(v);
    put(out, &v, 4);
}
void putI32(QByteArray& out, std::int32_t v) {
    putU32(out, static_cast<std::uint32_t>(v));
}
void putF64(QByteArray& out, double v) {
    const auto bits = littleEndian(std::bit_cast<std::uint64_t>(v));
    put(out, &bits, 8);
}
void putText(QByteArray& out, const QString& s) {
    putU32(out, static_cast<std::uint32_t>(s.size()));
    if constexpr (std::endian::native == std::endian::big) {
        for (QChar c : s) {
            const char16_t u = littleEndian(c.unicode());
            put(out, &u, 2);
        }
    } else {
        put(out, s.utf16(), s.size() * 2);
    }
}

class FrameReader {
public:
    explicit FrameReader(QByteArrayView frame) : m_p(frame.data()), m_end(frame.data() + frame.size()) {}

    qsizetype left() const { return m_end - m_p; }
    std::uint8_t u8() {
        need(1);
        return static_cast<std::uint8_t>(*m_p++);
    }
    std::uint32_t u32() {
        std::uint32_t v;
        take(&v, 4);
        return littleEndian(v);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    double f64() {
        std::uint64_t v;
        take(&v, 8);
        return std::bit_cast<double>(littleEndian(v));
    }
    QString text() {
        const std::uint32_t n = u32();
        if (n == 0)
            return {};
        need(qsizetype(n) * 2);
        QString s(qsizetype(n), Qt::Uninitialized);
        take(s.data(), qsizetype(n) * 2);
        if constexpr (std::endian::native == std::endian::big)
            for (QChar& c : s)
                c = QChar(qbswap(c.unicode()));
        return s;
    }
    // A count of items at least minBytes each, which the rest of the frame must be able to hold.
    std::size_t count(qsizetype minBytes) {
        const std::uint32_t n = u32();
        if (qsizetype(n) > left() / minBytes)
            bad();
        return n;
    }
    [[noreturn]] static void bad() {
        throw HostError(QStringLiteral("Korvex sent a malformed answer."), HostFault::Protocol);
    }

private:
    void need(qsizetype n) const {
        if (n > left())
            bad();
    }
    void take(void* out, qsizetype n) {
        need(n);
        std::memcpy(out, m_p, static_cast<std::size_t>(n));
        m_p += n;
    }
    const char* m_p;
    const char* m_end;
};

} // namespace

CommandFrameWriter::CommandFrameWriter() {
    putU32(m_frame, 0);
}

void CommandFrameWriter::add(const CommandSnapshot& s) {
    QByteArray& out = m_frame;
    putU8(out,
          static_cast<std::uint8_t>((s.isDimension ? kIsDimension : 0) | (s.isComment ? kIsComment : 0) |
                                    (s.marked ? kMarked : 0) | (s.dimension ? kHasDimension : 0) |
                                    (s.comment ? kHasComment : 0) | (s.assignment ? kHasAssignment : 0)));
    putI32(out, s.type);
    putI32(out, s.uniqueId1);
    putI32(out, s.uniqueId2);
    putText(out, s.idText);
    putText(out, s.fieldText169);
    if (const auto& d = s.dimension) {
        for (const auto& f : kDimensionNumbers)
            putF64(out, (*d).*f.member);
        for (const auto& f : kDimensionIntegers)
            putI32(out, (*d).*f.member);
        for (const auto& f : kDimensionTexts)
            putText(out, (*d).*f.member);
        putU8(out, static_cast<std::uint8_t>((d->isLocationAxis ? kIsLocationAxis : 0) |
                                             (d->isTruePositionAxis ? kIsTruePositionAxis : 0)));
    }
    if (const auto& c = s.comment) {
        putI32(out, c->commentType);
        putText(out, c->text);
        putU32(out, static_cast<std::uint32_t>(c->lines.size()));
        for (const QString& line : c->lines)
            putText(out, line);
    }
    if (const auto& a = s.assignment) {
        putText(out, a->name);
        putText(out, a->value);
    }
    ++m_count;
}

QByteArray CommandFrameWriter::take() {
    const auto n = littleEndian(static_cast<std::uint32_t>(m_count));
    std::memcpy(m_frame.data(), &n, 4);
    QByteArray frame = std::move(m_frame);
    m_frame = QByteArray();
    putU32(m_frame, 0);
    m_count = 0;
    return frame;
}

std::vector<CommandSnapshot> decodeCommandFrame(QByteArrayView frame) {
    FrameReader r(frame);
    std::vector<CommandSnapshot> out(r.count(kMinSnapshotBytes));
    for (CommandSnapshot& s : out) {
        const std::uint8_t flags = r.u8();
        if (flags & ~kCommandBits)
            r.bad();
        s.isDimension = flags & kIsDimension;
        s.isComment = flags & kIsComment;
        s.marked = flags & kMarked;
        s.type = r.i32();
        s.uniqueId1 = r.i32();
        s.uniqueId2 = r.i32();
        s.idText = r.text();
        s.fieldText169 = r.text();
        if (flags & kHasDimension) {
            DimensionSnapshot& d = s.dimension.emplace();
            for (const auto& f : kDimensionNumbers)
                d.*f.member = r.f64();
            for (const auto& f : kDimensionIntegers)
                d.*f.member = r.i32();
            for (const auto& f : kDimensionTexts)
                d.*f.member = r.text();
            const std::uint8_t axis = r.u8();
            if (axis & ~kAxisBits)
                r.bad();
            d.isLocationAxis = axis & kIsLocationAxis;
            d.isTruePositionAxis = axis & kIsTruePositionAxis;
        }
        if (flags & kHasComment) {
            CommentSnapshot& c = s.comment.emplace();
            c.commentType = r.i32();
            c.text = r.text();
            c.lines.resize(r.count(4));
            for (QString& line : c.lines)
                line = r.text();
        }
        if (flags & kHasAssignment) {
            AssignmentSnapshot& a = s.assignment.emplace();
            a.name = r.text();
            a.value = r.text();
        }
    }
    if (r.left() != 0)
        r.bad();
    return out;
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
