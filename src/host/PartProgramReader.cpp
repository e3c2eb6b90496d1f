#include "host/PartProgramReader.h"

#include "common/NumberText.h"
#include "settings/ProgramSettings.h"

#include <QHash>

#include <algorithm>

#include <cmath>
#include <string>

namespace host {

QString TypName(int code) {
    static const QHash<int, QString> names = {
        {1002, QStringLiteral("X_LOCATION")},
        {1003, QStringLiteral("Y_LOCATION")},
        {1004, QStringLiteral("Z_LOCATION")},
        {1005, QStringLiteral("D_LOCATION")},
        {1006, QStringLiteral("R_LOCATION")},
        {1007, QStringLiteral("A_LOCATION")},
        {1008, QStringLiteral("T_LOCATION")},
        {1009, QStringLiteral("PR_LOCATION")},
        {1010, QStringLiteral("PA_LOCATION")},
        {1011, QStringLiteral("V_LOCATION")},
        {1012, QStringLiteral("L_LOCATION")},
        {1013, QStringLiteral("PD_LOCATION")},
        {1014, QStringLiteral("RT_LOCATION")},
        {1015, QStringLiteral("S_LOCATION")},
        {1016, QStringLiteral("RS_LOCATION")},
        {1017, QStringLiteral("H_LOCATION")},
        {1018, QStringLiteral("FLATNESS_LOCATION")},
        {1019, QStringLiteral("ROUNDNESS_LOCATION")},
        {1020, QStringLiteral("STRAIGHTNESS_LOCATION")},
        {1100, QStringLiteral("STRAIGHTNESS")},
        {1101, QStringLiteral("ROUNDNESS")},
        {1102, QStringLiteral("FLATNESS")},
        {1103, QStringLiteral("PERPENDICULARITY")},
        {1104, QStringLiteral("PARALLELISM")},
        {1105, QStringLiteral("PROFILE")},
        {1106, QStringLiteral("3D_DISTANCE")},
        {1107, QStringLiteral("2D_DISTANCE")},
        {1108, QStringLiteral("3D_ANGLE")},
        {1109, QStringLiteral("2D_ANGLE")},
        {1110, QStringLiteral("RUNOUT")},
        {1111, QStringLiteral("CONCENTRICITY")},
        {1112, QStringLiteral("ANGULARITY")},
        {1113, QStringLiteral("KEYIN")},
        {1114, QStringLiteral("COAXIALITY")},
        {1115, QStringLiteral("SYMMETRY")},
        {1202, QStringLiteral("TRUE_X_LOCATION")},
        {1203, QStringLiteral("TRUE_Y_LOCATION")},
        {1204, QStringLiteral("TRUE_Z_LOCATION")},
        {1205, QStringLiteral("TRUE_DD_LOCATION")},
        {1206, QStringLiteral("TRUE_DF_LOCATION")},
        {1207, QStringLiteral("TRUE_PR_LOCATION")},
        {1208, QStringLiteral("TRUE_PA_LOCATION")},
        {1209, QStringLiteral("TRUE_DIAM_LOCATION")},
        {1210, QStringLiteral("TRUE_LD_LOCATION")},
        {1211, QStringLiteral("TRUE_WD_LOCATION")},
        {1212, QStringLiteral("TRUE_LF_LOCATION")},
        {1213, QStringLiteral("TRUE_WF_LOCATION")},
        {1214, QStringLiteral("TRUE_D1_LOCATION")},
        {1215, QStringLiteral("TRUE_D2_LOCATION")},
        {1216, QStringLiteral("TRUE_D3_LOCATION")},
        {1217, QStringLiteral("TRUE_FLATNESS_LOCATION")},
        {1218, QStringLiteral("TRUE_ROUNDNESS_LOCATION")},
        {1219, QStringLiteral("TRUE_STRAIGHTNESS_LOCATION")},
    };
    return names.value(code, QStringLiteral("UNKNOWN DIMENSION TYPE"));
}

QString AusgabeText(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("STATISTIK");
    case 1:
        return QStringLiteral("PROTOKOLL");
    case 2:
        return QStringLiteral("BEIDE");
    default:
        return QStringLiteral("KEINE");
    }
}

QString ZeileBereinigen(const QString& text) {
    QString s = text.left(255);
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s.left(255);
}

double R5(double x) {
    return common::number::roundDecimal(x, 5);
}

model::ClassificationResult ClassifyWithStoredLimit(model::MerkmalTable& table,
                                                    const settings::SettingsStore& store) {
    return model::Klassifizieren(table, settings::warningPercent(settings::readTolProzent(store)));
}

void PrepareReader(ReaderState& state, const settings::SettingsStore& store, int capacity) {
    state.context.HeaderAusProgramm = settings::readHeaderSwitch(store, false);
    state.context.MultiLine = settings::readMultiLine(store, false);
    model::resetForRead(state.table, state.comments, state.context, capacity);
}

