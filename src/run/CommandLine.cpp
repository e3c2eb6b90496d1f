#include "run/CommandLine.h"

#include <algorithm>
#include <iterator>

namespace run {

namespace {

// Start options are typed in any case on Windows: "alo" asks for both reports as "ALO" does.
void normaliseChoice(StartArgsArray& args) {
    QString& choice = args[4];
    for (const char* word : {"ALL", "OOT", "ALO"})
        if (choice.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            choice = QString::fromLatin1(word);
}

} // namespace

StartArgsArray ParseCommandLine(const QString& text, int max) {
    StartArgsArray args{};
    int count = 0;
    bool inArgument = false;
    for (const QChar c : text) {
        const bool separator = c == QLatin1Char('/') || c == QLatin1Char('\t');
        if (separator) {
            inArgument = false;
            continue;
        }
        if (!inArgument) {
            if (count == max)
                break;
            ++count;
            inArgument = true;
        }
        args[static_cast<std::size_t>(count)] += c;
    }
    for (QString& a : args)
        a = a.trimmed();
    normaliseChoice(args);
    return args;
}

StartArgsArray StartArgsFromWords(const QStringList& words, int max) {
    static const QStringList switches = {QStringLiteral("a"),   QStringLiteral("m"),   QStringLiteral("o"),
                                         QStringLiteral("ALL"), QStringLiteral("OOT"), QStringLiteral("ALO")};
    StartArgsArray args{};
    for (int i = 0; i < words.size() && i < max; ++i) {
        QString w = words.at(i).trimmed();
        if (w.startsWith(QLatin1Char('/')) && switches.contains(w.mid(1), Qt::CaseInsensitive))
            w = w.mid(1);
        args[static_cast<std::size_t>(i + 1)] = w;
    }
    normaliseChoice(args);
    return args;
}

StartArgsArray startArgsOf(const QStringList& words) {
#ifdef Q_OS_WIN
    return ParseCommandLine(words.join(QLatin1Char(' ')));
#else
    return StartArgsFromWords(words);
#endif
}

bool isOfflineMode(const QString& m) {
    return m == QLatin1String("a") || m == QLatin1String("A") || m == QLatin1String("m") ||
           m == QLatin1String("M");
}
bool isOnlineMode(const QString& m) {
    return m == QLatin1String("o") || m == QLatin1String("O");
}
bool isRunMode(const QString& m) {
    return isOfflineMode(m) || isOnlineMode(m);
}

namespace {

// An ISO 8601 date or date and time; UTC unless it carries an offset.
std::optional<QDateTime> parseSince(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (t.isValid()) {
        if (t.timeSpec() == Qt::LocalTime)
            t.setTimeSpec(Qt::UTC);
        return t;
    }
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (d.isValid())
        return QDateTime(d, QTime(0, 0), Qt::UTC);
    return std::nullopt;
}

CommandLine parseHistoryOptions(const QStringList& words) {
    CommandLine c;
    auto fail = [&c](const QString& why) {
        c = CommandLine{};
        c.action = CommandLine::Action::Error;
        c.error = why;
        return c;
    };
    bool history = false;
    // The options that take nothing else, and what each asks for.
    const std::pair<const char*, CommandLine::Action> alone[] = {
        {"--history-db", CommandLine::Action::HistoryDb},
        {"--history-outbox", CommandLine::Action::HistoryOutbox},
        {"--history-retry", CommandLine::Action::HistoryRetry},
        {"--history-deliver", CommandLine::Action::HistoryDeliver},
        {"--history-prune", CommandLine::Action::HistoryPrune},
        {"--history-backup", CommandLine::Action::HistoryBackup},
        {"--history-setup", CommandLine::Action::HistorySetup}};
    std::optional<std::pair<QString, CommandLine::Action>> single;
    QStringList positional;
    using Report = CommandLine::HistoryReport;
    bool subgroupGiven = false;
    QString chart;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words.at(i);
        if (w == QLatin1String("--history")) {
            if (history)
                return fail(QStringLiteral("--history given twice"));
            history = true;
        } else if (const auto* a = std::find_if(std::begin(alone), std::end(alone),
                                                [&w](const auto& o) { return w == QLatin1String(o.first); });
                   a != std::end(alone)) {
            if (single && single->second != a->second)
                return fail(QStringLiteral("%1 and %2 cannot be given together").arg(single->first, w));
            single = std::pair{w, a->second};
        } else if (w == QLatin1String("--since") || w == QLatin1String("--before")) {
            if (i + 1 >= words.size())
                return fail(QStringLiteral("%1 needs a date (YYYY-MM-DD or YYYY-MM-DDThh:mm:ss)").arg(w));
            const auto date = parseSince(words.at(i + 1));
            if (!date)
                return fail(QStringLiteral("%1 %2 is no date (YYYY-MM-DD or YYYY-MM-DDThh:mm:ss)")
                                .arg(w, words.at(i + 1)));
            (w == QLatin1String("--since") ? c.historySince : c.historyBefore) = date;
            ++i;
        } else if (w == QLatin1String("--capability") || w == QLatin1String("--control-limits")) {
            const Report r = w == QLatin1String("--capability") ? Report::Capability : Report::ControlLimits;
            if (c.historyReport != Report::Values && c.historyReport != r)
                return fail(QStringLiteral("--capability and --control-limits cannot be given together"));
            c.historyReport = r;
        } else if (w == QLatin1String("--subgroup")) {
            bool ok = false;
            c.historySubgroup = i + 1 < words.size() ? words.at(i + 1).toInt(&ok) : 0;
            if (!ok || c.historySubgroup < 1 || c.historySubgroup > 25)
                return fail(QStringLiteral("--subgroup needs the number of parts per subgroup, 1 to 25"));
            subgroupGiven = true;
            ++i;
        } else if (w == QLatin1String("--chart")) {
            chart = i + 1 < words.size() ? words.at(i + 1).toLower() : QString();
            if (chart != QLatin1String("i-mr") && chart != QLatin1String("xbar-r") &&
                chart != QLatin1String("xbar-s"))
                return fail(QStringLiteral("--chart takes i-mr, xbar-r or xbar-s"));
            ++i;
        } else if (w == QLatin1String("--quiet") || w == QLatin1String("-q")) {
            c.quiet = true;
        } else if (w.startsWith(QLatin1Char('-')) && w.size() > 1) {
            return fail(QStringLiteral("unknown option %1").arg(w));
        } else {
            positional << w;
        }
    }
    if (single) {
        using A = CommandLine::Action;
        const bool prune = single->second == A::HistoryPrune;
        const bool backup = single->second == A::HistoryBackup;
        if (prune && !c.historyBefore)
            return fail(QStringLiteral("--history-prune needs --before DATE"));
        if (backup && positional.size() != 1)
            return fail(QStringLiteral("--history-backup needs the file to write"));
        if (history || c.historySince || (c.historyBefore && !prune) || (!positional.isEmpty() && !backup) ||
            c.historyReport != Report::Values || subgroupGiven || !chart.isEmpty())
            return fail(QStringLiteral("%1 takes no other options").arg(single->first));
        c.action = single->second;
        c.historyBackupFile = positional.value(0);
        return c;
    }
    if (c.historyBefore)
        return fail(QStringLiteral("--before belongs to --history-prune"));
    if (positional.isEmpty() || positional.first().trimmed().isEmpty())
        return fail(QStringLiteral("--history needs the name of a part program"));
    if (positional.size() > 2)
        return fail(QStringLiteral("--history takes a part program and at most one characteristic"));
    if ((subgroupGiven || !chart.isEmpty()) && c.historyReport == Report::Values)
        return fail(QStringLiteral("--subgroup and --chart belong to --capability or --control-limits"));
    // Individual parts have the moving-range chart; subgroups the range chart up to nine parts,
    // beyond that the standard deviation chart, unless the chart is named.
    if (chart == QLatin1String("i-mr") && c.historySubgroup > 1)
        return fail(QStringLiteral("--chart i-mr is for individual parts, not subgroups of %1")
                        .arg(c.historySubgroup));
    if (chart.startsWith(QLatin1String("xbar")) && c.historySubgroup < 2)
        return fail(QStringLiteral("--chart %1 needs --subgroup 2 or more").arg(chart));
    c.historySubgroupSpread =
        chart == QLatin1String("xbar-s") || (chart.isEmpty() && c.historySubgroup >= 10);
    c.action = CommandLine::Action::History;
    c.historyProgram = positional.at(0);
    c.historyCharacteristic = positional.value(1);
    return c;
}

} // namespace

CommandLine parseCommandLine(const QStringList& words) {
    CommandLine c;
    for (const QString& w : words) {
        if (w == QLatin1String("--help") || w == QLatin1String("-h")) {
            c.action = CommandLine::Action::Help;
            return c;
        }
    }
    for (const QString& w : words) {
        if (w == QLatin1String("--version") || w == QLatin1String("-v")) {
            c.action = CommandLine::Action::Version;
            return c;
        }
    }
    if (std::any_of(words.begin(), words.end(),
                    [](const QString& w) { return w.startsWith(QLatin1String("--history")); }))
        return parseHistoryOptions(words);
    auto fail = [&c](const QString& why) {
        c.action = CommandLine::Action::Error;
        c.error = why;
        return c;
    };
    // Qt's own options (for the application object, not start options), with their values.
    static const QStringList qtWithValue = {
        QStringLiteral("-style"),           QStringLiteral("-stylesheet"),
        QStringLiteral("-platform"),        QStringLiteral("-platformpluginpath"),
        QStringLiteral("-platformtheme"),   QStringLiteral("-plugin"),
        QStringLiteral("-display"),         QStringLiteral("-geometry"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowtitle"),
        QStringLiteral("-qwindowicon"),     QStringLiteral("-session"),
        QStringLiteral("-title"),           QStringLiteral("-name"),
        QStringLiteral("-fontengine"),      QStringLiteral("-dialogs")};
    static const QStringList qtAlone = {QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                        QStringLiteral("-sync"), QStringLiteral("-nograb"),
                                        QStringLiteral("-dograb")};
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words.at(i);
        if (w == QLatin1String("--quiet") || w == QLatin1String("-q"))
            c.quiet = true;
        else if (qtWithValue.contains(w) ||
                 (w.startsWith(QLatin1String("--")) && qtWithValue.contains(w.mid(1))))
            ++i;
        else if (qtAlone.contains(w) || (w.startsWith(QLatin1String("--")) && qtAlone.contains(w.mid(1))))
            continue;
        else if (w.startsWith(QLatin1Char('-')) && w.size() > 1)
            return fail(QStringLiteral("unknown option %1").arg(w));
        else
            c.words << w;
    }
    if (c.words.isEmpty())
        return c;
    // Batch files written for the Windows program may carry more: the sixth and later are not
    // start options there either.
    if (c.words.size() > 5) {
        c.ignored = c.words.mid(5);
        c.words = c.words.mid(0, 5);
    }
    // A first word that is no run mode starts no run: the window opens, as it does without words.
    if (isRunMode(StartArgsFromWords(c.words)[1]))
        c.action = CommandLine::Action::Run;
    return c;
}

namespace {

bool needsMark(const StartArgsArray& args) {
    return args[1] != QLatin1String("a") && args[1] != QLatin1String("A");
}

template <typename Pred> model::Selection choose(const model::MerkmalTable& table, int entries, Pred pred) {
    model::Selection s(static_cast<std::size_t>(entries), false);
    for (int i = 1; i <= entries && i <= table.AnzMerkmale; ++i)
        s[static_cast<std::size_t>(i - 1)] = pred(table.row(i));
    return s;
}

} // namespace

model::Selection chooseCorrectionRows(const model::MerkmalTable& table, int entries,
                                      const StartArgsArray& args) {
    const bool mark = needsMark(args);
    return choose(table, entries, [&](const model::MerkmalRow& r) {
        return model::isReported(r) && (model::isOutOfTolerance(r) || r.Kritisch) && (!mark || r.Markiert);
    });
}

model::Selection chooseRows(const model::MerkmalTable& table, int entries, const StartArgsArray& args) {
    const QString choice = args[4];
    const QString upper = choice.toUpper();
    if (upper == QLatin1String("ALL") || upper == QLatin1String("ALO") || choice.trimmed().isEmpty()) {
        const bool mark = needsMark(args);
        return choose(table, entries, [&](const model::MerkmalRow& r) {
            return model::isReported(r) && (!mark || r.Markiert);
        });
    }
    if (upper == QLatin1String("OOT"))
        return chooseCorrectionRows(table, entries, args);
    return model::Selection(static_cast<std::size_t>(entries), false);
}

} // namespace run
