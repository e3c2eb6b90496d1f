#include "ascii/AsciiLayout.h"

#include "common/ProgramPaths.h"
#include "settings/AsciiSettings.h"
#include "settings/SequentialFile.h"

namespace ascii {

namespace {

int positionOf(const QString& p) {
    return settings::parseInteger(p).value_or(0);
}
} // namespace

static_assert(kColumns == settings::AsciiSettings::kColumns);

bool separatorInNumbers(const QString& separator, const QLocale& locale) {
    const QString numberCharacters =
        locale.decimalPoint() + locale.negativeSign() + QStringLiteral("0123456789Ee");
    for (const QChar c : separator)
        if (numberCharacters.contains(c))
            return true;
    return false;
}

QString columnTitle(int column, const QString& separator) {
    static const char* titles[kColumns] = {
        nullptr,   "Nennwert", "o.Tol.",  "u.Tol.",  "Bonus",      "Messwert",  "Abweichung", "",
        "Min",     "Max",      "Einheit", "Ausgabe", "Markierung", "Element 1", "Element 2",  "Element 3",
        "Bezug 1", "Bezug 2",  "Bezug 3", "",        "Typ",        "Kommentar"};
    switch (column) {
    case 0:
        return QStringLiteral("ID") + separator + QStringLiteral("Achse");
    case 7:
        return QString::fromUtf8("Toleranzüberschreitung");
    case 19:
        return QString::fromUtf8("Bezugslänge");
    default:
        return QString::fromLatin1(titles[column]);
    }
}

void AsciiLayout::switchOn(int column) {
    on[static_cast<std::size_t>(column)] = true;
    QString& p = position[static_cast<std::size_t>(column)];
    if (!p.isEmpty())
        return;
    int used = 0;
    for (int c = 0; c < kColumns; ++c)
        if (c != column && !position[static_cast<std::size_t>(c)].isEmpty())
            ++used;
    p = QString::number(used + 1);
}

void AsciiLayout::switchOff(int column) {
    on[static_cast<std::size_t>(column)] = false;
    QString& p = position[static_cast<std::size_t>(column)];
    if (p.isEmpty())
        return;
    const int gone = positionOf(p);
    p.clear();
    for (QString& other : position)
        if (!other.isEmpty() && positionOf(other) > gone)
            other = QString::number(positionOf(other) - 1);
}

void AsciiLayout::allOn() {
    for (int c = 0; c < kColumns; ++c) {
        on[static_cast<std::size_t>(c)] = true;
        position[static_cast<std::size_t>(c)] = QString::number(c + 1);
    }
}

void AsciiLayout::allOff() {
    on.fill(false);
    for (QString& p : position)
        p.clear();
}

AsciiLayout loadLayout(const settings::SettingsStore& store) {
    const settings::AsciiSettings stored = settings::readAsciiSettings(store);
    AsciiLayout l;
    for (int c = 0; c < kColumns; ++c)
        l.position[static_cast<std::size_t>(c)] = QString::number(c + 1);
    for (int c = 0; c < kColumns; ++c) {
        const bool on = stored.on[static_cast<std::size_t>(c)];
        l.on[static_cast<std::size_t>(c)] = on;
        if (on)
            l.switchOn(c);
    }
    l.separator = stored.separator;
    l.csv = stored.csv.value_or(false);
    l.txt = stored.txt;
    int counter = 1;
    for (int c = 0; c < kColumns; ++c) {
        QString& p = l.position[static_cast<std::size_t>(c)];
        p = stored.position[static_cast<std::size_t>(c)].value_or(QString());
        if (p.isEmpty() && l.on[static_cast<std::size_t>(c)])
            p = QString::number(counter++);
    }
    return l;
}

OutputLayout readOutputLayout(const settings::SettingsStore& store) {
    const settings::AsciiSettings stored = settings::readAsciiSettings(store);
    OutputLayout l;
    for (int c = 0; c < kColumns; ++c)
        l.position[static_cast<std::size_t>(c)] =
            settings::parseInteger(
                stored.position[static_cast<std::size_t>(c)].value_or(QString::number(c + 1)))
                .value_or(0);
    l.separator = stored.separator;
    l.csv = stored.csv;
    return l;
}

void saveLayout(const settings::SettingsStore& store, const AsciiLayout& l) {
    settings::AsciiSettings s;
    for (int c = 0; c < kColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        s.on[i] = l.on[i];
        s.position[i] = l.position[i];
    }
    s.separator = l.separator;
    s.csv = l.csv;
    s.txt = l.txt;
    settings::writeAsciiSettings(store, s);
}

QStringList exportLines(const AsciiLayout& l) {
    namespace seq = settings::sequential;
    QStringList lines;
    auto sw = [&](int c) { lines << seq::integer(l.on[static_cast<std::size_t>(c)] ? 1 : 0); };
    for (int c = 0; c <= 18; ++c)
        sw(c);
    lines << seq::text(l.separator);
    for (int c = 19; c <= 21; ++c)
        sw(c);
    lines << seq::boolean(l.csv) << seq::boolean(l.txt);
    for (int c = 0; c < kColumns; ++c)
        lines << seq::text(l.position[static_cast<std::size_t>(c)]);
    return lines;
}

void importLines(AsciiLayout& l, const QStringList& lines) {
    namespace seq = settings::sequential;
    auto line = [&](int n) -> std::optional<QString> {
        return n <= lines.size() ? std::optional<QString>(lines.at(n - 1)) : std::nullopt;
    };
    auto sw = [&](int n, int c) {
        if (auto v = line(n))
            if (auto i = seq::readInteger(*v))
                l.setSwitch(c, *i != 0);
    };
    for (int c = 0; c <= 18; ++c)
        sw(c + 1, c);
    if (auto v = line(20))
        if (auto t = seq::readText(*v))
            l.separator = *t;
    for (int c = 19; c <= 21; ++c)
        sw(c + 2, c);
    if (auto v = line(24))
        if (auto b = seq::readBoolean(*v))
            l.csv = *b;
    if (auto v = line(25))
        if (auto b = seq::readBoolean(*v))
            l.txt = *b;
    for (int c = 0; c < kColumns; ++c)
        if (auto v = line(26 + c))
            if (auto t = seq::readText(*v))
                l.position[static_cast<std::size_t>(c)] = *t;
}

QString asciiSettingsFile() {
    return common::programFile(QStringLiteral("ASCII_Settings.cfg"));
}

} // namespace ascii