void CollectComment(ReaderState& s, HostComment& comment) {
    model::ReaderContext& ctx = s.context;
    model::KommentarTable& k = s.comments;
    k.AnzKommentare += 1;
    k.ensureIndex(k.AnzKommentare);
    ctx.ZeilenIndex[1] = k.AnzKommentare;
    if (!ctx.MultiLine) {
        model::KommentarBlock& block = k.block(k.AnzKommentare);
        for (int line = 1; line <= model::KommentarBlock::kLines; ++line)
            block.Zeile[static_cast<std::size_t>(line)] = ZeileBereinigen(comment.Line(line));
        comment.Line(model::KommentarBlock::kLines + 1); // asked as the host expects; the answer is not used
    } else {
        // Each line becomes a block of its own, so the n-th axis of a group can take the n-th line.
        // Slots of an earlier, longer comment must not hand its lines to this comment's axes.
        std::fill(ctx.ZeilenIndex.begin() + 2, ctx.ZeilenIndex.end(), 0);
        for (int line = 1; line <= model::KommentarBlock::kLines; ++line) {
            const QString t = comment.Line(line);
            if (t.isEmpty())
                break;
            k.ensureIndex(k.AnzKommentare + 1);
            k.block(k.AnzKommentare).Zeile[1] = ZeileBereinigen(t);
            ctx.ZeilenIndex[static_cast<std::size_t>(line)] = k.AnzKommentare;
            k.AnzKommentare += 1;
            k.ensureIndex(k.AnzKommentare + 1);
        }
    }
    ctx.ZeilenPos = 0;
}

namespace {

// Axes of a group: an inch group's angle axis still says ZOLL.
QString groupUnitText(int units, bool angle) {
    if (units == 0)
        return QStringLiteral("ZOLL");
    if (units == 1)
        return angle ? QStringLiteral("GRAD") : QStringLiteral("MM");
    return {};
}

// Single dimensions: angles are degrees in either unit system.
QString singleUnitText(int units, bool angle) {
    if (units != 0 && units != 1)
        return {};
    if (angle)
        return QStringLiteral("GRAD");
    return units == 0 ? QStringLiteral("ZOLL") : QStringLiteral("MM");
}

bool isOneOf(int type, std::initializer_list<int> codes) {
    for (int c : codes)
        if (type == c)
            return true;
    return false;
}

// Starts a row: comment index, unique id; the mark flag ends every rule.
model::MerkmalRow& appendRow(ReaderState& s, HostCommand& c, bool axisRule) {
    model::ReaderContext& ctx = s.context;
    if (axisRule)
        ctx.AchsPos += 1;
    model::MerkmalRow& r = s.table.append();
    if (ctx.ZeilenIndex[1] > 0) {
        if (axisRule && ctx.MultiLine) {
            // Only twenty comment lines have a slot; later axes of a long group get none.
            const int pos = ctx.AchsPos;
            r.KommentarIndex = pos >= 1 && pos <= model::ReaderContext::kCommentSlots
                                   ? ctx.ZeilenIndex[static_cast<std::size_t>(pos)]
                                   : 0;
        } else {
            r.KommentarIndex = ctx.ZeilenIndex[1];
        }
    }
    c.GetUniqueId(r.UniqueId1, r.UniqueId2);
    return r;
}

void ruleA(ReaderState& s, HostCommand& c, HostDimension& d) {
    const model::ReaderContext& ctx = s.context;
    const int type = c.Type();
    model::MerkmalRow& r = appendRow(s, c, true);
    r.Achse = d.AxisLabel();
    r.Typ = TypName(type);
    r.Abweichung = R5(d.Deviation());
    r.Element1 = ctx.GruppeElement1;
    r.Element2 = ctx.GruppeElement2;
    r.Element3 = ctx.GruppeElement3;
    r.ID = ctx.GruppeID;
    r.Max = R5(d.Max());
    r.Messwert = R5(d.Measured());
    r.Min = R5(d.Min());
    r.UTol = -R5(d.MinusTol());
    r.Nennwert = R5(d.Nominal());
    r.Ausgabe = AusgabeText(ctx.GruppeAusgabe);
    r.ATol = R5(d.OutTol());
    r.OTol = R5(d.PlusTol());
    r.Einheit = groupUnitText(ctx.GruppeEinheit, type == 1007);
    r.Markiert = c.Marked();
}

void ruleB(ReaderState& s, HostCommand& c, HostDimension& d) {
    const model::ReaderContext& ctx = s.context;
    const int type = c.Type();
    model::MerkmalRow& r = appendRow(s, c, true);
    r.ID = ctx.GruppeID;
    r.Element1 = ctx.GruppeElement1;
    r.Element2 = ctx.GruppeElement2;
    r.Element3 = ctx.GruppeElement3;
    if (s.hostVersion.left(4) != QLatin1String("3.25")) {
        r.Bezug1 = d.Datum1();
        r.Bezug2 = d.Datum2();
        r.Bezug3 = d.Datum3();
    }
    r.Typ = TypName(type);
    r.Einheit = groupUnitText(ctx.GruppeEinheit, false);
    r.Messwert = type == 1209 ? R5(d.Deviation()) : R5(d.Measured());
    r.Nennwert = R5(d.Nominal());
    r.Abweichung = R5(d.Deviation());
    r.UTol = type == 1209 ? 0.0 : -R5(d.MinusTol());
    r.OTol = R5(d.PlusTol());
    r.ATol = R5(d.OutTol());
    r.Achse = d.AxisLabel();
    r.Min = R5(d.Min());
    r.Max = R5(d.Max());
    if (type == 1209)
        r.Bonus = R5(d.Bonus());
    r.Ausgabe = AusgabeText(ctx.GruppeAusgabe);
    if (isOneOf(type, {1209, 1214, 1215, 1216, 1206, 1205}))
        r.Zusatztext = c.GetFieldText(169, 0);
    r.Markiert = c.Marked();
}

void ruleC(ReaderState& s, HostCommand& c, HostDimension& d) {
    const int type = c.Type();
    model::MerkmalRow& r = appendRow(s, c, false);
    r.Typ = TypName(type);
    r.ID = d.Name();
    r.Element1 = d.Feature1();
    r.Element2 = d.Feature2();
    r.Element3 = d.Feature3();
    r.Messwert = R5(d.Measured());
    r.Nennwert = R5(d.Nominal());
    r.Abweichung = R5(d.Deviation());
    r.UTol = -R5(d.MinusTol());
    r.OTol = R5(d.PlusTol());
    r.ATol = R5(d.OutTol());
    r.Achse = d.AxisLabel();
    if (r.Achse.isEmpty())
        r.Achse = QStringLiteral("M");
    r.Min = R5(d.Min());
    r.Max = R5(d.Max());
    r.Einheit = singleUnitText(d.Units(), isOneOf(type, {1108, 1109}));
    r.Ausgabe = AusgabeText(d.OutputMode());
    r.Bezugslaenge = R5(d.Length());
    r.Markiert = c.Marked();
    s.context.ZeilenIndex[1] = 0;
}

} // namespace

