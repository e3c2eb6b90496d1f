#include "settings/ResultFileName.h"

#include "settings/LocaleText.h"
#include "settings/TextCodec.h"

#include <QFileInfo>

namespace settings {

QString CurrentTimeText(const QTime& time) {
    return time.toString(QStringLiteral("HH.mm.ss"));
}

QString separatorText(int selection) {
    switch (selection) {
    case 1:
        return QStringLiteral("__");
    case 2:
        return QStringLiteral("_");
    case 3:
        return QStringLiteral("---");
    case 4:
        return QStringLiteral("--");
    case 5:
        return QStringLiteral("-");
    default:
        return QStringLiteral("___");
    }
}

QString fileNameSafe(const QString& component) {
    QString s = component;
    for (QChar& c : s)
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = QLatin1Char('-');
    return s;
}

namespace {

constexpr int kMaxCounter = 9999;

enum class Value { PartName, Revision, DrawingNumber, Date, Time, Empty, Unknown };

Value componentValue(int component, int selection) {
    // Rows: selection 0..3; columns: components 1..5.
    static const Value table[4][5] = {
        {Value::PartName, Value::Empty, Value::Empty, Value::Empty, Value::Empty},
        {Value::DrawingNumber, Value::Revision, Value::DrawingNumber, Value::Date, Value::Time},
        {Value::Unknown, Value::PartName, Value::Revision, Value::Time, Value::Unknown},
        {Value::Unknown, Value::DrawingNumber, Value::Date, Value::Unknown, Value::Unknown},
    };
    if (selection < 0 || selection > 3)
        return Value::Unknown;
    return table[selection][component - 1];
}

QString hostValue(const NamingContext& ctx, Value v) {
    if (!ctx.program)
        throw ResultNameError(ResultNameError::Kind::HostGone, QStringLiteral("no part program"));
    try {
        switch (v) {
        case Value::PartName:
            return ctx.program->PartName();
        case Value::Revision:
            return ctx.program->Revision();
        default:
            return ctx.program->DrawingNumber();
        }
    } catch (const host::HostError& e) {
        throw ResultNameError(ResultNameError::Kind::HostGone, e.text());
    }
}

} // namespace

QString ResultFileName::path() const {
    const QString counted =
        counter > 0 ? stem + separator + QStringLiteral("%1").arg(counter, 4, 10, QLatin1Char('0')) : stem;
    return counted + QLatin1Char('.') + extension;
}

ResultFileName nextResultFileName(const ResultFileName& taken, const NamingContext& ctx) {
    auto exists = ctx.exists ? ctx.exists : [](const QString& p) { return QFileInfo::exists(p); };
    ResultFileName name = taken;
    for (name.counter = taken.counter + 1; name.counter <= kMaxCounter; ++name.counter)
        if (!exists(name.path()))
            return name;
    throw ResultNameError(ResultNameError::Kind::CounterExhausted,
                          name.stem + name.separator + QString::number(kMaxCounter));
}

ResultFileName planResultFileName(const FileNameSelection& sel, const QString& folder,
                                  const QString& extension, const NamingContext& ctx) {
    const int selections[5] = {sel.FileName1, sel.FileName2, sel.FileName3, sel.FileName4, sel.FileName5};
    QString c[5];
    for (int i = 0; i < 5; ++i) {
        const Value v = componentValue(i + 1, selections[i]);
        switch (v) {
        case Value::Empty:
            break;
        case Value::Unknown:
            c[i] = QStringLiteral("UNKNOWN_FILE%1").arg(i + 1);
            break;
        case Value::Date:
            c[i] = shortDateText(ctx.date, ctx.locale);
            break;
        case Value::Time:
            c[i] = CurrentTimeText(ctx.time);
            break;
        default:
            c[i] = hostValue(ctx, v);
        }
        // A date such as 12/6/2026 or a part name with a backslash must not add folder levels.
        c[i] = fileNameSafe(c[i]);
    }

    ResultFileName name;
    name.separator = separatorText(sel.SEPERATOR);
    name.extension = extension;
    int last = 0; // the last non-empty component decides how many are joined
    for (int i = 4; i >= 1; --i)
        if (!c[i].isEmpty()) {
            last = i;
            break;
        }
    name.stem = folder + c[0];
    for (int i = 1; i <= last; ++i)
        name.stem += name.separator + c[i];
    return sel.FileCounter ? nextResultFileName(name, ctx) : name;
}

ResultFileName commitUnderFreeName(TextFileWriter& out, ResultFileName name, const NamingContext& context,
                                   const std::function<void(const QString&)>& beforeClaim) {
    for (;;) {
        if (beforeClaim)
            beforeClaim(name.path());
        if (out.commitAs(name.path()))
            return name;
        name = nextResultFileName(name, context);
    }
}

} // namespace settings
