// The user's form stays theirs: runs side by side never lose a part or swap layouts, a killed run
// leaves the form old or new and nothing behind, and a save keeps the form's mode and its link.
#include "common/ConverterRun.h"
#include "excel/WorkbookReader.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <csignal>

#include <sys/stat.h>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");
const QString kLayout = kExamples + QStringLiteral("forms/Pruefbericht.cfg");
const QStringList kPartColumns = {QStringLiteral("H"), QStringLiteral("I"), QStringLiteral("J"),
                                  QStringLiteral("K"), QStringLiteral("L")};

QByteArray fileHash(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

// Every part of the archive reads back with its checksum (an independent reader: Python's zipfile).
bool archiveSound(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1]) as z:\n"
                            "    sys.exit(1 if z.testzip() is not None else 0)"),
             path});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class FormSafety : public ConverterRun {
protected:
    QString freshForm(const QString& name) {
        const QString form = sim.dir() + QLatin1Char('/') + name;
        QFile::remove(form);
        QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), form);
        QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ReadOther);
        return form;
    }

    // The part columns of the first page that hold a measured value of the first characteristic.
    QStringList filledParts(const QString& form) {
        const QJsonObject page = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
        QStringList filled;
        for (const QString& c : kPartColumns)
            if (!cellOf(page, c + QStringLiteral("10")).isEmpty())
                filled << c;
        return filled;
    }

    // A run on the form ends with status 1 and a message, and the form is as it was.
    void expectRefused(const QString& form, const QString& message) {
        const QByteArray before = fileHash(form);
        const ProcessRun r = run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
                                 {QStringLiteral("/a"), form, kLayout, QStringLiteral("/ALL")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.stderrText.contains(message)) << r.stderrText.toStdString();
        EXPECT_EQ(fileHash(form), before);
        EXPECT_LT(r.elapsedMs, 10000);
    }

    // Leftovers of our own beside a form: temporary files of a save and lock files.
    QStringList leftovers(const QString& form) {
        const QFileInfo fi(form);
        return QDir(fi.absolutePath())
            .entryList({QLatin1Char('.') + fi.fileName() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    }
};

TEST_F(FormSafety, TwoRunsOnOneFormAtOnceEachKeepTheirPart) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    int successes = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const QString form = freshForm(QStringLiteral("Shared.xlsx"));
        const QStringList args{QStringLiteral("/a"), form, kLayout, QStringLiteral("/ALL")};
        auto first = start(args);
        auto second = start(args);
        ASSERT_TRUE(first->waitForFinished(60000) && second->waitForFinished(60000));
        const int ok = (first->exitCode() == 0) + (second->exitCode() == 0);
        EXPECT_EQ(ok, 2) << first->readAllStandardError().toStdString()
                         << second->readAllStandardError().toStdString();
        // Every run that said it wrote its part has a column of its own.
        EXPECT_EQ(filledParts(form).size(), ok);
        EXPECT_TRUE(leftovers(form).isEmpty()) << leftovers(form).join(' ').toStdString();
        successes += ok;
    }
    RecordProperty("successful_runs", successes);
}

TEST_F(FormSafety, RunsWithDifferentLayoutsAtOnceEachUseTheirOwn) {
    // The second layout puts the parts into J-L: a run using the other's layout would start at H.
    QStringList lines = settings::readTextLines(kLayout, settings::CodePage::Windows1252).value();
    ASSERT_EQ(lines.at(7), QStringLiteral("H-L"));
    lines[7] = QStringLiteral("J-L");
    const QString otherLayout = sim.dir() + QStringLiteral("/Other.cfg");
    settings::writeTextLines(otherLayout, lines, settings::CodePage::Windows1252);
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const QString formH = freshForm(QStringLiteral("H.xlsx"));
        const QString formJ = freshForm(QStringLiteral("J.xlsx"));
        auto h = start({QStringLiteral("/a"), formH, kLayout, QStringLiteral("/ALL")});
        auto j = start({QStringLiteral("/a"), formJ, otherLayout, QStringLiteral("/ALL")});
        ASSERT_TRUE(h->waitForFinished(60000) && j->waitForFinished(60000));
        EXPECT_EQ(h->exitCode(), 0);
        EXPECT_EQ(j->exitCode(), 0);
        EXPECT_EQ(filledParts(formH), QStringList{QStringLiteral("H")});
        EXPECT_EQ(filledParts(formJ), QStringList{QStringLiteral("J")});
    }
}