void ApplyCommand(ReaderState& s, const std::shared_ptr<HostCommand>& command) {
    HostCommand& c = *command;
    model::ReaderContext& ctx = s.context;
    const int type = c.Type();

    if (ctx.HeaderAusProgramm && type == 191) {
        auto a = c.Assignment();
        if (s.link)
            s.link->assignment = a;
        ctx.ZuweisungName = a->Name();
        ctx.ZuweisungWert = a->Value();
        for (model::HeaderRow& row : s.header) {
            if (row.name.trimmed() == ctx.ZuweisungName) {
                row.value = ctx.ZuweisungWert;
                break;
            }
        }
    }

    if (type == 1001 || type == 1201) {
        ctx.ZeilenIndex.fill(0);
        ctx.AchsPos = 0;
    }

    const bool isDimension = c.IsDimension();
    if (isDimension) {
        auto d = c.Dimension();
        if (s.link)
            s.link->dimension = d;
        if (type == 1000 || type == 1200) {
            ctx.AchsPos = 0;
            ctx.GruppeID = d->Name();
            ctx.GruppeElement1 = d->Feature1();
            ctx.GruppeElement2 = d->Feature2();
            ctx.GruppeElement3 = d->Feature3();
            ctx.GruppeAusgabe = d->OutputMode();
            ctx.GruppeEinheit = d->Units();
        }
        const bool location = d->IsLocationAxis();
        const bool truePosition = d->IsTruePositionAxis();
        if (location)
            ruleA(s, c, *d);
        if (truePosition)
            ruleB(s, c, *d);
        if (!isOneOf(type, {1000, 1200, 1001, 1201}) && !location && !truePosition)
            ruleC(s, c, *d);
    } else if (!c.IsComment()) {
        ctx.ZeilenIndex[1] = 0; // a pending comment belongs only to the dimensions right after it
    }
}

ReadResult MerkmaleLesen(HostLink& link, ReaderState& s, const settings::SettingsStore& store,
                         const settings::LanguageTable& texts, const ReaderCallbacks& cb) {
    ReadResult result;
    s.link = &link;
    const int n = link.commands->Count();
    s.hostVersion = link.application->Version();
    PrepareReader(s, store, n);
    for (model::HeaderRow& row : s.header)
        row.value.clear();
    result.commandCount = n;
    if (cb.started)
        cb.started(n);
    if (cb.status)
        cb.status(texts.text(QStringLiteral("StatusBar"), 4));

    try {
        auto commands = link.commands->Enumerate();
        while (auto c = commands->Next()) {
            link.command = c;
            s.table.Fortschritt += 1;
            if (cb.progress)
                cb.progress(s.table.Fortschritt);
            if (c->IsComment()) {
                auto comment = c->Comment();
                link.comment = comment;
                if (comment->CommentType() == 1)
                    CollectComment(s, *comment);
            }
            ApplyCommand(s, c);
            result.commandsRead += 1;
        }
    } catch (const HostError& e) {
        result.complete = false;
        result.failure = hostErrorText(e, texts);
    }

    result.classification = ClassifyWithStoredLimit(s.table, store);
    if (cb.finished)
        cb.finished();
    if (cb.status)
        cb.status(QString());
    return result;
}

} // namespace host
