#include "settings/OutputFileSettings.h"

#include "common/ProgramPaths.h"
#include "settings/ProgramSettings.h"
#include "settings/SequentialFile.h"

#include <QDir>
#include <QStorageInfo>

namespace settings {

namespace {
const QString kFiles = QStringLiteral("FileSettings");
const QString kProg = QStringLiteral("ProgSettings");

int integer(const QString& text) {
    return parseInteger(text).value_or(0);
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
    r.folder = store.Read(kFiles, QStringLiteral("DIR"), programDir);
    r.partProgFolder = toFlag(store.Read(kFiles, QStringLiteral("PartProgFolder"), QStringLiteral("0")));
    auto number = [&](const char* key, const char* defaultValue) {
        return integer(store.Read(kFiles, QString::fromLatin1(key), QString::fromLatin1(defaultValue)));
    };
    r.naming.FileName1 = number("FileName1", "0");
    r.naming.FileName2 = number("FileName2", "1");
    r.naming.FileName3 = number("FileName3", "1");
    r.naming.FileName4 = number("FileName4", "1");
    r.naming.FileName5 = number("FileName5", "1");
    r.naming.SEPERATOR = number("SEPERATOR", "1");
    r.naming.FileCounter = toFlag(store.Read(kFiles, QStringLiteral("FileCounter"), QStringLiteral("0")));
    return r;
}

ProtocolSettings readProtocolSettings(const SettingsStore& store) {
    ProtocolSettings p;
    p.aqdef = toFlag(store.Read(kFiles, QStringLiteral("AQDEF"), QStringLiteral("0")));
    p.pdf = toFlag(store.Read(kFiles, QStringLiteral("PDF"), QStringLiteral("0")));
    p.k0006 = store.Read(kFiles, QStringLiteral("AQDEF_K0006"), QString()).trimmed();
    p.k0008 = store.Read(kFiles, QStringLiteral("AQDEF_K0008"), QString()).trimmed();
    return p;
}

bool folderChosenBeforeEachExport(const SettingsStore& store) {
    return store.Read(kFiles, QStringLiteral("SelectFolder"), QStringLiteral("0")) == QLatin1String("-1");
}

OutputFileSettings loadOutputFileSettings(const SettingsStore& store, const QString& programDir) {
    OutputFileSettings s;
    s.drive = store.Read(kFiles, QStringLiteral("DRIVE"), QDir::rootPath());
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
    s.selectFolder = toFlag(store.Read(kFiles, QStringLiteral("SelectFolder"), QStringLiteral("0")));
    s.defaultFolder = toFlag(store.Read(kFiles, QStringLiteral("DefaultFolder"), QStringLiteral("1")));
    s.header = readHeaderSwitch(store, true);
    s.multiLine = readMultiLine(store, true);
    s.tolProzent = store.Read(kProg, QStringLiteral("TolProzent"), QStringLiteral("90"));
    s.currentUser = store.Read(QString(), QStringLiteral("CurrentUser"), QStringLiteral("FALSE")).toUpper() ==
                    QLatin1String("TRUE");
    s.minimize = readMinimize(store);
    const ProtocolSettings p = readProtocolSettings(store);
    s.aqdef = p.aqdef;
    s.pdf = p.pdf;
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
    store.Write(kFiles, QStringLiteral("DRIVE"), s.drive);
    store.Write(kFiles, QStringLiteral("DIR"), s.folder);
    store.Write(kFiles, QStringLiteral("PartProgFolder"), flagText(s.partProgFolder));
    for (int i = 0; i < 5; ++i)
        store.Write(kFiles, QStringLiteral("FileName%1").arg(i + 1), QString::number(s.fileName[i]));
    store.Write(kFiles, QStringLiteral("SEPERATOR"), QString::number(s.separator));
    store.Write(kFiles, QStringLiteral("FileCounter"),
                s.fileCounter ? QStringLiteral("1") : QStringLiteral("0"));
    store.Write(kFiles, QStringLiteral("SelectFolder"), flagText(s.selectFolder));
    store.Write(kFiles, QStringLiteral("DefaultFolder"), flagText(s.defaultFolder));
    store.Write(kProg, QStringLiteral("HEADER"), QStringLiteral("1"));
    store.Write(kProg, QStringLiteral("MultiLine"), s.multiLine ? QStringLiteral("1") : QStringLiteral("0"));
    store.Write(kProg, QStringLiteral("TolProzent"), s.tolProzent);
    store.Write(QString(), QStringLiteral("CurrentUser"),
                s.currentUser ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    store.Write(kProg, QStringLiteral("MINIMIZE"), s.minimize ? QStringLiteral("1") : QStringLiteral("0"));
    store.Write(kFiles, QStringLiteral("AQDEF"), s.aqdef ? QStringLiteral("1") : QStringLiteral("0"));
    store.Write(kFiles, QStringLiteral("PDF"), s.pdf ? QStringLiteral("1") : QStringLiteral("0"));
    store.Write(kFiles, QStringLiteral("AQDEF_K0006"), s.aqdefK0006);
    store.Write(kFiles, QStringLiteral("AQDEF_K0008"), s.aqdefK0008);
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