TEST_F(FormSafety, AKilledRunLeavesTheFormOldOrNewAndTheNextRunCleansUp) {
    // A program large enough that a run spends a while in reading, filling and saving.
    const QString program = sim.dir() + QStringLiteral("/Large.PRG");
    QProcess make;
    make.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(DOZIDUVOV_SOURCE_DIR "/bench/make_program.py"), QStringLiteral("20000"), program});
    ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0);
    ASSERT_TRUE(sim.start({program}));
    // Room for a part after every kill that came too late to stop the save.
    QStringList lines = settings::readTextLines(kLayout, settings::CodePage::Windows1252).value();
    lines[7] = QStringLiteral("H-CZ");
    const QString wide = sim.dir() + QStringLiteral("/Wide.cfg");
    settings::writeTextLines(wide, lines, settings::CodePage::Windows1252);
    const QString form = freshForm(QStringLiteral("Killed.xlsx"));
    const QStringList args{QStringLiteral("/a"), form, wide, QStringLiteral("/ALL")};

    // How long a whole run takes: the kills fall anywhere in it.
    QElapsedTimer whole;
    whole.start();
    ASSERT_EQ(run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), args).exitCode, 0);
    const int span = static_cast<int>(whole.elapsed()) + 50;

    // Temporary files of a save: the form's name and six characters (libzip's own adds six more).
    const QRegularExpression temporary(QStringLiteral("^%1\\.\\w{6}(\\.\\w{6})?$")
                                           .arg(QRegularExpression::escape(QStringLiteral(".Killed.xlsx"))));
    auto temporaries = [&] {
        const QStringList names = leftovers(form).filter(temporary);
        return QSet<QString>(names.begin(), names.end());
    };
    constexpr int kKills = 40;
    int changed = 0;
    int duringSave = 0;
    for (int k = 0; k < kKills; ++k) {
        SCOPED_TRACE(k);
        const QByteArray before = fileHash(form);
        const QSet<QString> temporariesBefore = temporaries();
        auto saving = [&] { return !(temporaries() - temporariesBefore).isEmpty(); };
        auto p = start(args);
        ASSERT_TRUE(p->waitForStarted());
        if (k % 2) {
            QThread::msleep(static_cast<unsigned long>(QRandomGenerator::global()->bounded(span)));
        } else {
            // Every other kill waits for the save to begin and falls within it.
            QElapsedTimer t;
            t.start();
            while (!saving() && t.elapsed() < 2 * span)
                QThread::usleep(200);
            QThread::msleep(static_cast<unsigned long>(QRandomGenerator::global()->bounded(span / 4)));
        }
        ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
        p->waitForFinished();
        if (fileHash(form) != before) {
            ++changed;
            ASSERT_TRUE(archiveSound(form)) << "a killed run left a damaged form";
        }
        duringSave += saving() ? 1 : 0;
    }
    // Whatever the kills left, the next run saves a sound form and leaves nothing of its own.
    ASSERT_EQ(run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), args).exitCode, 0);
    EXPECT_TRUE(archiveSound(form));
    EXPECT_FALSE(sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1")).isEmpty());
    EXPECT_TRUE(leftovers(form).isEmpty()) << leftovers(form).join(' ').toStdString();
    RecordProperty("kills", kKills);
    RecordProperty("kills_after_the_save", changed);
    RecordProperty("kills_during_the_save", duringSave);
}

TEST_F(FormSafety, ASaveKeepsTheFormsModeAndItsLink) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const QString target = freshForm(QStringLiteral("Target.xlsx"));
    const QFileDevice::Permissions mode = QFileInfo(target).permissions();
    const QString link = sim.dir() + QStringLiteral("/Link.xlsx");
    ASSERT_TRUE(QFile::link(target, link));

    ASSERT_EQ(run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
                  {QStringLiteral("/a"), link, kLayout, QStringLiteral("/ALL")})
                  .exitCode,
              0);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(target).permissions(), mode);
    EXPECT_EQ(filledParts(target), QStringList{QStringLiteral("H")});

    // A form nobody may write is refused, not replaced.
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    expectRefused(target, QStringLiteral("schreibgeschützt"));
}

TEST_F(FormSafety, AFormOpenInASpreadsheetProgramIsLeftAlone) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    store.Write(QStringLiteral("ProgSettings"), QStringLiteral("FormLockTimeout"), QStringLiteral("1"));
    const QString form = freshForm(QStringLiteral("Open.xlsx"));
    QFile lock(sim.dir() + QStringLiteral("/.~lock.Open.xlsx#"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("Erika Muster,qs-pc,erika,07.12.2026 10:00,file:///home/erika/.config/libreoffice/4;");
    lock.close();
    expectRefused(form, QStringLiteral("Erika Muster (qs-pc)"));
}

TEST_F(FormSafety, APipeOrASilentLockFileNeitherHoldsTheRunNorTheForm) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    store.Write(QStringLiteral("ProgSettings"), QStringLiteral("FormLockTimeout"), QStringLiteral("1"));
    const struct {
        const char* form;
        bool pipe;
        int ageSeconds;      // of an empty lock file
        const char* message; // empty: the run fills the form
    } cases[] = {
        {"Pipe.xlsx", true, 0, "Die Sperrdatei "},
        {"Fresh.xlsx", false, 0, "Inhaber unbekannt: "},
        // Longer ago than FormLockStale (900 s): a station lost its power before writing it.
        {"Old.xlsx", false, 3600, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        const QString form = freshForm(QString::fromLatin1(c.form));
        const QString lock =
            sim.dir() + QStringLiteral("/.") + QString::fromLatin1(c.form) + QStringLiteral(".lock");
        if (c.pipe) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0666), 0);
        } else {
            writeBytes(lock, QByteArray());
            QFile f(lock);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-c.ageSeconds),
                                      QFileDevice::FileModificationTime));
        }
        if (*c.message) {
            expectRefused(form, QString::fromUtf8(c.message) + (c.pipe ? lock : QString()));
            EXPECT_TRUE(QFileInfo::exists(lock));
        } else {
            const ProcessRun r = run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
                                     {QStringLiteral("/a"), form, kLayout, QStringLiteral("/ALL")});
            EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
            EXPECT_EQ(filledParts(form), QStringList{QStringLiteral("H")});
            EXPECT_FALSE(QFileInfo::exists(lock));
        }
    }
}

} // namespace
