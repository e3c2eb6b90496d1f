#include "settings/OutputFileSettings.h"

#include "common/ProgramPaths.h"
#include "settings/ProgramSettings.h"
#include "settings/SequentialFile.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QStorageInfo>

namespace settings {

namespace {
using keys::Files;
using keys::Prog;

bool flag(const SettingsStore& store, const keys::Key& key) {
    return toFlag(keys::read(store, key));
}
int integer(const SettingsStore& store, const keys::Key& key) {
    return parseInteger(keys::read(store, key)).value_or(0);
}
QString digit(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}
} // namespace

QString driveOf(const QString& folder) {
    const QString root = QStorageInfo(folder).rootPath();
    if (!root.isEmpty())
        return root;
    return QDir(folder).isRoot() ? folder : QDir::rootPath();
}

ResultFileSettings readResultFileSettings(const SettingsStore& store, const QString& programDir) {
    ResultFileSettings r;
    r.folder = keys::read(store, Files::Dir, programDir);
    r.partProgFolder = flag(store, Files::PartProgFolder);
    r.naming.FileName1 = integer(store, Files::FileName[0]);
    r.naming.FileName2 = integer(store, Files::FileName[1]);
    r.naming.FileName3 = integer(store, Files::FileName[2]);
    r.naming.FileName4 = integer(store, Files::FileName[3]);
    r.naming.FileName5 = integer(store, Files::FileName[4]);
    r.naming.SEPERATOR = integer(store, Files::Separator);
    r.naming.FileCounter = flag(store, Files::FileCounter);
    return r;
}

ProtocolSettings readProtocolSettings(const SettingsStore& store) {
    ProtocolSettings p;
    p.aqdef = flag(store, Files::Aqdef);
    p.pdf = flag(store, Files::Pdf);
    p.qif = flag(store, Files::Qif);
    p.k0006 = keys::read(store, Files::AqdefK0006).trimmed();
    p.k0008 = keys::read(store, Files::AqdefK0008).trimmed();
    return p;
}

void storeFirstStartDefaults(const SettingsStore& store, const QString& documents, const QLocale& locale) {
    using keys::Ascii;
    if (!keys::stored(store, Files::Dir) && !keys::stored(store, Files::PartProgFolder) && !documents.isEmpty() &&
        QDir().mkpath(documents))
        keys::write(store, Files::Dir, QDir(documents).absolutePath() + QLatin1Char('/'));
    if (!keys::stored(store, Ascii::Csv) && !keys::stored(store, Ascii::Txt)) {
        keys::write(store, Ascii::Csv, flagText(true));
        keys::write(store, Ascii::Txt, flagText(false));
        if (!keys::stored(store, Ascii::Separator))
            keys::write(store, Ascii::Separator,
                        locale.decimalPoint() == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(","));
    }
}

bool folderChosenBeforeEachExport(const SettingsStore& store) {
    return keys::read(store, Files::SelectFolder) == QLatin1String("-1");
}

OutputFileSettings loadOutputFileSettings(const SettingsStore& store, const QString& programDir) {
    OutputFileSettings s;
    s.drive = keys::read(store, Files::Drive, QDir::rootPath());
    const ResultFileSettings r = readResultFileSettings(store, programDir);
    s.folder = r.folder;
    s.partProgFolder = r.partProgFolder;
    s.fileName[0] = r.naming.FileName1;
    s.fileName[1] = r.naming.FileName2;
    s.fileName[2] = r.naming.FileName3;
    s.fileName[3] = r.naming.FileName4;
    s.fileName[4] = r.naming.FileName5;
    s.separator = r.naming.SEPERATOR;
    s.fileCounter = r.naming.FileCounter;
    s.selectFolder = flag(store, Files::SelectFolder);
    s.defaultFolder = flag(store, Files::DefaultFolder);
    s.header = readHeaderSwitch(store, true);
    s.multiLine = readMultiLine(store, true);
    s.tolProzent = keys::read(store, Prog::TolProzent);
    s.currentUser = keys::read(store, keys::Root::CurrentUser).toUpper() == QLatin1String("TRUE");
    s.minimize = readMinimize(store);
    const ProtocolSettings p = readProtocolSettings(store);
    s.aqdef = p.aqdef;
    s.pdf = p.pdf;
    s.qif = p.qif;
    s.aqdefK0006 = p.k0006;
    s.aqdefK0008 = p.k0008;
    // Exactly one folder mode is in force; a store that says otherwise falls back to the default.
    if (int(s.partProgFolder) + int(s.selectFolder) + int(s.defaultFolder) != 1) {
        s.defaultFolder = !s.partProgFolder && !s.selectFolder;
        if (s.partProgFolder && s.selectFolder)
            s.selectFolder = false;
    }
    return s;
}

void saveOutputFileSettings(SettingsStore& store, const OutputFileSettings& s) {
    if (s.currentUser)
        store.setSettingsRoot(SettingsStore::CurrentUserRoot);
    keys::write(store, Files::Drive, s.drive);
    keys::write(store, Files::Dir, s.folder);
    keys::write(store, Files::PartProgFolder, flagText(s.partProgFolder));
    for (std::size_t i = 0; i < Files::FileName.size(); ++i)
        keys::write(store, Files::FileName[i], QString::number(s.fileName[i]));
    keys::write(store, Files::Separator, QString::number(s.separator));
    keys::write(store, Files::FileCounter, digit(s.fileCounter));
    keys::write(store, Files::SelectFolder, flagText(s.selectFolder));
    keys::write(store, Files::DefaultFolder, flagText(s.defaultFolder));
    keys::write(store, Prog::Header, QStringLiteral("1"));
    keys::write(store, Prog::MultiLine, digit(s.multiLine));
    keys::write(store, Prog::TolProzent, s.tolProzent);
    keys::write(store, keys::Root::CurrentUser,
                s.currentUser ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    keys::write(store, Prog::Minimize, digit(s.minimize));
    keys::write(store, Files::Aqdef, digit(s.aqdef));
    keys::write(store, Files::Pdf, digit(s.pdf));
    keys::write(store, Files::Qif, digit(s.qif));
    keys::write(store, Files::AqdefK0006, s.aqdefK0006);
    keys::write(store, Files::AqdefK0008, s.aqdefK0008);
}

QStringList exportOutputFileSettings(const OutputFileSettings& s) {
    namespace seq = sequential;
    QStringList l;
    l << seq::text(s.drive) << seq::text(s.folder) << seq::boolean(s.partProgFolder);
    for (int v : s.fileName)
        l << seq::integer(v);
    l << seq::integer(s.separator) << seq::integer(s.header ? 1 : 0) << seq::integer(s.fileCounter ? 1 : 0)
      << seq::boolean(s.selectFolder) << seq::integer(s.multiLine ? 1 : 0) << seq::boolean(s.defaultFolder)
      << seq::text(s.tolProzent)
      << seq::text(s.currentUser ? QStringLiteral("TRUE") : QStringLiteral("FALSE"))
      << seq::integer(s.minimize ? 1 : 0);
    return l;
}

void importOutputFileSettings(OutputFileSettings& s, const QStringList& lines) {
    namespace seq = sequential;
    auto at = [&](int n) {
        return n <= lines.size() ? std::optional<QString>(lines.at(n - 1)) : std::nullopt;
    };
    auto text = [&](int n, QString& out) {
        if (auto v = at(n))
            if (auto t = seq::readText(*v)) {
                out = *t;
                return true;
            }
        return false;
    };
    auto boolean = [&](int n, bool& out) {
        if (auto v = at(n))
            if (auto b = seq::readBoolean(*v))
                out = *b;
    };
    auto integer = [&](int n, auto&& set) {
        if (auto v = at(n))
            if (auto i = seq::readInteger(*v))
                set(*i);
    };
    text(1, s.drive);
    text(2, s.folder);
    boolean(3, s.partProgFolder);
    for (int i = 0; i < 5; ++i)
        integer(4 + i, [&](int v) { s.fileName[i] = v; });
    integer(9, [&](int v) { s.separator = v; });
    integer(10, [&](int v) { s.header = v != 0; });
    integer(11, [&](int v) { s.fileCounter = v != 0; });
    boolean(12, s.selectFolder);
    integer(13, [&](int v) { s.multiLine = v != 0; });
    boolean(14, s.defaultFolder);
    if (!text(15, s.tolProzent))
        s.tolProzent = QStringLiteral("90");
    QString cu;
    if (text(16, cu))
        s.currentUser = cu.toUpper() == QLatin1String("TRUE");
    integer(17, [&](int v) { s.minimize = v != 0; });
}

QString outputFileSettingsFile() {
    return common::programFile(QStringLiteral("OutputFile_Settings.cfg"));
}

} // namespace settings
